// Allocation and error-text helpers for the FFmpeg holders.
#include "ffmpeg_holders.h"

#include <new>

namespace reelhost {

FramePtr MakeFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    return frame;
}

PacketPtr MakePacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) throw std::bad_alloc();
    return packet;
}

std::string AvErrorText(int errnum) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errnum, text, sizeof text);
    return text;
}

} // namespace reelhost
