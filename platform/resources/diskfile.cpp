// Whole-file reads and atomic writes (new file beside the target, flushed, then moved in).
#include "resources/diskfile.h"
#include "Resources.h"
#include "memory/failseam.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// New files are readable by everyone and writable by their owner, the usual 0666 & ~022.
constexpr mode_t kNewFileMode = 0644;

// Closes the descriptor when it goes out of scope, unless it was closed by hand.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Reset(-1); }
    int get() const { return fd_; }
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
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

// One step of a file write done; a test may have the process killed here, as a crash would
// (ResTestKillWriteAt). True, so that it reads as one more step of a chain.
bool StepDone() {
    if (PlatformFailureSeams().writeKill.Fires()) ::raise(SIGKILL);
    return true;
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    if (PlatformFailureSeams().write.Fires()) {
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

// Temporary files beside `path` are named "." + its leaf (cut so that the whole name stays
// within the 255 bytes a file name may have) + "." + six letters or digits chosen by mkostemp.
std::string TemporaryPrefix(const std::string& path) {
    return "." + LeafOf(path).substr(0, 200) + ".";
}

bool IsTemporaryName(const std::string& name, const std::string& prefix) {
    constexpr size_t kUniqueLetters = 6;
    if (name.size() != prefix.size() + kUniqueLetters || name.compare(0, prefix.size(), prefix))
        return false;
    // The letters mkostemp chooses from, whatever the locale says a letter is.
    return std::all_of(name.begin() + long(prefix.size()), name.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

// Removes the temporary file `name` in `folder` when no writer holds its lock: its writer died
// before moving it into place. The lock is ours while it is removed, and only the file we
// locked is removed, never one made under the same name meanwhile.
void RemoveIfAbandoned(int folder, const char* name) {
    FileDescriptor fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held, current;
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ::fstat(fd.get(), &held) ||
        ::fstatat(folder, name, &current, AT_SYMLINK_NOFOLLOW) || held.st_ino != current.st_ino ||
        held.st_dev != current.st_dev)
        return;
    ::unlinkat(folder, name, 0);
}

// Best effort: a temporary file that cannot be examined or removed is left alone.
void RemoveAbandonedTemporaries(const std::string& path) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(FolderOf(path).c_str()), ::closedir);
    if (!folder) return;
    const std::string prefix = TemporaryPrefix(path);
    while (const dirent* entry = ::readdir(folder.get()))
        if (IsTemporaryName(entry->d_name, prefix))
            RemoveIfAbandoned(::dirfd(folder.get()), entry->d_name);
}

// Writes a flushed temporary file beside `path` holding `bytes` and with `mode`; its name
// is returned in `temporary`. `lock` keeps the file locked against other writers' clean-up
// until the caller, having moved it into place or removed it, lets it go.
OSErr WriteTemporaryBeside(const std::string& path, std::span<const uint8_t> bytes, mode_t mode,
                           std::string& temporary, FileDescriptor& lock) {
    RemoveAbandonedTemporaries(path);
    temporary = FolderOf(path) + "/" + TemporaryPrefix(path) + "XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT || errno == ENOTDIR ? dirNFErr : ioErr;
    StepDone();
    // A second descriptor holds the lock, so that closing the first can still report errors.
    lock.Reset(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    const bool written = lock.get() >= 0 && ::flock(lock.get(), LOCK_EX) == 0 &&
                         ::fchmod(fd.get(), mode) == 0 && StepDone() && WriteAll(fd.get(), bytes) &&
                         StepDone() && ::fsync(fd.get()) == 0 && StepDone() && fd.Close() &&
                         StepDone();
    if (written) return noErr;
    ::unlink(temporary.c_str());
    return ioErr;
}

} // namespace

OSErr ReadWholeFile(const std::string& path, size_t maxSize, std::vector<uint8_t>& bytes,
                    unsigned& mode) {
    // Non-blocking, so that opening a named pipe cannot hang; regular files ignore the flag.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT || errno == ENOTDIR ? fnfErr : ioErr;
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) return ioErr;
    if (!S_ISREG(info.st_mode)) return notAFileErr;
    if (PlatformFailureSeams().read.Fires()) return ioErr;
    mode = info.st_mode & 07777;
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

OSErr ReplaceFile(const std::string& path, std::span<const uint8_t> bytes, unsigned knownMode) {
    // The file's mode now, or the one it had when read if it has gone meanwhile: never a
    // default that could widen who may read it.
    struct stat old;
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : knownMode;
    std::string temporary;
    FileDescriptor lock;
    if (const OSErr err = WriteTemporaryBeside(path, bytes, mode, temporary, lock)) return err;
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return ioErr;
    }
    StepDone();
    FlushFolder(FolderOf(path));
    StepDone();
    return noErr;
}

OSErr CreateFileExclusive(const std::string& path, std::span<const uint8_t> bytes) {
    struct stat existing;
    if (::lstat(path.c_str(), &existing) == 0) return dupFNErr;
    std::string temporary;
    FileDescriptor lock;
    if (const OSErr err = WriteTemporaryBeside(path, bytes, kNewFileMode, temporary, lock))
        return err;
    // A hard link never replaces a file made meanwhile, and the file appears already whole.
    const bool linked = ::link(temporary.c_str(), path.c_str()) == 0;
    const bool existed = !linked && errno == EEXIST;
    if (linked) StepDone();
    ::unlink(temporary.c_str());
    if (!linked) return existed ? dupFNErr : ioErr;
    StepDone();
    FlushFolder(FolderOf(path));
    StepDone();
    return noErr;
}
