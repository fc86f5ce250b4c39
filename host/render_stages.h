// The stages that run beside a render's requests: reading the clip ahead, writing behind.
#pragma once

#include "bounded_queue.h"
#include "clip_source.h"
#include "frame_scaler.h"
#include "frame_slot.h"
#include "frame_writer.h"
#include "progress.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace reelhost {

// Adds the seconds from its construction to its destruction to `total`.
class StageTimer {
  public:
    explicit StageTimer(double& total) : total_(total), start_(Clock::now()) {}
    ~StageTimer() { total_ += std::chrono::duration<double>(Clock::now() - start_).count(); }
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

  private:
    using Clock = std::chrono::steady_clock;
    double& total_;
    Clock::time_point start_;
};

// What the reading thread reads: movie frames [first, end) at width x height, each picture
// converted at the quality qualityOf(frame), with its sound when `sound` is on. With
// `keepSources`, a decoded picture the writer takes is kept beside the frame, and converted only
// when lent(frame), for the plug-in; the writer then takes untouched pixels from it.
struct ReadPlan {
    int64_t first = 0;
    int64_t end = 0;
    int width = 0;
    int height = 0;
    std::function<uint8_t(int64_t)> qualityOf;
    bool sound = false;
    bool keepSources = false;
    std::function<bool(int64_t)> lent;
};

// A fixed set of frame slots goes round: the reading thread fills them from the clip, the
// render thread (the one that made this object) takes them in order, and the writing thread
// writes what it is handed, in order, and frees the slots again. Small bounded queues join the
// threads, so memory stays the same however long the clip.
class RenderStages {
  public:
    // Starts both threads. The clip is the reading thread's until the destructor has run.
    RenderStages(ClipSource& clip, const ReadPlan& plan, FrameWriter& writer, ProgressMeter& meter);
    // Writes what was handed over before (after a failure as after success), stops reading
    // and ends both threads.
    ~RenderStages();
    RenderStages(const RenderStages&) = delete;
    RenderStages& operator=(const RenderStages&) = delete;

    // The render thread's side. Each throws what stopped the other threads, if one did.
    // The next frame read, in order; a frame that could not be read carries its failure.
    FrameSlot& NextRead();
    // A slot with an image of the output's size, to render into.
    FrameSlot& FreeSlot();
    // Gives back a slot the render thread no longer needs.
    void Recycle(FrameSlot& slot);
    // Hands a finished frame to the writing thread.
    void Write(FrameSlot& slot);
    // Waits until everything handed over is written; answers how many frames were.
    int64_t Finish();

    // Seconds of work (not waiting) of the reading and the writing thread, once finished.
    double ReadSeconds() const { return readSeconds_; }
    double WriteSeconds() const { return writeSeconds_; }

  private:
    void ReadFrames();
    bool Fill(FrameSlot& slot, int64_t movieFrame, FrameScaler& scaler);
    void WriteFrames();
    void Fail(std::exception_ptr failure);
    [[noreturn]] void ThrowFailure();
    void Keep(FrameSlot& slot, const AVFrame& picture) const;
    void GiveImage(FrameSlot& slot);
    void JoinAll();

    ClipSource& clip_;
    ReadPlan plan_;
    FrameWriter& writer_;
    ProgressMeter& meter_;
    std::deque<FrameSlot> slots_;
    BoundedQueue<FrameSlot*> free_;
    BoundedQueue<FrameSlot*> read_;
    BoundedQueue<FrameSlot*> toWrite_;
    std::mutex failureLock_;     // guards the two below
    std::exception_ptr failure_; // the first thing that stopped a thread
    std::string readFailure_;    // why the reading thread stopped early, when a frame failed
    int64_t written_ = 0;
    double readSeconds_ = 0;
    double writeSeconds_ = 0;
    std::thread reading_;
    std::thread writing_;
};

} // namespace reelhost
