// strlistc: compiles a text source of string lists into a resource file of 'STR#' resources.
//
// Usage: strlistc SOURCE.txt OUTPUT.rsrc
//
// Source: a line `STR# <id> <name...>` starts a list; every following line up to the next
// such header is one entry of it, blank lines included. Lines starting with "##" are comments
// anywhere, and so are lines starting with "#" before the first header. Text is UTF-8 and
// is stored in Mac OS Roman, at most 255 bytes per entry or name.
#include "MacMemory.h"
#include "Resources.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr ResType kStringListType = FOUR_CHAR_CODE("STR#");
constexpr size_t kMaxTextBytes = 255; // one length byte per string
constexpr size_t kMaxEntries = 32767; // the list's count is a signed 16-bit number

struct StringList {
    int16_t id;
    std::string name; // Mac OS Roman
    std::vector<std::string> entries;
};

// Where the source is being read, for messages in the usual file:line form.
struct SourcePlace {
    const std::string& file;
    size_t line;
};

void Complain(const SourcePlace& at, const std::string& message) {
    std::cerr << at.file << ":" << at.line << ": error: " << message << "\n";
}

// UTF-8 to Mac OS Roman through iconv; nothing for invalid UTF-8 or an unmappable character.
class MacRomanEncoder {
  public:
    MacRomanEncoder() : cd_(iconv_open("MACINTOSH", "UTF-8")) {}
    ~MacRomanEncoder() {
        if (Ready()) iconv_close(cd_);
    }
    MacRomanEncoder(const MacRomanEncoder&) = delete;
    MacRomanEncoder& operator=(const MacRomanEncoder&) = delete;

    bool Ready() const { return cd_ != iconv_t(-1); }

    std::optional<std::string> Encode(const std::string& utf8) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr); // a fresh conversion state each time
        std::string in = utf8;
        std::string out(utf8.size(), '\0'); // never longer: every character becomes one byte
        char* inPtr = in.data();
        char* outPtr = out.data();
        size_t inLeft = in.size(), outLeft = out.size();
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1)) return std::nullopt;
        out.resize(out.size() - outLeft);
        return out;
    }

  private:
    iconv_t cd_;
};

// Text of one line in Mac OS Roman, or nothing after a complaint.
std::optional<std::string> MacText(MacRomanEncoder& encoder, const std::string& utf8,
                                   const SourcePlace& at, const char* what) {
    std::optional<std::string> text = encoder.Encode(utf8);
    if (!text) {
        Complain(at, std::string(what) + " is not UTF-8 text that Mac OS Roman can hold");
        return std::nullopt;
    }
    if (text->size() > kMaxTextBytes) {
        Complain(at, std::string(what) + " is " + std::to_string(text->size()) +
                         " bytes in Mac OS Roman; at most 255 fit");
        return std::nullopt;
    }
    return text;
}

bool IsHeader(const std::string& line) {
    return line.rfind("STR#", 0) == 0 && (line.size() == 4 || line[4] == ' ' || line[4] == '\t');
}

// `STR# <id> <name...>`: the ID and the name, or nothing after a complaint.
std::optional<StringList> ParseHeader(const std::string& line, const SourcePlace& at,
                                      MacRomanEncoder& encoder) {
    std::istringstream fields(line.substr(4));
    std::string idText;
    fields >> idText;
    char* end = nullptr;
    errno = 0;
    const long id = std::strtol(idText.c_str(), &end, 10);
    if (idText.empty() || *end != '\0' || errno != 0 || id < INT16_MIN || id > INT16_MAX) {
        Complain(at, "STR# needs a resource ID from -32768 to 32767, not \"" + idText + "\"");
        return std::nullopt;
    }
    std::string name;
    std::getline(fields >> std::ws, name);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.pop_back();
    std::optional<std::string> macName = MacText(encoder, name, at, "the list's name");
    if (!macName) return std::nullopt;
    return StringList{int16_t(id), std::move(*macName), {}};
}

bool HasList(const std::vector<StringList>& lists, int16_t id) {
    for (const StringList& list : lists)
        if (list.id == id) return true;
    return false;
}

bool IsComment(const std::string& line, bool beforeFirstList) {
    return line.rfind("##", 0) == 0 || (beforeFirstList && (line.empty() || line[0] == '#'));
}

// The lists of a source, or nothing after complaining about every fault found.
std::optional<std::vector<StringList>> ParseSource(std::istream& source, const std::string& file) {
    MacRomanEncoder encoder;
    if (!encoder.Ready()) {
        std::cerr << "strlistc: this system's iconv has no Mac OS Roman (\"MACINTOSH\")\n";
        return std::nullopt;
    }
    std::vector<StringList> lists;
    bool faulty = false;
    bool inFaultyList = false; // entries after a faulty header belong to no list
    std::string line;
    for (SourcePlace at{file, 1}; std::getline(source, line); ++at.line) {
        if (!line.empty() && line.back() == '\r') line.pop_back(); // sources edited elsewhere
        if (IsComment(line, lists.empty() && !inFaultyList)) continue;
        if (IsHeader(line)) {
            std::optional<StringList> list = ParseHeader(line, at, encoder);
            if (list && HasList(lists, list->id)) {
                Complain(at, "STR# " + std::to_string(list->id) + " is defined twice");
                list.reset();
            }
            inFaultyList = !list;
            faulty |= inFaultyList;
            if (list) lists.push_back(std::move(*list));
        } else if (inFaultyList) {
            continue;
        } else if (lists.empty()) {
            Complain(at, "text before the first STR# header");
            faulty = true;
        } else if (lists.back().entries.size() == kMaxEntries) {
            Complain(at, "a string list holds at most 32767 entries");
            faulty = true;
        } else if (std::optional<std::string> text = MacText(encoder, line, at, "the entry")) {
            lists.back().entries.push_back(std::move(*text));
        } else {
            faulty = true;
        }
    }
    if (faulty) return std::nullopt;
    return lists;
}

// 'STR#' data: the count, then each entry as a length byte and its bytes.
std::vector<uint8_t> StringListData(const StringList& list) {
    std::vector<uint8_t> data{uint8_t(list.entries.size() >> 8), uint8_t(list.entries.size())};
    for (const std::string& entry : list.entries) {
        data.push_back(uint8_t(entry.size()));
        data.insert(data.end(), entry.begin(), entry.end());
    }
    return data;
}

bool AddList(const StringList& list) {
    const std::vector<uint8_t> data = StringListData(list);
    Handle h = NewHandleClear(Size(data.size()));
    if (!h) return false;
    std::memcpy(*h, data.data(), data.size());
    Str255 name;
    name[0] = uint8_t(list.name.size());
    std::memcpy(name + 1, list.name.data(), list.name.size());
    AddResource(h, kStringListType, list.id, name);
    if (ResError() == noErr) return true;
    DisposeHandle(h);
    return false;
}

// Writes the lists into a new resource file at `path`, which must not exist yet.
bool WriteResourceFile(const std::string& path, const std::vector<StringList>& lists) {
    if (CreateResFileAtPath(path.c_str()) != noErr) return false;
    const ResFileRefNum file = OpenResFileAtPath(path.c_str(), fsRdWrPerm);
    if (file < 0) return false;
    bool added = true;
    for (const StringList& list : lists)
        added = added && AddList(list);
    CloseResFile(file);
    return added && ResError() == noErr;
}

// Builds the file in a private folder beside the output, then moves it over the output, so
// that the output is always either the old file or the whole new one.
bool ReplaceOutput(const std::string& output, const std::vector<StringList>& lists) {
    const std::filesystem::path parent = std::filesystem::path(output).parent_path();
    const std::string folder = parent.empty() ? "." : parent.string();
    std::string workFolder = folder + "/.strlistc-XXXXXX";
    if (!::mkdtemp(workFolder.data())) {
        std::cerr << "strlistc: cannot write in " << folder << ": " << std::strerror(errno) << "\n";
        return false;
    }
    const std::string built = workFolder + "/output.rsrc";
    bool replaced = WriteResourceFile(built, lists);
    if (!replaced)
        std::cerr << "strlistc: writing " << output << " failed (" << ResError() << ")\n";
    else if (::rename(built.c_str(), output.c_str()) != 0) {
        std::cerr << "strlistc: cannot replace " << output << ": " << std::strerror(errno) << "\n";
        replaced = false;
    }
    ::unlink(built.c_str());
    ::rmdir(workFolder.c_str());
    return replaced;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: strlistc SOURCE.txt OUTPUT.rsrc\n";
        return 2;
    }
    const std::string sourcePath = argv[1];
    std::ifstream source(sourcePath, std::ios::binary);
    if (!source) {
        std::cerr << "strlistc: cannot read " << sourcePath << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    const std::optional<std::vector<StringList>> lists = ParseSource(source, sourcePath);
    if (!lists) return 1;
    return ReplaceOutput(argv[2], *lists) ? 0 : 1;
}
