// The output's sound: the host's planar float blocks, queued and encoded in the encoder's frames.
#pragma once

#include "audio_mix.h"
#include "ffmpeg_holders.h"
#include "muxer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace reelhost {

class SoundEncoder {
  public:
    // Adds a stream of `codec` in `format` to `muxer`, which must outlive this. Errors name
    // `path`.
    SoundEncoder(Muxer& muxer, AVCodecID codec, SoundFormat format, const std::string& path);

    // Queues one frame's sound and encodes every whole encoder frame the queue holds.
    void Write(const AudioBlock& sound);
    // Encodes the rest (padded with silence when the encoder takes only whole frames) and
    // flushes the encoder.
    void Finish();

  private:
    void OpenConverter();
    void Queue(const AudioBlock& sound);
    void ReserveScratch(int samples);
    void EncodeQueued(bool final);
    int FrameSize() const { return context_->frame_size > 0 ? context_->frame_size : 1024; }

    Muxer& muxer_;
    SoundFormat format_;
    std::string path_;
    CodecContextPtr context_;
    AVStream* stream_ = nullptr;
    FramePtr frame_;
    AudioFifoPtr fifo_;
    SwrPtr converter_; // for encoders that do not take planar float
    std::vector<uint8_t> scratch_;
    uint8_t* scratchPlanes_[8] = {}; // the host carries at most two channels
    int scratchSamples_ = 0;
    int64_t samplesWritten_ = 0;
};

} // namespace reelhost
