// Writing the rendered frames: a video file, a numbered PNG sequence or one PNG.
#pragma once

#include "audio_mix.h"
#include "pixel_view.h"

#include <memory>
#include <string>

namespace reelhost {

enum class OutputKind {
    Video,         // .mp4, .mkv, .mov: H.264 (or MPEG-4 without libx264), yuv420p, AAC sound
    ImageSequence, // a .png name with a frame-number pattern, e.g. out_%03d.png
    SingleImage,   // any other .png name: one frame
};

// The kind a path asks for, by its extension; throws UsageError for anything else.
OutputKind OutputKindOf(const std::string& path);

struct OutputSettings {
    std::string path;
    int width = 0; // even for video: yuv420p halves the colour planes
    int height = 0;
    FrameRate rate;
    bool sound = false; // video only: carry sound in `soundFormat`
    SoundFormat soundFormat;
};

// Frames go out in order. Destroying a writer that was not finished removes what it wrote (the
// unfinished video file, or the images so far), so a failed render leaves no output behind.
class FrameWriter {
  public:
    virtual ~FrameWriter() = default;
    // `picture` must have the output's size; `sound` is the frame's sound when the output
    // carries sound (ignored otherwise). Throws HostError when the output cannot be written.
    virtual void Write(const PixelView& picture, const AudioBlock* sound) = 0;
    // Completes the output (a video file's index, its final name) and keeps it.
    virtual void Finish() = 0;
    // What is being written, for the user: "H.264 video, AAC sound".
    virtual std::string Description() const = 0;
};

// Opens the output and checks that it can be written; throws HostError naming the path.
// Missing folders on the way to it are created.
std::unique_ptr<FrameWriter> OpenFrameWriter(OutputKind kind, const OutputSettings& settings);

} // namespace reelhost
