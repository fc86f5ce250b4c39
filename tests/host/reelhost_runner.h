// Running the reelhost program in a test, and reading its outputs back with the ffmpeg program.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace reelhost::testing_support {

inline std::string ReelhostProgram() {
    return std::string(LUMASHIFT_BUILD_DIR) + "/reelhost";
}

struct RunResult {
    int status = -1; // the exit status, or 128 + the signal that ended it
    int signal = 0;  // the signal that ended it; 0 when it exited
    std::string out;
    std::string err;
    bool timedOut = false; // WaitAtMost killed it
};

inline std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A reelhost process with its own Preferences folder; its output streams go to files.
class ReelhostProcess {
  public:
    ReelhostProcess(const std::vector<std::string>& args, const std::string& configHome,
                    const std::string& logPrefix)
        : outPath_(logPrefix + ".out"), errPath_(logPrefix + ".err") {
        std::vector<std::string> env{"XDG_CONFIG_HOME=" + configHome};
        // No display either: only the configuration window needs one, and without it that
        // command must fail with a clear message rather than wait for a user.
        const auto inherited = [](const std::string& var) {
            for (const char* own :
                 {"XDG_CONFIG_HOME=", "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="})
                if (var.rfind(own, 0) == 0) return false;
            return true;
        };
        for (char** e = environ; *e; ++e)
            if (inherited(*e)) env.emplace_back(*e);
        std::vector<std::string> argv{ReelhostProgram()};
        argv.insert(argv.end(), args.begin(), args.end());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // Ctrl-C and broken pipes as a program started from a terminal has them, whatever this
        // test process ignores.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        const std::vector<char*> argp = Pointers(argv), envp = Pointers(env);
        if (posix_spawn(&pid_, argv[0].c_str(), &actions, &attributes, argp.data(), envp.data()))
            pid_ = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }

    pid_t Pid() const { return pid_; }

    // True once the process has ended; Wait then answers at once.
    bool HasEnded() {
        if (pid_ > 0 && !ended_ && waitpid(pid_, &waitStatus_, WNOHANG) == pid_) ended_ = true;
        return pid_ <= 0 || ended_;
    }

    RunResult Wait() {
        if (pid_ > 0 && !ended_ && waitpid(pid_, &waitStatus_, 0) == pid_) ended_ = true;
        RunResult result;
        if (pid_ > 0 && ended_) {
            result.signal = WIFSIGNALED(waitStatus_) ? WTERMSIG(waitStatus_) : 0;
            result.status = result.signal ? 128 + result.signal : WEXITSTATUS(waitStatus_);
        }
        pid_ = -1;
        ended_ = false;
        result.out = ReadWhole(outPath_);
        result.err = ReadWhole(errPath_);
        return result;
    }

    // Wait for a process that may hang: after `limit` it is killed and the result says so.
    RunResult WaitAtMost(std::chrono::steady_clock::duration limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!HasEnded() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const bool hung = !HasEnded();
        if (hung) kill(pid_, SIGKILL);
        RunResult result = Wait();
        result.timedOut = hung;
        return result;
    }

    // A test that stops half-way must not leave the program running, nor wait for it forever.
    ~ReelhostProcess() {
        if (pid_ > 0 && !HasEnded()) kill(pid_, SIGKILL);
        if (pid_ > 0) Wait();
    }

  private:
    static std::vector<char*> Pointers(std::vector<std::string>& strings) {
        std::vector<char*> pointers;
        for (std::string& s : strings)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
        return pointers;
    }

    pid_t pid_ = -1;
    bool ended_ = false; // reaped, with its status in waitStatus_
    int waitStatus_ = 0;
    std::string outPath_, errPath_;
};

// Everything a shell command writes to its standard output.
inline std::string CommandOutput(const std::string& command) {
    std::string bytes;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            bytes.append(buffer, n);
        pclose(pipe);
    }
    return bytes;
}

// Every frame of a picture file or sequence as tightly packed R,G,B,A bytes.
inline std::string DecodeRgba(const std::string& path) {
    return CommandOutput("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgba -");
}

// The first channel of a file's sound at 48000 Hz, as floats.
inline std::vector<float> DecodeMonoSound(const std::string& path) {
    const std::string bytes = CommandOutput("ffmpeg -v error -i '" + path +
                                            "' -vn -af 'pan=mono|c0=c0' -f f32le -ar 48000 -");
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::copy_n(bytes.data(), samples.size() * sizeof(float),
                reinterpret_cast<char*>(samples.data()));
    return samples;
}

// ffprobe's count of decoded video frames, or -1.
inline int CountVideoFrames(const std::string& path) {
    const std::string text =
        CommandOutput("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                      "stream=nb_read_frames -of csv=p=0 '" +
                      path + "'");
    return text.empty() ? -1 : std::atoi(text.c_str());
}

} // namespace reelhost::testing_support
