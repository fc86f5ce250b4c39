// The video codecs reelhost writes, one row each: a new codec is a new row.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <string>

namespace reelhost {

struct VideoCodec {
    const char* name;        // what --codec takes, in any case
    const char* summary;     // what the usage text says of it
    const char* encoders[2]; // FFmpeg's encoders for it; the first this FFmpeg has wins
    const char* label;       // what the user is told it wrote
    AVCodecID sound;         // the sound that goes with it
    const char* soundLabel;
    const char* extension; // its container, for the advice when another refuses it
    bool evenSides;        // its halved colour planes need an even number of pixels
    // Where the encoder cannot keep the source's pixel format: this one when the encoder offers
    // it, else the nearest it offers.
    AVPixelFormat fallback;
    // Its options and profile, once the picture's format and size are set.
    void (*configure)(AVCodecContext& context);
};

const VideoCodec& DefaultVideoCodec();
// The codec `name` names, in any case; null for none.
const VideoCodec* VideoCodecNamed(const std::string& name);
// "h264, ffv1 or prores"
std::string VideoCodecNames();
// One line per codec, each indented by `indent` spaces: its name and summary.
std::string VideoCodecLines(int indent);
// The first of the codec's encoders this FFmpeg has; null when it has none.
const AVCodec* EncoderOf(const VideoCodec& codec);

} // namespace reelhost
