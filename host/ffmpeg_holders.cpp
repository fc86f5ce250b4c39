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

FramePtr MakePicture(AVPixelFormat format, int width, int height) {
    FramePtr frame = MakeFrame();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
    return frame;
}

void MakeReusable(AVFrame& picture) {
    if (av_frame_is_writable(&picture)) return;
    const int format = picture.format, width = picture.width, height = picture.height;
    av_frame_unref(&picture);
    picture.format = format;
    picture.width = width;
    picture.height = height;
    if (av_frame_get_buffer(&picture, 0) < 0) throw std::bad_alloc();
}

std::string AvErrorText(int errnum) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errnum, text, sizeof text);
    return text;
}

} // namespace reelhost
