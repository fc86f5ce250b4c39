// Writing the rendered frames: a video file, a numbered PNG sequence or one PNG.
#pragma once

#include "audio_mix.h"
#include "picture_composer.h"
#include "picture_format.h"
#include "video_codecs.h"

#include <memory>
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

struct OutputSettings {
    OutputSettings() = default;
    // A picture or video output of this size and rate; the rest as defaulted.
    OutputSettings(std::string path, int width, int height, FrameRate rate, bool sound = false,
                   SoundFormat soundFormat = {})
        : path(std::move(path)), width(width), height(height), rate(rate), sound(sound),
          soundFormat(soundFormat) {}

    std::string path;
    int width = 0; // the pictures handed in; video may leave out a last odd column or row
    int height = 0;
    FrameRate rate;
    bool sound = false; // video only: carry sound in `soundFormat`
    SoundFormat soundFormat;
    const VideoCodec* codec = &DefaultVideoCodec();
    PictureFormat source; // the input's pictures, for video
};

// Frames go out in order. Destroying a writer that was not finished removes what it wrote (the
// unfinished video file, or the images so far), so a failed render leaves no output behind.
class FrameWriter {
  public:
    virtual ~FrameWriter() = default;
    // True when untouched pixels of this decoded picture can go out as its own samples; the
    // render then keeps such pictures beside the frames it lends. Safe on any thread.
    virtual bool TakesSource(const AVFrame& picture) const = 0;
    // `picture.rendered`, when there is one, has the settings' size; a frame without one must
    // come with a source the writer takes. `sound` is the frame's sound when the output carries
    // sound (ignored otherwise). Throws HostError when the output cannot be written.
    virtual void Write(const PictureSources& picture, const AudioBlock* sound) = 0;
    // A picture in A,R,G,B alone.
    void Write(const PixelView& picture, const AudioBlock* sound) {
        Write(PictureSources{picture}, sound);
    }
    // Completes the output (a video file's index, its final name) and keeps it.
    virtual void Finish() = 0;
    // What is being written, for the user: "H.264 video (yuv420p), AAC sound".
    virtual std::string Description() const = 0;
    // The size of the pictures written.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // What the user should know about the output before it is written, if anything.
    virtual std::string Note() const { return {}; }
};

// A writer of A,R,G,B pictures alone: every frame comes to it lent to the plug-in, or converted
// as if it were.
class ArgbFrameWriter : public FrameWriter {
  public:
    bool TakesSource(const AVFrame&) const final { return false; }
    void Write(const PictureSources& picture, const AudioBlock* sound) final {
        WriteArgb(picture.rendered, sound);
    }
    virtual void WriteArgb(const PixelView& picture, const AudioBlock* sound) = 0;
};

// Opens the output and checks that it can be written; throws HostError naming the path.
// Missing folders on the way to it are created.
std::unique_ptr<FrameWriter> OpenFrameWriter(OutputKind kind, const OutputSettings& settings);

} // namespace reelhost
