// reelhost's render throughput on a lossless clip, split into its stages: reading, the host,
// the plug-in and writing.
//
// The host's own time per frame (its render thread between requests, and its callbacks) is
// put beside memcpy of the frame. The clip is the file named by LUMASHIFT_BENCH_CLIP
// (run-benchmarks makes a lossless one when the ffmpeg tool is there), otherwise the host's
// generated demo clip.
#include "benchframes.h"
#include "figures.h"

#include "clip_source.h"
#include "frame_writer.h"
#include "gworld.h"
#include "host_error.h"
#include "host_session.h"
#include "plugin_bundle.h"
#include "render.h"
#include "render_stages.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Times the host's callbacks while the plug-in runs a request, so that what the host does for
// it (fetching and converting frames, blending, sound) is not counted as the plug-in's own time.
// One render at a time: the callbacks carry no pointer of ours, so the state is file-wide.
class CallbackTimer {
  public:
    CallbackTimer(_PluginParams& params, double& seconds) : params_(params) {
        inner_ = params.procs;
        seconds_ = &seconds;
        timed_ = *inner_;
        timed_.GetFrame = GetFrame;
        timed_.ReleaseFrame = ReleaseFrame;
        timed_.Blit = Blit;
        timed_.MixAudio = MixAudio;
        params.procs = &timed_;
    }
    ~CallbackTimer() { params_.procs = inner_; }
    CallbackTimer(const CallbackTimer&) = delete;
    CallbackTimer& operator=(const CallbackTimer&) = delete;

  private:
    template <class Call> static HYPluginResult Timed(Call call) {
        const reelhost::StageTimer timer(*seconds_);
        return call();
    }
    static HYPluginResult GetFrame(void* instance, int32_t index, GWorldPtr* image, int16_t width,
                                   int16_t height, uint8_t quality, int16_t* volume,
                                   void** cookie) {
        return Timed([&] {
            return inner_->GetFrame(instance, index, image, width, height, quality, volume, cookie);
        });
    }
    static HYPluginResult ReleaseFrame(void* instance, void* cookie) {
        return Timed([&] { return inner_->ReleaseFrame(instance, cookie); });
    }
    static HYPluginResult Blit(PixMapHandle src, PixMapHandle dst, const Rect* srcRect,
                               const Rect* dstRect, int16_t opacity) {
        return Timed([&] { return inner_->Blit(src, dst, srcRect, dstRect, opacity); });
    }
    static HYPluginResult MixAudio(void* instance, void* cookie, int16_t volume) {
        return Timed([&] { return inner_->MixAudio(instance, cookie, volume); });
    }

    static inline _HYProcs* inner_ = nullptr;
    static inline double* seconds_ = nullptr;
    _HYProcs timed_{};
    _PluginParams& params_;
};

struct RenderSplit {
    reelhost::StageSeconds stages;
    double callbacks = 0; // inside the host's callbacks, within the requests
    double total = 0;
    int64_t frames = 0;
};

std::unique_ptr<reelhost::ClipSource> OpenBenchClip() {
    const char* path = std::getenv("LUMASHIFT_BENCH_CLIP");
    return path && *path ? reelhost::OpenClipFile(path) : reelhost::OpenDemoClip();
}

// One render of the whole clip through the bundle, as `reelhost render` does it, into a video
// file in a temporary folder.
RenderSplit RenderOnce(reelhost::ClipSource& clip, reelhost::PluginBundle& bundle,
                       const std::filesystem::path& folder) {
    RenderSplit split;
    const reelhost::ClipInfo& info = clip.Info();
    reelhost::HostSession session(clip, reelhost::HostSettings{});
    session.EnableSound(true);
    reelhost::OutputSettings output((folder / "out.mkv").string(), info.width, info.height,
                                    info.rate, session.SoundOn(), info.sound);
    output.source = info.format;
    auto writer = reelhost::OpenFrameWriter(reelhost::OutputKind::Video, output);

    reelhost::RenderPlan plan;
    plan.frameCount = int32_t(info.frameCount);
    plan.endWritten = info.frameCount;
    plan.width = info.width;
    plan.height = info.height;
    reelhost::ProgressMeter meter(reelhost::ProgressStyle::Quiet, stderr, info.frameCount);
    reelhost::PluginCaller caller(bundle.Entry(), session);
    const CallbackTimer timer(caller.Params(), split.callbacks);
    {
        const reelhost::StageTimer whole(split.total);
        const reelhost::RenderOutcome outcome =
            reelhost::RunRender(caller, clip, session, *writer, plan, meter, [] { return false; });
        writer->Finish();
        split.stages = outcome.seconds;
        split.frames = outcome.framesWritten;
    }
    return split;
}

void RenderFigure(benchmark::State& state) {
    av_log_set_level(AV_LOG_ERROR); // as reelhost does: the encoder's statistics are noise here
    try {
        auto clip = OpenBenchClip();
        reelhost::PluginBundle bundle(LUMASHIFT_BUNDLE_DIR);
        char pattern[] = "/tmp/lumashift-host-bench-XXXXXX";
        if (!mkdtemp(pattern)) throw reelhost::HostError("no temporary folder for the output");
        const std::filesystem::path folder = pattern;
        double bestHost = 0, fps = 0, read = 0, host = 0, plugin = 0, write = 0;
        for (auto _ : state) {
            const RenderSplit split = RenderOnce(*clip, bundle, folder);
            const double perFrame = 1e3 / double(std::max<int64_t>(split.frames, 1));
            fps = 1e3 / perFrame / split.total;
            read = split.stages.read * perFrame;
            host = (split.stages.host + split.callbacks) * perFrame;
            plugin = (split.stages.requests - split.callbacks) * perFrame;
            write = split.stages.write * perFrame;
            bestHost = bestHost > 0 ? std::min(bestHost, host * 1e3) : host * 1e3;
        }
        std::filesystem::remove_all(folder);
        state.counters[figures::kBestCounter] = bestHost; // microseconds per frame
        state.counters["fps"] = fps;
        state.counters["read_ms"] = read;
        state.counters["host_ms"] = host;
        state.counters["plugin_ms"] = plugin;
        state.counters["write_ms"] = write;
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
}

// "host/<size>/render: ... fps; per frame ..." from the figure's counters.
std::string ThroughputNote(const std::string& prefix, const std::string& figure,
                           const figures::Results& results) {
    const double fps = results.MedianCounter(figure, "fps");
    if (fps <= 0) return {};
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s: %.1f fps; per frame (each stage's own work, the stages overlap) read "
                  "%.2f ms, host %.2f ms, plug-in %.2f ms, write %.2f ms",
                  prefix.c_str(), fps, results.MedianCounter(figure, "read_ms"),
                  results.MedianCounter(figure, "host_ms"),
                  results.MedianCounter(figure, "plugin_ms"),
                  results.MedianCounter(figure, "write_ms"));
    return line;
}

const bool kRegistered = [] {
    // The clip's size decides the yardstick, so the clip is opened once here.
    try {
        const auto clip = OpenBenchClip();
        const FrameSize size = {int16_t(clip->Info().width), int16_t(clip->Info().height)};
        const std::string prefix = "host/" + size.Label();
        const std::string figure = prefix + "/host-per-frame";
        figures::AddFigure(figure, AddFrameBaseline(size), RenderFigure);
        figures::AddNote([prefix, figure](const figures::Results& results) {
            return ThroughputNote(prefix + "/render", figure, results);
        });
    } catch (const std::exception& error) {
        std::fprintf(stderr, "host benchmark left out: %s\n", error.what());
    }
    return true;
}();

} // namespace
