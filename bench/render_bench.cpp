// reelhost against one ffmpeg command that computes the same effect with stock filters.
//
// Both render the same generated clips, in turn, several rounds in one run; each round puts
// reelhost's wall and CPU time over ffmpeg's of that round, and the figures are the medians of
// those ratios. The peak memory of a long render over a short one is measured the same way.
// Beside them runs ffmpeg with the same codecs and no filter at all: what decoding and encoding
// alone take, the least any host could reach with those codecs.
// Flags: --rounds=N (default 3), --reelhost=PATH (default: the one built beside this program),
// --summary=PATH (the figures are also appended there).
#include "median.h"
#include "saved_effect.h"
#include "scratch_folder.h"
#include "stock_graph.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The demo's effect: a brightened centre region, gain 1.4 and offset +25.5.
constexpr stockgraph::Effect kEffect{0.2, 0.8, 0.25, 0.75, 70, 60};
// The same over a quarter of the frame, its centre: three quarters of every picture untouched.
constexpr stockgraph::Effect kQuarterEffect{0.25, 0.75, 0.25, 0.75, 70, 60};
constexpr int kDefaultRounds = 3;
constexpr int kFramesPerSecond = 30;

// The encoder settings of both sides: what reelhost writes for each codec.
const std::vector<std::string> kH264Output = {"-c:v", "libx264", "-preset", "fast", "-crf",
                                              "18",   "-c:a",    "aac",     "-b:a", "192k"};
const std::vector<std::string> kLosslessOutput = {
    "-c:v", "ffv1", "-level", "3", "-slices", "16", "-slicecrc", "1", "-g", "1", "-c:a", "flac"};

struct Clip {
    const char* name;
    int width, height;
    int frames;
};

// Generated pictures with motion and a tone, as H.264 with AAC sound.
const Clip kClips[] = {
    {"1080p", 1920, 1080, 5 * kFramesPerSecond},
    {"480p", 720, 480, 5 * kFramesPerSecond},
    {"2160p", 3840, 2160, 1 * kFramesPerSecond}, // a short clip: 4K renders are slow
    {"480p-short", 720, 480, 100},
    {"480p-long", 720, 480, 1000},
};

struct Case {
    const char* figure;
    const char* clip;
    bool lossless;
    double target, goal; // reelhost / ffmpeg wall time; 0 for none
    const stockgraph::Effect& effect = kEffect;
};

const Case kCases[] = {
    {"1080p H.264 with sound", "1080p", false, 0.80, 0.60},
    {"720x480 H.264 with sound", "480p", false, 0.90, 0.70},
    {"3840x2160 H.264 with sound", "2160p", false, 0.90, 0.70},
    {"1080p to lossless (FFV1, FLAC)", "1080p", true, 0.70, 0.50},
    {"1080p H.264, a quarter-frame region", "1080p", false, 0, 0, kQuarterEffect},
};

struct Run {
    double wall = 0, cpu = 0; // seconds
    long peakKilobytes = 0;
};

// Runs a program to its end, its output into `log`; its wall and CPU time and peak memory.
Run Measure(const std::vector<std::string>& args, const std::string& log) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot run " + args[0] + ": " + strerror(spawned));
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run;
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    run.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.peakKilobytes = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed; its output is in " + log);
    return run;
}

class Bench {
  public:
    Bench(std::string reelhost, fs::path folder)
        : reelhost_(std::move(reelhost)), folder_(std::move(folder)) {}

    // The settings reelhost renders with from now on.
    void SaveEffect(const stockgraph::Effect& effect) {
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1); // for this program and its children
        SaveEffectAsConfiguration(effect);
    }

    void MakeClips() {
        for (const Clip& clip : kClips) {
            std::printf("making %s: %d x %d, %d frames\n", clip.name, clip.width, clip.height,
                        clip.frames);
            std::fflush(stdout);
            const std::string size = std::to_string(clip.width) + "x" + std::to_string(clip.height);
            std::vector<std::string> args = {"ffmpeg",
                                             "-nostdin",
                                             "-y",
                                             "-f",
                                             "lavfi",
                                             "-i",
                                             "testsrc2=size=" + size +
                                                 ":rate=" + std::to_string(kFramesPerSecond),
                                             "-f",
                                             "lavfi",
                                             "-i",
                                             "sine=frequency=440:sample_rate=48000",
                                             "-frames:v",
                                             std::to_string(clip.frames),
                                             "-shortest",
                                             "-pix_fmt",
                                             "yuv420p"};
            args.insert(args.end(), kH264Output.begin(), kH264Output.end());
            args.push_back(ClipPath(clip.name));
            Measure(args, Log("make"));
        }
    }

    void RunRounds(int rounds) {
        for (int round = 0; round < rounds; ++round) {
            std::printf("\nround %d of %d\n", round + 1, rounds);
            for (const Case& c : kCases)
                RunCase(c, round % 2 == 1);
            RunMemory();
        }
    }

    void PrintFigures(std::FILE* out, int rounds) const {
        std::fprintf(out,
                     "\nreelhost over the stock ffmpeg graph (on the codecs-alone rows, ffmpeg "
                     "without any filter over the graph): median of %d rounds, each round's ratio "
                     "(the rounds in brackets)\n",
                     rounds);
        std::fprintf(out, "%-58s %7s %7s %8s\n", "figure", "target", "goal", "result");
        for (const Case& c : kCases) {
            PrintRow(out, std::string("wall, ") + c.figure, c.target, c.goal, wall_.at(c.figure));
            PrintRow(out, std::string("CPU, ") + c.figure, 0, 0, cpu_.at(c.figure));
            PrintRow(out, std::string("wall, codecs alone (no filter), ") + c.figure, 0, 0,
                     codecsWall_.at(c.figure));
            PrintRow(out, std::string("wall, reelhost over codecs alone, ") + c.figure, 0, 0,
                     overCodecs_.at(c.figure));
        }
        PrintRow(out, "peak memory, 1000-frame over 100-frame render", 1.10, 1.05, memory_);
    }

  private:
    std::string ClipPath(const std::string& name) const {
        return (folder_ / (name + ".mp4")).string();
    }
    std::string Log(const std::string& name) const { return (folder_ / (name + ".log")).string(); }

    std::vector<std::string> ReelhostArgs(const Clip& clip, bool lossless) const {
        std::vector<std::string> args = {
            reelhost_, "render", ClipPath(clip.name), "-o", Output(lossless, "reelhost"),
            "--quiet"};
        if (lossless) args.insert(args.end(), {"--codec", "ffv1"});
        return args;
    }

    // The stock graph's command, or with `withEffect` off the same command without any filter.
    std::vector<std::string> FfmpegArgs(const Clip& clip, const Case& c, bool withEffect) const {
        const bool lossless = c.lossless;
        std::vector<std::string> args = {"ffmpeg", "-nostdin", "-y", "-i", ClipPath(clip.name)};
        if (withEffect)
            args.insert(args.end(),
                        {"-filter_complex",
                         stockgraph::FilterGraph(c.effect, clip.width, clip.height, "yuv420p"),
                         "-map", "[v]"});
        else
            args.insert(args.end(), {"-map", "0:v"});
        args.insert(args.end(), {"-map", "0:a"});
        const std::vector<std::string>& codec = lossless ? kLosslessOutput : kH264Output;
        args.insert(args.end(), codec.begin(), codec.end());
        args.push_back(Output(lossless, withEffect ? "ffmpeg" : "codecs"));
        return args;
    }

    std::string Output(bool lossless, const char* who) const {
        return (folder_ / (std::string(who) + (lossless ? ".mkv" : ".mp4"))).string();
    }

    static const Clip& ClipNamed(const std::string& name) {
        for (const Clip& clip : kClips)
            if (name == clip.name) return clip;
        throw std::logic_error("no clip " + name);
    }

    // reelhost, the graph and the codecs alone once each, in the order given, and their ratios
    // to the graph recorded.
    void RunCase(const Case& c, bool ffmpegFirst) {
        const Clip& clip = ClipNamed(c.clip);
        Run ours, theirs, codecs;
        const auto runFfmpeg = [&] {
            theirs = Measure(FfmpegArgs(clip, c, true), Log("ffmpeg"));
            codecs = Measure(FfmpegArgs(clip, c, false), Log("codecs"));
        };
        if (ffmpegFirst) runFfmpeg();
        SaveEffect(c.effect);
        ours = Measure(ReelhostArgs(clip, c.lossless), Log("reelhost"));
        if (!ffmpegFirst) runFfmpeg();
        wall_[c.figure].push_back(ours.wall / theirs.wall);
        cpu_[c.figure].push_back(ours.cpu / theirs.cpu);
        codecsWall_[c.figure].push_back(codecs.wall / theirs.wall);
        overCodecs_[c.figure].push_back(ours.wall / codecs.wall);
        std::printf("  %-32s reelhost %6.2f s (CPU %6.2f s)   ffmpeg %6.2f s (CPU %6.2f s)   "
                    "wall %.2f  CPU %.2f   codecs alone %6.2f s: %.2f\n",
                    c.figure, ours.wall, ours.cpu, theirs.wall, theirs.cpu, ours.wall / theirs.wall,
                    ours.cpu / theirs.cpu, codecs.wall, codecs.wall / theirs.wall);
        std::fflush(stdout);
    }

    void RunMemory() {
        SaveEffect(kEffect);
        const Run shortRun = Measure(ReelhostArgs(ClipNamed("480p-short"), false), Log("reelhost"));
        const Run longRun = Measure(ReelhostArgs(ClipNamed("480p-long"), false), Log("reelhost"));
        memory_.push_back(double(longRun.peakKilobytes) / double(shortRun.peakKilobytes));
        std::printf("  %-32s 100 frames %ld kB, 1000 frames %ld kB: %.3f\n", "peak memory",
                    shortRun.peakKilobytes, longRun.peakKilobytes, memory_.back());
        std::fflush(stdout);
    }

    static void PrintRow(std::FILE* out, const std::string& figure, double target, double goal,
                         const std::vector<double>& ratios) {
        const double median = Median(ratios);
        std::string verdict;
        if (target > 0) verdict = median <= goal ? "goal met" : median <= target ? "met" : "MISSED";
        char targetText[16] = "", goalText[16] = "";
        if (target > 0) {
            std::snprintf(targetText, sizeof targetText, "<= %.2f", target);
            std::snprintf(goalText, sizeof goalText, "<= %.2f", goal);
        }
        std::fprintf(out, "%-58s %7s %7s %8.2f  %-9s [", figure.c_str(), targetText, goalText,
                     median, verdict.c_str());
        for (double ratio : ratios)
            std::fprintf(out, " %.2f", ratio);
        std::fprintf(out, " ]\n");
    }

    std::string reelhost_;
    fs::path folder_;
    std::map<std::string, std::vector<double>> wall_, cpu_, codecsWall_, overCodecs_;
    std::vector<double> memory_;
};

struct Flags {
    int rounds = kDefaultRounds;
    std::string reelhost = LUMASHIFT_REELHOST;
    std::string summary;
};

Flags ReadFlags(int argc, char** argv) {
    Flags flags;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--rounds=", 0) == 0) flags.rounds = std::max(1, std::atoi(argv[i] + 9));
        if (arg.rfind("--reelhost=", 0) == 0) flags.reelhost = arg.substr(11);
        if (arg.rfind("--summary=", 0) == 0) flags.summary = arg.substr(10);
    }
    return flags;
}

} // namespace

int main(int argc, char** argv) {
    const Flags flags = ReadFlags(argc, argv);
    return WithScratchFolder("render benchmark", [&](const fs::path& folder) {
        Bench bench(flags.reelhost, folder);
        bench.MakeClips();
        bench.RunRounds(flags.rounds);
        bench.PrintFigures(stdout, flags.rounds);
        if (std::FILE* summary =
                flags.summary.empty() ? nullptr : std::fopen(flags.summary.c_str(), "a")) {
            bench.PrintFigures(summary, flags.rounds);
            std::fclose(summary);
        }
    });
}
