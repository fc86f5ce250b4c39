// The reading and writing threads of a render, and the slots they pass round.
#include "render_stages.h"
#include "frame_scaler.h"
#include "host_error.h"

namespace reelhost {
namespace {

constexpr size_t kReadAhead = 2;   // frames read before the render thread asks for them
constexpr size_t kWriteBehind = 2; // frames rendered before the writing thread takes them
// Enough that no thread waits for a slot while another could spare one: the reading thread's
// slot in hand and its queue, the render thread's source and output, the writing thread's slot
// in hand and its queue.
constexpr size_t kSlotCount = kReadAhead + 1 + 2 + kWriteBehind + 1;

} // namespace

RenderStages::RenderStages(ClipSource& clip, const ReadPlan& plan, FrameWriter& writer,
                           ProgressMeter& meter)
    : clip_(clip), plan_(plan), writer_(writer), meter_(meter), slots_(kSlotCount),
      free_(kSlotCount), read_(kReadAhead), toWrite_(kWriteBehind) {
    for (FrameSlot& slot : slots_)
        free_.Push(&slot);
    reading_ = std::thread([this] { ReadFrames(); });
    writing_ = std::thread([this] { WriteFrames(); });
}

RenderStages::~RenderStages() {
    JoinAll();
}

void RenderStages::JoinAll() {
    toWrite_.Finish();
    if (writing_.joinable()) writing_.join();
    read_.Stop();
    free_.Stop();
    if (reading_.joinable()) reading_.join();
}

void RenderStages::Fail(std::exception_ptr failure) {
    {
        const std::lock_guard lock(failureLock_);
        if (!failure_) failure_ = failure;
    }
    free_.Stop();
    read_.Stop();
    toWrite_.Stop();
}

void RenderStages::ThrowFailure() {
    const std::lock_guard lock(failureLock_);
    if (failure_) std::rethrow_exception(failure_);
    throw HostError(readFailure_.empty() ? "the render stopped" : readFailure_);
}

void RenderStages::ReadFrames() {
    try {
        FrameScaler scaler;
        for (int64_t frame = plan_.first; frame < plan_.end; ++frame) {
            const std::optional<FrameSlot*> slot = free_.Pop();
            if (!slot) return;
            bool filled;
            {
                const StageTimer timed(readSeconds_);
                filled = Fill(**slot, frame, scaler);
            }
            // Frames after one that cannot be read are not read: the render stops there.
            if (!filled) {
                const std::lock_guard lock(failureLock_);
                readFailure_ = (*slot)->failure;
            }
            if (!read_.Push(*slot) || !filled) break;
        }
        read_.Finish();
    } catch (...) {
        Fail(std::current_exception());
    }
}

bool RenderStages::Fill(FrameSlot& slot, int64_t movieFrame, FrameScaler& scaler) {
    slot.movieFrame = movieFrame;
    slot.quality = plan_.qualityOf(movieFrame);
    slot.failure.clear();
    try {
        const AVFrame& picture = clip_.Picture(movieFrame);
        slot.resized = picture.width != plan_.width || picture.height != plan_.height;
        Keep(slot, picture);
        slot.hasPicture = !slot.HasSource() || plan_.lent(movieFrame);
        if (slot.hasPicture) {
            GiveImage(slot);
            scaler.Convert(picture, ViewOf(slot.image.get()), slot.quality);
            slot.changed.Clear(plan_.width, plan_.height); // as read, it is its source
        }
        if (plan_.sound) {
            if (slot.sound.Capacity() == 0) slot.sound = FrameSoundBlock(clip_.Info());
            clip_.ReadSound(movieFrame, slot.sound);
        }
        return true;
    } catch (const HostError& error) {
        slot.failure = error.what();
        return false;
    }
}

void RenderStages::Keep(FrameSlot& slot, const AVFrame& picture) const {
    av_frame_unref(slot.source.get());
    if (plan_.keepSources && !slot.resized && writer_.TakesSource(picture) &&
        av_frame_ref(slot.source.get(), &picture) < 0)
        throw std::bad_alloc();
}

void RenderStages::GiveImage(FrameSlot& slot) {
    if (!slot.image) slot.image = MakeImage(plan_.width, plan_.height);
}

void RenderStages::WriteFrames() {
    try {
        while (const std::optional<FrameSlot*> slot = toWrite_.Pop()) {
            {
                const StageTimer timed(writeSeconds_);
                writer_.Write((*slot)->Sources(), plan_.sound ? &(*slot)->sound : nullptr);
            }
            meter_.Advance(++written_);
            free_.Push(*slot); // refused only when reading has stopped: nothing needs it then
        }
    } catch (...) {
        Fail(std::current_exception());
    }
}

FrameSlot& RenderStages::NextRead() {
    const std::optional<FrameSlot*> slot = read_.Pop();
    if (!slot) ThrowFailure();
    return **slot;
}

FrameSlot& RenderStages::FreeSlot() {
    const std::optional<FrameSlot*> slot = free_.Pop();
    if (!slot) ThrowFailure();
    GiveImage(**slot);
    return **slot;
}

void RenderStages::Recycle(FrameSlot& slot) {
    free_.Push(&slot);
}

void RenderStages::Write(FrameSlot& slot) {
    if (!toWrite_.Push(&slot)) ThrowFailure();
}

int64_t RenderStages::Finish() {
    JoinAll();
    const std::lock_guard lock(failureLock_);
    if (failure_) std::rethrow_exception(failure_);
    return written_;
}

} // namespace reelhost
