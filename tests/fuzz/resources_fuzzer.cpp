// Fuzzes the resource file reader. The platform's parse and its public calls must agree with a
// plain walk of the same bytes; a parsed file, written and parsed again, must give the same
// resources, written again byte for byte the same as the platform and a plain writer write them.
#include "MacMemory.h"
#include "Resources.h"
#include "fuzz_checks.h"
#include "resources/rsrclayout.h"
#include "rsrcimage.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kStringListType = 0x53545223; // 'STR#'

std::vector<rsrcimage::Resource> Plain(const std::vector<ParsedResource>& parsed) {
    std::vector<rsrcimage::Resource> plain;
    for (const ParsedResource& r : parsed)
        plain.push_back({r.info.type, r.info.id, r.info.name, r.info.attributes, r.data});
    return plain;
}

// Entry `index` of a 'STR#' list, read the plain way; empty when it cannot be read.
std::string IndexedEntry(const std::vector<uint8_t>& list, int index) {
    if (list.size() < 2 || index < 1 || index > int16_t(list[0] << 8 | list[1])) return {};
    size_t at = 2;
    for (int i = 1; i <= index; ++i) {
        if (at >= list.size() || at + 1 + list[at] > list.size()) return {};
        if (i == index)
            return std::string(list.begin() + long(at) + 1, list.begin() + long(at) + 1 + list[at]);
        at += 1 + list[at];
    }
    return {};
}

// Every resource the public calls find agrees with the plain walk; the first of two with the
// same type and ID is the one found.
void CheckPublicCalls(const std::vector<rsrcimage::Resource>& walked) {
    for (const rsrcimage::Resource& r : walked) {
        const auto first = std::find_if(walked.begin(), walked.end(), [&](const auto& o) {
            return o.type == r.type && o.id == r.id;
        });
        if (&*first != &r) continue;
        const auto ofType = std::count_if(walked.begin(), walked.end(),
                                          [&](const auto& o) { return o.type == r.type; });
        Check(Count1Resources(r.type) == std::min<long>(ofType, INT16_MAX), "Count1Resources");
        Handle h = Get1Resource(r.type, r.id);
        Check(h != nullptr, "Get1Resource finds every resource");
        Check(size_t(GetHandleSize(h)) == r.data.size() &&
                  std::equal(r.data.begin(), r.data.end(), reinterpret_cast<uint8_t*>(*h)),
              "Get1Resource gives the resource's bytes");
        int16_t id = 0;
        ResType type = 0;
        Str255 name;
        GetResInfo(h, &id, &type, name);
        Check(id == r.id && type == r.type &&
                  std::string(reinterpret_cast<char*>(name + 1), name[0]) == r.name,
              "GetResInfo gives the resource's ID, type and name");
        if (r.type != kStringListType) continue;
        const int count = r.data.size() >= 2 ? int16_t(r.data[0] << 8 | r.data[1]) : 0;
        for (int index = -1; index <= std::min(count, 300) + 1; ++index) {
            Str255 text;
            GetIndString(text, r.id, int16_t(index));
            Check(std::string(reinterpret_cast<char*>(text + 1), text[0]) ==
                      IndexedEntry(r.data, index),
                  "GetIndString gives the list's entry");
        }
    }
}

void CheckRoundTrip(const std::vector<ParsedResource>& parsed) {
    std::vector<ResourceToWrite> toWrite;
    for (const ParsedResource& r : parsed)
        toWrite.push_back({&r.info, r.data});
    const std::optional<std::vector<uint8_t>> written = SerializeResourceFile(toWrite);
    if (!written) return; // its clean layout would pass a limit of the format
    const std::vector<rsrcimage::Resource> expected =
        rsrcimage::GroupedByType(rsrcimage::AsStored(Plain(parsed)));
    Check(*written == rsrcimage::Build(expected), "the platform writes the plain clean layout");
    const std::optional<std::vector<ParsedResource>> again = ParseResourceFile(*written);
    Check(again.has_value(), "a written file parses");
    Check(Plain(*again) == expected, "a written file parses into the same resources");
    std::vector<ResourceToWrite> rewrite;
    for (const ParsedResource& r : *again)
        rewrite.push_back({&r.info, r.data});
    Check(SerializeResourceFile(rewrite) == written, "writing it again gives the same bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const std::optional<std::vector<ParsedResource>> parsed = ParseResourceFile(bytes);
    const std::optional<std::vector<rsrcimage::Resource>> walked = rsrcimage::Walk(bytes);
    if (parsed) {
        Check(walked.has_value(), "a file the parser accepts can be walked");
        Check(rsrcimage::AsStored(*walked) == Plain(*parsed),
              "the parser reads what the walk reads");
    }

    const std::string path = ScratchFolder() + "/input.rsrc";
    WriteScratchFile(path, bytes);
    const ResFileRefNum file = OpenResFileAtPath(path.c_str(), fsRdPerm);
    Check((file != -1) == parsed.has_value(), "a file opens exactly when it parses");
    if (file == -1) {
        Check(ResError() == mapReadErr, "a file that does not parse is mapReadErr");
        return 0;
    }
    UseResFile(file);
    CheckPublicCalls(*walked);
    CloseResFile(file);
    Check(ResError() == noErr, "closing an unchanged file");
    CheckRoundTrip(*parsed);
    return 0;
}
