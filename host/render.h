// One render through the plug-in: describe, begin, a frame request per frame, end.
#pragma once

#include "clip_source.h"
#include "frame_writer.h"
#include "host_session.h"
#include "progress.h"

#include "HostPluginAPI.h"

#include <functional>
#include <string>

namespace reelhost {

// Sends requests with one parameter block, kept for a whole render as a host keeps it.
class PluginCaller {
  public:
    PluginCaller(HostPluginEntry entry, HostSession& session);

    _PluginParams& Params() { return params_; }
    // Sends `selector` and answers the plug-in's result.
    int32_t Send(HYPluginSelector selector);
    // Sends `selector`; a non-zero result throws HostError naming `what` was refused, the
    // result and what the host saw go wrong meanwhile.
    void Require(HYPluginSelector selector, const std::string& what);
    [[noreturn]] void Refused(const std::string& what, int32_t result);

  private:
    HostPluginEntry entry_;
    HostSession& session_;
    _PluginParams params_{};
};

// Which frames the effect covers and which the output receives.
struct RenderPlan {
    int32_t start = 0;      // the effect's first movie frame
    int32_t frameCount = 0; // frames in the effect
    int64_t firstWritten = 0;
    int64_t endWritten = 0; // movie frames [firstWritten, endWritten) are written
    bool proxy = false;
};

struct RenderOutcome {
    int64_t framesWritten = 0;
    bool interrupted = false;
};

// Renders `plan` into `writer` through the image `frame` (the output's size). Frames the
// effect covers come from the plug-in; the others are the clip's own, at the same size.
// Stops after the current frame when `stop()` answers true. The end request follows every
// accepted begin, on every path. Throws HostError for a refused request or a failed write.
RenderOutcome RunRender(PluginCaller& caller, ClipSource& clip, HostSession& session,
                        FrameWriter& writer, GWorldPtr frame, const RenderPlan& plan,
                        ProgressMeter& meter, const std::function<bool()>& stop);

} // namespace reelhost
