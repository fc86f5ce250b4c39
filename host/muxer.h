// A container file being written: its streams, their encoders' packets interleaved, its end.
#pragma once

#include "ffmpeg_holders.h"

#include <string>

namespace reelhost {

// Errors name `path`, the file the user asked for; the bytes go where Open says.
class Muxer {
  public:
    // The container `path`'s extension names; throws HostError when there is none.
    explicit Muxer(std::string path);

    // Throws HostError when this FFmpeg cannot encode `codec` or the container cannot hold it;
    // `extension` is where it belongs, for the advice.
    void RequireTakes(AVCodecID codec, const char* extension) const;
    // Opens `context` with `codec` and adds its stream.
    AVStream& AddStream(AVCodecContext& context, const AVCodec* codec);
    // Starts writing the file at `writingPath`, once every stream is added.
    void Open(const std::string& writingPath);
    // Sends one frame (null: the end) to `encoder` and writes every packet it has ready.
    void Encode(AVCodecContext& encoder, AVStream& stream, AVFrame* frame);
    // Writes the container's end and closes the file.
    void Finish();

  private:
    std::string path_;
    OutputFormatPtr format_;
    PacketPtr packet_;
};

// A new encoder context for `codec`.
CodecContextPtr NewCodecContext(const AVCodec* codec);

} // namespace reelhost
