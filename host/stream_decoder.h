// One decoded stream of an input file: its own demuxer, decoder and packet, with seeking.
#pragma once

#include "ffmpeg_holders.h"

#include <string>

namespace reelhost {

class StreamDecoder {
  public:
    // Opens `path` and the best stream of `type`. Throws HostError naming the path when the
    // file cannot be read, has no such stream (`required`) or no decoder for it.
    StreamDecoder(const std::string& path, AVMediaType type, bool required = true);

    bool Present() const { return index_ >= 0; }
    AVFormatContext& Format() { return *format_; }
    AVStream& Stream() { return *format_->streams[index_]; }
    AVCodecContext& Codec() { return *codec_; }
    // Another stream of the same file, or -1.
    int FindStream(AVMediaType type) const;

    // The next decoded frame into `frame`; false at the end of the stream. Damaged packets
    // are skipped, as players do; a failure to read the file or to decode throws HostError
    // (for a read, once the frames decoded before it are out).
    bool Next(AVFrame& frame);
    // Moves to the last key frame at or before `timestamp` (stream time base); false when
    // the file cannot seek there.
    bool SeekTo(int64_t timestamp);

  private:
    void Feed();

    std::string path_;
    InputFormatPtr format_;
    CodecContextPtr codec_;
    PacketPtr packet_;
    int index_ = -1;
    bool draining_ = false;
    std::string readFailure_; // why reading stopped, when it was not the end of the file
};

// Opens an input for reading its streams; throws HostError naming the path.
InputFormatPtr OpenInputFile(const std::string& path);

// Reads the next packet of any stream of `format`, opened from `path`; false at the end of the
// file. Any other failure throws HostError naming the path: a clip never just ends early.
bool ReadPacket(AVFormatContext& format, AVPacket& packet, const std::string& path);

} // namespace reelhost
