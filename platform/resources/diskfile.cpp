// Whole-file reads and atomic writes (new file beside the target, flushed, then moved in).
#include "resources/diskfile.h"
#include "PlatformTestHooks.h"
#include "Resources.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

long gWriteFailCountdown = 0;

// New files are readable by everyone and writable by their owner, the usual 0666 & ~022.
constexpr mode_t kNewFileMode = 0644;

bool WriteShouldFail() {
    if (gWriteFailCountdown <= 0) return false;
    return --gWriteFailCountdown == 0;
}

// Closes the descriptor when it goes out of scope, unless it was closed by hand.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closing can report a late write error, so writers close explicitly and check.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LeafOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    if (WriteShouldFail()) {
        errno = ENOSPC;
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes = bytes.subspan(size_t(written));
    }
    return true;
}

// Makes a rename or link in the folder durable. Some file systems cannot flush a folder; the
// file itself is already on disk then, so this is best effort.
void FlushFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

// Writes a flushed temporary file beside `path` holding `bytes` and with `mode`; its name
// is returned in `temporary`. The caller moves it into place or removes it.
OSErr WriteTemporaryBeside(const std::string& path, std::span<const uint8_t> bytes, mode_t mode,
                           std::string& temporary) {
    // Shortened so that the temporary name stays within the 255 bytes a file name may have.
    temporary = FolderOf(path) + "/." + LeafOf(path).substr(0, 200) + ".XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT || errno == ENOTDIR ? dirNFErr : ioErr;
    const bool written = ::fchmod(fd.get(), mode) == 0 && WriteAll(fd.get(), bytes) &&
                         ::fsync(fd.get()) == 0 && fd.Close();
    if (written) return noErr;
    ::unlink(temporary.c_str());
    return ioErr;
}

} // namespace

void ResTestFailWrite(long n) {
    gWriteFailCountdown = n > 0 ? n : 0;
}

OSErr ReadWholeFile(const std::string& path, size_t maxSize, std::vector<uint8_t>& bytes) {
    // Non-blocking, so that opening a named pipe cannot hang; regular files ignore the flag.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT || errno == ENOTDIR ? fnfErr : ioErr;
    struct stat info;
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ioErr;
    bytes.clear();
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ioErr;
        if (got == 0) return noErr;
        // Checked as it grows: the size from fstat may be stale.
        if (size_t(got) >= maxSize - bytes.size()) return mapReadErr;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

OSErr ReplaceFile(const std::string& path, std::span<const uint8_t> bytes) {
    struct stat old;
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : kNewFileMode;
    std::string temporary;
    if (const OSErr err = WriteTemporaryBeside(path, bytes, mode, temporary)) return err;
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return ioErr;
    }
    FlushFolder(FolderOf(path));
    return noErr;
}

OSErr CreateFileExclusive(const std::string& path, std::span<const uint8_t> bytes) {
    struct stat existing;
    if (::lstat(path.c_str(), &existing) == 0) return dupFNErr;
    std::string temporary;
    if (const OSErr err = WriteTemporaryBeside(path, bytes, kNewFileMode, temporary)) return err;
    // A hard link never replaces a file made meanwhile, and the file appears already whole.
    const bool linked = ::link(temporary.c_str(), path.c_str()) == 0;
    const bool existed = !linked && errno == EEXIST;
    ::unlink(temporary.c_str());
    if (!linked) return existed ? dupFNErr : ioErr;
    FlushFolder(FolderOf(path));
    return noErr;
}
