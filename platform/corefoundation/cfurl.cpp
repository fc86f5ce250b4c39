// File URLs: a file-system path and whether it names a folder.
#include "corefoundation/cfinternal.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The path made absolute against the current folder; empty when that cannot be done.
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    return error ? std::string() : absolute.string();
}

// Copies text and its terminator into buffer when both fit.
bool CopyZeroTerminated(const std::string& text, char* buffer, CFIndex bufferSize) {
    if (text.empty() || CFIndex(text.size()) >= bufferSize) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

} // namespace

CFURLRef CFURLCreateWithPath(std::string_view path, bool isDirectory) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return nullptr;
    auto* url = new OpaqueCFURL;
    url->path = path;
    url->isDirectory = isDirectory;
    return url;
}

const std::string& CFURLPath(CFURLRef url) {
    static const std::string kEmpty;
    return url ? url->path : kEmpty;
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const uint8_t* buffer,
                                                 CFIndex bufLen, Boolean isDirectory) {
    if (!buffer || bufLen <= 0) return nullptr;
    return CFURLCreateWithPath(std::string_view(reinterpret_cast<const char*>(buffer), bufLen),
                               isDirectory);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, uint8_t* buffer,
                                         CFIndex maxBufLen) {
    if (!url || !buffer || maxBufLen <= 0) return false;
    // A relative path's base is the current folder.
    const std::string path = resolveAgainstBase ? AbsolutePath(url->path) : url->path;
    return CopyZeroTerminated(path, reinterpret_cast<char*>(buffer), maxBufLen);
}

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef) {
    if (!url || !fsRef) return false;
    std::error_code error;
    if (!fs::exists(url->path, error)) return false;
    return CopyZeroTerminated(AbsolutePath(url->path), fsRef->path, sizeof fsRef->path);
}
