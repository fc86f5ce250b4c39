// The render loop: the plug-in's requests in the host's order, and frames passed through.
#include "render.h"
#include "gworld.h"
#include "host_error.h"
#include "render_stages.h"

#include <utility>

namespace reelhost {
namespace {

// Sends the end request when it leaves scope, so that a failure anywhere in the render still
// lets the plug-in release what it holds.
class EndRequest {
  public:
    explicit EndRequest(PluginCaller& caller) : caller_(caller) {}
    ~EndRequest() { caller_.Send(kPlugTerminate); }
    EndRequest(const EndRequest&) = delete;
    EndRequest& operator=(const EndRequest&) = delete;

  private:
    PluginCaller& caller_;
};

bool InEffect(int64_t movieFrame, const RenderPlan& plan) {
    return movieFrame >= plan.start && movieFrame < int64_t(plan.start) + plan.frameCount;
}

// The quality the host interface's rule has a plug-in ask for: low only for proxy frames this
// high or less. Frames read at it are lent as they are.
constexpr int kLowQualityLargestHeight = 259;

uint8_t QualityOf(int64_t movieFrame, const RenderPlan& plan) {
    if (!plan.proxy) return kDVHighQuality;
    if (!InEffect(movieFrame, plan)) return kDVLowQuality; // the host's own quick proxy frames
    return plan.height <= kLowQualityLargestHeight ? kDVLowQuality : kDVHighQuality;
}

// While a render's reading thread reads the clip, the session reads it through another reader.
class SharedClip {
  public:
    explicit SharedClip(HostSession& session) : session_(session) { session_.ShareClip(true); }
    ~SharedClip() { session_.ShareClip(false); }
    SharedClip(const SharedClip&) = delete;
    SharedClip& operator=(const SharedClip&) = delete;

  private:
    HostSession& session_;
};

// Runs `call`, adding its time to `waited`: a call that waits on the other stages.
template <class Call> decltype(auto) Waiting(double& waited, Call call) {
    const StageTimer timer(waited);
    return call();
}

// Sends one frame request with `input` offered to the plug-in and `output` as its frame.
int32_t RequestFrame(PluginCaller& caller, HostSession& session, FrameSlot& input,
                     FrameSlot& output, const RenderPlan& plan) {
    _PluginParams& params = caller.Params();
    session.StartOutputFrame(input.movieFrame, output.sound);
    params.frame = output.image.get();
    params.renderFrame = int32_t(input.movieFrame - plan.start);
    session.Offer(input);
    const int32_t result = caller.Send(kPlugDoFrame);
    session.Withdraw();
    return result;
}

// The rendered frame takes over the lent frame's source, and learns which of its pixels differ
// from those lent, so that the rest keep the source's own samples. The plug-in only reads what
// it is lent; an image it kept is not there to compare, and then every pixel counts as changed.
void NoteChanges(FrameSlot& lent, FrameSlot& rendered) {
    av_frame_unref(rendered.source.get());
    rendered.hasPicture = true;
    if (!lent.HasSource() || !lent.image) return;
    rendered.changed.Find(ViewOf(rendered.image.get()), ViewOf(lent.image.get()));
    std::swap(rendered.source, lent.source);
}

} // namespace

PluginCaller::PluginCaller(HostPluginEntry entry, HostSession& session)
    : entry_(entry), session_(session) {
    params_.interfaceVersion = kHostInterfaceVersion;
    params_.instance = session.Instance();
    params_.procs = session.Procs();
}

int32_t PluginCaller::Send(HYPluginSelector selector) {
    session_.ClearProblem();
    params_.selector = selector;
    return entry_(selector, &params_);
}

void PluginCaller::Require(HYPluginSelector selector, const std::string& what) {
    const int32_t result = Send(selector);
    if (result != kPluginOK) Refused(what, result);
}

void PluginCaller::Refused(const std::string& what, int32_t result) {
    std::string message = "the plug-in refused " + what + ": " + ResultName(result);
    if (!session_.LastProblem().empty()) message += " (" + session_.LastProblem() + ")";
    throw HostError(message);
}

RenderOutcome RunRender(PluginCaller& caller, ClipSource& clip, HostSession& session,
                        FrameWriter& writer, const RenderPlan& plan, ProgressMeter& meter,
                        const std::function<bool()>& stop) {
    // Proxy frames are scaled: they have no source samples to keep.
    const ReadPlan reading{plan.firstWritten,
                           plan.endWritten,
                           plan.width,
                           plan.height,
                           [&plan](int64_t frame) { return QualityOf(frame, plan); },
                           session.SoundOn(),
                           !plan.proxy,
                           [&plan](int64_t frame) { return InEffect(frame, plan); }};
    const SharedClip shared(session); // outlives the stages' threads
    RenderStages stages(clip, reading, writer, meter);
    FrameSlot* output = &stages.FreeSlot(); // the plug-in sees an output frame from the start

    _PluginParams& params = caller.Params();
    params.startFrame = plan.start;
    params.frameCount = plan.frameCount;
    params.renderFrame = 0;
    params.proxyOnly = plan.proxy;
    params.frame = output->image.get();
    params.frameRect = MakeRect(plan.width, plan.height);
    params.clientData = nullptr;
    params.getInfo2.selectedFrames = plan.frameCount;
    caller.Require(kPlugGetInfo, "to describe the effect");

    const int32_t begun = caller.Send(kPlugInitialize);
    EndRequest end(caller); // a refused begin may still leave a record for the end to free
    if (begun != kPluginOK) caller.Refused("to begin the render", begun);

    RenderOutcome outcome;
    double waited = 0, busy = 0;
    {
        const StageTimer loop(busy);
        for (int64_t movieFrame = plan.firstWritten; movieFrame < plan.endWritten; ++movieFrame) {
            if (stop()) {
                outcome.interrupted = true;
                break;
            }
            FrameSlot& input = Waiting(waited, [&]() -> FrameSlot& { return stages.NextRead(); });
            if (!InEffect(movieFrame, plan)) {
                if (!input.failure.empty()) throw HostError(input.failure);
                Waiting(waited, [&] { stages.Write(input); });
                continue;
            }
            if (!output)
                output = &Waiting(waited, [&]() -> FrameSlot& { return stages.FreeSlot(); });
            int32_t result;
            {
                const StageTimer request(outcome.seconds.requests);
                result = RequestFrame(caller, session, input, *output, plan);
            }
            if (result == kPluginOK) NoteChanges(input, *output);
            stages.Recycle(input);
            if (result != kPluginOK)
                caller.Refused("frame " + std::to_string(movieFrame) + " (frame " +
                                   std::to_string(params.renderFrame) + " of the effect)",
                               result);
            Waiting(waited, [&] { stages.Write(*std::exchange(output, nullptr)); });
        }
    }
    outcome.seconds.host = busy - waited - outcome.seconds.requests;
    outcome.framesWritten = stages.Finish();
    outcome.seconds.read = stages.ReadSeconds();
    outcome.seconds.write = stages.WriteSeconds();
    return outcome;
}

} // namespace reelhost
