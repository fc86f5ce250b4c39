// reelhost's render throughput on a lossless clip, split into decode, host, plug-in and encode.
//
// The plug-in's own time per frame is also put beside memcpy of the frame. The clip is the file
// named by LUMASHIFT_BENCH_CLIP (run-benchmarks makes a lossless one when the ffmpeg tool is
// there), otherwise the host's generated demo clip.
#include "benchframes.h"
#include "figures.h"

#include "clip_source.h"
#include "frame_writer.h"
#include "gworld.h"
#include "host_error.h"
#include "host_session.h"
#include "plugin_bundle.h"
#include "render.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Adds the time of every call into the clip to `seconds`: the decoding.
class TimedClip : public reelhost::ClipSource {
  public:
    TimedClip(ClipSource& clip, double& seconds) : clip_(clip), seconds_(seconds) {}
    const reelhost::ClipInfo& Info() const override { return clip_.Info(); }
    const AVFrame& Picture(int64_t index) override {
        const Clock::time_point start = Clock::now();
        const AVFrame& picture = clip_.Picture(index);
        seconds_ += SecondsSince(start);
        return picture;
    }
    void ReadSound(int64_t index, reelhost::AudioBlock& block) override {
        const Clock::time_point start = Clock::now();
        clip_.ReadSound(index, block);
        seconds_ += SecondsSince(start);
    }

  private:
    ClipSource& clip_;
    double& seconds_;
};

// Adds the time of every call into the writer to `seconds`: the encoding.
class TimedWriter : public reelhost::FrameWriter {
  public:
    TimedWriter(FrameWriter& writer, double& seconds) : writer_(writer), seconds_(seconds) {}
    void Write(const reelhost::PixelView& picture, const reelhost::AudioBlock* sound) override {
        const Clock::time_point start = Clock::now();
        writer_.Write(picture, sound);
        seconds_ += SecondsSince(start);
    }
    void Finish() override {
        const Clock::time_point start = Clock::now();
        writer_.Finish();
        seconds_ += SecondsSince(start);
    }
    std::string Description() const override { return writer_.Description(); }

  private:
    FrameWriter& writer_;
    double& seconds_;
};

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
        const Clock::time_point start = Clock::now();
        const HYPluginResult result = call();
        *seconds_ += SecondsSince(start);
        return result;
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
    double decode = 0;    // inside the clip: reading and decoding pictures and sound
    double callbacks = 0; // inside the host's callbacks, decoding included
    double encode = 0;    // inside the writer
    double total = 0;
    int64_t frames = 0;
};

std::unique_ptr<reelhost::ClipSource> OpenBenchClip() {
    const char* path = std::getenv("LUMASHIFT_BENCH_CLIP");
    return path && *path ? reelhost::OpenClipFile(path) : reelhost::OpenDemoClip();
}

// One render of the whole clip through the bundle, as `reelhost render` does it, into a video
// file in a temporary folder.
RenderSplit RenderOnce(reelhost::ClipSource& source, reelhost::PluginBundle& bundle,
                       const std::filesystem::path& folder) {
    RenderSplit split;
    TimedClip clip(source, split.decode);
    const reelhost::ClipInfo& info = clip.Info();
    reelhost::HostSession session(clip, reelhost::HostSettings{});
    session.EnableSound(true);
    reelhost::OutputSettings output;
    output.path = (folder / "out.mkv").string();
    output.width = info.width;
    output.height = info.height;
    output.rate = info.rate;
    output.sound = session.SoundOn();
    output.soundFormat = info.sound;
    auto file = reelhost::OpenFrameWriter(reelhost::OutputKind::Video, output);
    TimedWriter writer(*file, split.encode);
    reelhost::GWorldHolder frame = reelhost::MakeImage(output.width, output.height);

    reelhost::RenderPlan plan;
    plan.frameCount = int32_t(info.frameCount);
    plan.endWritten = info.frameCount;
    reelhost::ProgressMeter meter(reelhost::ProgressStyle::Quiet, stderr, info.frameCount);
    reelhost::PluginCaller caller(bundle.Entry(), session);
    const CallbackTimer timer(caller.Params(), split.callbacks);
    const Clock::time_point start = Clock::now();
    split.frames = reelhost::RunRender(caller, clip, session, writer, frame.get(), plan, meter, [] {
                       return false;
                   }).framesWritten;
    writer.Finish();
    split.total = SecondsSince(start);
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
        double bestPlugin = 0, fps = 0, decode = 0, host = 0, plugin = 0, encode = 0;
        for (auto _ : state) {
            const RenderSplit split = RenderOnce(*clip, bundle, folder);
            const double perFrame = 1e3 / double(std::max<int64_t>(split.frames, 1));
            fps = 1e3 / perFrame / split.total;
            decode = split.decode * perFrame;
            host = (split.callbacks - split.decode) * perFrame;
            plugin = (split.total - split.encode - split.callbacks) * perFrame;
            encode = split.encode * perFrame;
            bestPlugin = bestPlugin > 0 ? std::min(bestPlugin, plugin * 1e3) : plugin * 1e3;
        }
        std::filesystem::remove_all(folder);
        state.counters[figures::kBestCounter] = bestPlugin; // microseconds per frame
        state.counters["fps"] = fps;
        state.counters["decode_ms"] = decode;
        state.counters["host_ms"] = host;
        state.counters["plugin_ms"] = plugin;
        state.counters["encode_ms"] = encode;
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
                  "%s: %.1f fps; per frame decode %.2f ms, host callbacks %.2f ms, plug-in "
                  "%.2f ms, encode %.2f ms",
                  prefix.c_str(), fps, results.MedianCounter(figure, "decode_ms"),
                  results.MedianCounter(figure, "host_ms"),
                  results.MedianCounter(figure, "plugin_ms"),
                  results.MedianCounter(figure, "encode_ms"));
    return line;
}

const bool kRegistered = [] {
    // The clip's size decides the yardstick, so the clip is opened once here.
    try {
        const auto clip = OpenBenchClip();
        const FrameSize size = {int16_t(clip->Info().width), int16_t(clip->Info().height)};
        const std::string prefix = "host/" + size.Label();
        const std::string figure = prefix + "/plugin-per-frame";
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
