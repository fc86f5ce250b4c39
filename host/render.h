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
    int width = 0; // the pictures the effect renders; video may leave out a last odd column or row
    int height = 0;
};

// Where a render's time went: each stage's own work in seconds, its waits for the others left
// out. The stages run at once, on threads of their own.
struct StageSeconds {
    double read = 0;     // reading the clip: decoding, converting pictures, sound
    double requests = 0; // inside the plug-in's frame requests, its callbacks included
    double host = 0;     // the render thread between requests
    double write = 0;    // converting and encoding the output
};

struct RenderOutcome {
    int64_t framesWritten = 0;
    bool interrupted = false;
    StageSeconds seconds;
};

// Renders `plan` into `writer`. Frames the effect covers come from the plug-in; the others are
// the clip's own, at the output's size. Reading, the plug-in's requests and writing overlap:
// `clip` (the session's) is read ahead on one thread and `writer` writes on another, while the
// requests, and every call into the plug-in, stay on the calling thread; frames the plug-in
// asks for out of order come from a second reader of the clip (see HostSession::ShareClip).
// `meter` advances on the writing thread. Stops after the current frame when `stop()` answers
// true; the frames rendered by then are written. The end request follows every accepted begin,
// on every path. Throws HostError for a refused request, an unreadable frame or a failed write.
RenderOutcome RunRender(PluginCaller& caller, ClipSource& clip, HostSession& session,
                        FrameWriter& writer, const RenderPlan& plan, ProgressMeter& meter,
                        const std::function<bool()>& stop);

} // namespace reelhost
