// The render loop: the plug-in's requests in the host's order, and frames passed through.
#include "render.h"
#include "gworld.h"
#include "host_error.h"

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
                        FrameWriter& writer, GWorldPtr frame, const RenderPlan& plan,
                        ProgressMeter& meter, const std::function<bool()>& stop) {
    const PixelView output = ViewOf(frame);
    _PluginParams& params = caller.Params();
    params.startFrame = plan.start;
    params.frameCount = plan.frameCount;
    params.renderFrame = 0;
    params.proxyOnly = plan.proxy;
    params.frame = frame;
    params.frameRect = output.bounds;
    params.clientData = nullptr;
    params.getInfo2.selectedFrames = plan.frameCount;
    caller.Require(kPlugGetInfo, "to describe the effect");

    const int32_t begun = caller.Send(kPlugInitialize);
    EndRequest end(caller); // a refused begin may still leave a record for the end to free
    if (begun != kPluginOK) caller.Refused("to begin the render", begun);

    FrameScaler passThrough;
    const uint8_t quality = plan.proxy ? kDVLowQuality : kDVHighQuality;
    RenderOutcome outcome;
    for (int64_t movieFrame = plan.firstWritten; movieFrame < plan.endWritten; ++movieFrame) {
        if (stop()) {
            outcome.interrupted = true;
            break;
        }
        session.StartOutputFrame(movieFrame);
        if (InEffect(movieFrame, plan)) {
            params.renderFrame = int32_t(movieFrame - plan.start);
            const int32_t result = caller.Send(kPlugDoFrame);
            if (result != kPluginOK)
                caller.Refused("frame " + std::to_string(movieFrame) + " (frame " +
                                   std::to_string(params.renderFrame) + " of the effect)",
                               result);
        } else {
            passThrough.Convert(clip.Picture(movieFrame), output, quality);
            session.MixSourceSound(movieFrame, kFullVolume);
        }
        writer.Write(output, session.SoundOn() ? &session.OutputSound() : nullptr);
        meter.Advance(++outcome.framesWritten);
    }
    return outcome;
}

} // namespace reelhost
