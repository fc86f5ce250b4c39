// Writing under a hidden name, then renaming.
#include "partial_file.h"
#include "host_error.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace reelhost {
namespace {

void MakeParentFolders(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    std::error_code err;
    if (!parent.empty() && !fs::exists(parent, err) && !fs::create_directories(parent, err))
        throw HostError("cannot write '" + path + "': cannot make the folder '" + parent.string() +
                        "': " + err.message());
}

} // namespace

PartialFile::PartialFile(std::string path) : path_(std::move(path)) {
    const fs::path target(path_);
    partial_ = (target.parent_path() / ("." + target.filename().string() + ".partial")).string();
    MakeParentFolders(path_);
}

PartialFile::~PartialFile() {
    if (committed_) return;
    std::error_code ignored;
    fs::remove(partial_, ignored);
}

void PartialFile::Commit() {
    std::error_code err;
    fs::rename(partial_, path_, err);
    if (err) throw HostError("cannot write '" + path_ + "': " + err.message());
    committed_ = true;
}

} // namespace reelhost
