// A file written under a hidden name beside its real one, which it takes only once complete.
#pragma once

#include <string>

namespace reelhost {

// The real name only ever holds a whole file: until Commit, what is written goes to
// WritingPath(), which is removed again if the file is given up.
class PartialFile {
  public:
    // Makes the folders on the way to `path`; throws HostError naming it when it cannot.
    explicit PartialFile(std::string path);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    const std::string& Path() const { return path_; }
    const std::string& WritingPath() const { return partial_; }
    // Gives the written file its real name; throws HostError when it cannot.
    void Commit();

  private:
    std::string path_;
    std::string partial_;
    bool committed_ = false;
};

} // namespace reelhost
