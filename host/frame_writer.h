// Writing the rendered frames: a video file, a numbered PNG sequence or one PNG.
#pragma once

#include "audio_mix.h"
#include "picture_format.h"
#include "pixel_view.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace reelhost {

enum class OutputKind {
    Video,         // .mp4, .mkv, .mov: the codec OutputSettings names, with sound
    ImageSequence, // a .png name with a frame-number pattern, e.g. out_%03d.png
    SingleImage,   // any other .png name: one frame
};

// The kind a path asks for, by its extension; throws UsageError for anything else.
OutputKind OutputKindOf(const std::string& path);

// What video goes out as. Each keeps the input's pixel format and colours where it can.
enum class VideoCodec {
    H264,     // H.264 (MPEG-4 Part 2 without libx264) with AAC sound: for watching and sharing
    Lossless, // FFV1 with FLAC sound, in .mkv: every pixel kept
    ProRes,   // ProRes 422 HQ, or 4444 for 4:4:4 and alpha, with PCM sound, in .mov: for editors
};

// The codec a name names: "h264", "ffv1" or "prores", in any case; nothing for other names.
std::optional<VideoCodec> VideoCodecNamed(const std::string& name);

struct OutputSettings {
    OutputSettings() = default;
    // A picture or video output of this size and rate; the rest as defaulted.
    OutputSettings(std::string path, int width, int height, FrameRate rate, bool sound = false,
                   SoundFormat soundFormat = {})
        : path(std::move(path)), width(width), height(height), rate(rate), sound(sound),
          soundFormat(soundFormat) {}

    std::string path;
    int width = 0; // even for video: 4:2:0 and 4:2:2 halve the colour planes
    int height = 0;
    FrameRate rate;
    bool sound = false; // video only: carry sound in `soundFormat`
    SoundFormat soundFormat;
    VideoCodec codec = VideoCodec::H264;
    PictureFormat source; // the input's pictures, for video
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
    // What is being written, for the user: "H.264 video (yuv420p), AAC sound".
    virtual std::string Description() const = 0;
};

// Opens the output and checks that it can be written; throws HostError naming the path.
// Missing folders on the way to it are created.
std::unique_ptr<FrameWriter> OpenFrameWriter(OutputKind kind, const OutputSettings& settings);

} // namespace reelhost
