// Clips read from files or image sequences: random access to pictures, sound by frame.
#include "clip_source.h"
#include "host_error.h"
#include "pixel_view.h"
#include "stream_decoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace reelhost {
namespace {

constexpr int64_t kDecodeAheadLimit = 64; // further ahead than this, seeking is cheaper
constexpr int kSoundSeekAheadSeconds = 5;
constexpr FrameRate kFallbackRate{25, 1}; // image sequences' custom

// The video stream's length as the container tells it: its pictures, and where the last one
// ends (stream time base; AV_NOPTS_VALUE when unknown).
struct StreamLength {
    int64_t pictures = 0;
    int64_t end = AV_NOPTS_VALUE;
};

// From the container's own counts when it keeps them, else by reading every packet.
StreamLength MeasureStream(const std::string& path, AVStream& stream) {
    StreamLength length;
    if (stream.nb_frames > 0) {
        length.pictures = stream.nb_frames;
        if (stream.duration > 0 && stream.duration != AV_NOPTS_VALUE)
            length.end =
                (stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time) + stream.duration;
        return length;
    }
    InputFormatPtr format = OpenInputFile(path);
    PacketPtr packet = MakePacket();
    while (ReadPacket(*format, *packet, path)) {
        if (packet->stream_index == stream.index) {
            ++length.pictures;
            if (packet->pts != AV_NOPTS_VALUE)
                length.end = std::max(length.end, packet->pts + packet->duration);
        }
        av_packet_unref(packet.get());
    }
    return length;
}

std::string RateText(FrameRate rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", double(rate.num) / rate.den);
    return text;
}

FrameRate RateOf(AVFormatContext& format, AVStream& stream) {
    const AVRational guessed = av_guess_frame_rate(&format, &stream, nullptr);
    if (guessed.num <= 0 || guessed.den <= 0) return kFallbackRate;
    return {guessed.num, guessed.den};
}

// Samples of the sound, converted to the host's mixing format and queued in a FIFO that
// holds only what lies ahead of the latest read: reads go forward through the clip.
class SoundReader {
  public:
    SoundReader(const std::string& path, SoundFormat format, FrameRate rate,
                int64_t originMicroseconds)
        : decoder_(path, AVMEDIA_TYPE_AUDIO), format_(format), rate_(rate), frame_(MakeFrame()),
          scratch_(format.channels, 0) {
        AVCodecContext& codec = decoder_.Codec();
        if (codec.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&codec.ch_layout, codec.ch_layout.nb_channels);
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, format.channels);
        SwrContext* raw = nullptr;
        if (swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLTP, format.sampleRate,
                                &codec.ch_layout, codec.sample_fmt, codec.sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(raw) < 0) {
            swr_free(&raw);
            throw HostError("'" + path + "': cannot convert its sound");
        }
        resampler_.reset(raw);
        fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, format.channels, format.sampleRate));
        if (!fifo_) throw std::bad_alloc();
        origin_ = av_rescale_q(originMicroseconds, AV_TIME_BASE_Q, {1, format.sampleRate});
    }

    void Read(int64_t index, AudioBlock& block) {
        const SampleSpan span = ShareOfFrame(index, format_.sampleRate, rate_);
        block.Silence(span.count);
        const int64_t end = span.first + span.count;
        const bool behind = span.first < fifoStart_ && drained_;
        const bool farAhead = span.first > FifoEnd() + kSoundSeekAheadSeconds * format_.sampleRate;
        if (synced_ && (behind || farAhead)) Seek(span.first);
        while ((!synced_ || FifoEnd() < end) && !finished_)
            DecodeMore();
        if (!synced_) return;
        Drop(span.first - fifoStart_);
        const int lead = int(std::clamp<int64_t>(fifoStart_ - span.first, 0, span.count));
        const int available = std::min(av_audio_fifo_size(fifo_.get()), block.Length() - lead);
        if (available <= 0) return;
        void* planes[2] = {};
        for (int c = 0; c < block.Channels(); ++c)
            planes[c] = block.Plane(c) + lead;
        av_audio_fifo_peek(fifo_.get(), planes, available);
    }

  private:
    int64_t FifoEnd() const { return fifoStart_ + av_audio_fifo_size(fifo_.get()); }

    void Drop(int64_t samples) {
        if (samples <= 0) return;
        const int n = int(std::min<int64_t>(samples, av_audio_fifo_size(fifo_.get())));
        av_audio_fifo_drain(fifo_.get(), n);
        fifoStart_ += n;
        drained_ = true;
    }

    void Seek(int64_t sample) {
        AVStream& stream = decoder_.Stream();
        const int64_t target =
            av_rescale_q(sample + origin_, {1, format_.sampleRate}, stream.time_base);
        decoder_.SeekTo(target);
        swr_init(resampler_.get()); // forgets the samples of the old position
        av_audio_fifo_reset(fifo_.get());
        synced_ = finished_ = drained_ = false;
    }

    // Decodes one frame of sound into the FIFO; the first after opening or seeking places
    // the FIFO on the clip's time line.
    void DecodeMore() {
        const bool more = decoder_.Next(*frame_);
        if (more && !synced_) {
            const int64_t pts = frame_->best_effort_timestamp;
            fifoStart_ = pts == AV_NOPTS_VALUE ? 0
                                               : av_rescale_q(pts, decoder_.Stream().time_base,
                                                              {1, format_.sampleRate}) -
                                                     origin_;
            synced_ = true;
        }
        const int inputSamples = more ? frame_->nb_samples : 0;
        const int room = swr_get_out_samples(resampler_.get(), inputSamples);
        if (room > scratch_.Capacity()) scratch_ = AudioBlock(format_.channels, room);
        const int made = swr_convert(
            resampler_.get(), scratch_.Planes(), room,
            more ? const_cast<const uint8_t**>(frame_->extended_data) : nullptr, inputSamples);
        if (made > 0)
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(scratch_.Planes()), made);
        finished_ = !more;
    }

    StreamDecoder decoder_;
    SoundFormat format_;
    FrameRate rate_;
    FramePtr frame_;
    SwrPtr resampler_;
    AudioFifoPtr fifo_;
    AudioBlock scratch_;
    int64_t origin_ = 0;    // the video's start, in samples
    int64_t fifoStart_ = 0; // clip sample number of the FIFO's first sample
    bool synced_ = false;
    bool finished_ = false;
    bool drained_ = false; // samples before fifoStart_ were read, so going back needs a seek
};

// Frame n of a clip is the picture showing at time n / rate. A constant-rate clip has one
// picture per frame; a clip whose pictures last different times shows each picture for as many
// frames as it lasts, so that a render of it lasts as long as the clip.
class FileClip final : public ClipSource {
  public:
    explicit FileClip(const std::string& path)
        : path_(path), video_(path, AVMEDIA_TYPE_VIDEO), picture_(MakeFrame()),
          ahead_(MakeFrame()) {
        AVStream& stream = video_.Stream();
        info_.name = "'" + path + "'";
        info_.width = video_.Codec().width;
        info_.height = video_.Codec().height;
        if (info_.width <= 0 || info_.height <= 0)
            throw HostError(info_.name + " has pictures of no size");
        if (info_.width > kLargestImageSide || info_.height > kLargestImageSide)
            throw HostError(info_.name + " is " + std::to_string(info_.width) + " x " +
                            std::to_string(info_.height) + "; pictures wider or taller than " +
                            std::to_string(kLargestImageSide) + " pixels are not supported");
        info_.rate = RateOf(video_.Format(), stream);
        info_.format = FormatOf(video_.Codec());
        origin_ = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
        info_.frameCount = CountFrames(MeasureStream(path, stream));
        if (video_.FindStream(AVMEDIA_TYPE_AUDIO) >= 0) {
            const AVCodecParameters& sound =
                *video_.Format().streams[video_.FindStream(AVMEDIA_TYPE_AUDIO)]->codecpar;
            info_.sound = MixFormatFor(sound.sample_rate, sound.ch_layout.nb_channels);
            OpenSound(path);
        }
    }

    // A reader of an opened clip: its description is taken, not measured again.
    FileClip(const std::string& path, const ClipInfo& info, int64_t origin)
        : path_(path), video_(path, AVMEDIA_TYPE_VIDEO), picture_(MakeFrame()), ahead_(MakeFrame()),
          info_(info), origin_(origin) {
        if (info_.hasSound) sound_.emplace(path, info_.sound, info_.rate, OriginMicroseconds());
    }

    const ClipInfo& Info() const override { return info_; }

    const AVFrame& Picture(int64_t index) override {
        if (index < 0 || index >= info_.frameCount)
            throw HostError("frame " + std::to_string(index) + " is outside " + info_.name +
                            " (frames 0 to " + std::to_string(info_.frameCount - 1) + ")");
        if (lost_ || index < shown_ || FarAhead(index)) StartNear(index);
        ShowAt(index);
        return *picture_;
    }

    void ReadSound(int64_t index, AudioBlock& block) override {
        if (sound_)
            sound_->Read(index, block);
        else
            block.Silence(ShareOfFrame(index, info_.sound.sampleRate, info_.rate).count);
    }

    std::unique_ptr<ClipSource> OpenAnother() const override {
        if (!reopenable_)
            throw HostError(info_.name + " can be read only in order (it is not a file): its "
                                         "frames cannot be read a second time");
        return std::make_unique<FileClip>(path_, info_, origin_);
    }

  private:
    // A pipe's bytes go to one reader only: a second would take some from the first. Image
    // sequences are files however they are named. Worked out on opening, so that a render's
    // reading thread never shares the format with the thread that asks.
    static bool Reopenable(const AVFormatContext& format) {
        if (format.iformat->flags & AVFMT_NOFILE) return true;
        return format.pb && (format.pb->seekable & AVIO_SEEKABLE_NORMAL);
    }

    static PictureFormat FormatOf(const AVCodecContext& codec) {
        return {codec.pix_fmt, codec.colorspace, codec.color_range, codec.color_primaries,
                codec.color_trc};
    }

    int64_t OriginMicroseconds() {
        return av_rescale_q(origin_, video_.Stream().time_base, AV_TIME_BASE_Q);
    }

    // A clip whose sound cannot be decoded is still a clip: it plays silent, with a warning.
    void OpenSound(const std::string& path) {
        try {
            sound_.emplace(path, info_.sound, info_.rate, OriginMicroseconds());
            info_.hasSound = true;
        } catch (const HostError& error) {
            info_.soundProblem = error.what();
        }
    }

    // Frames at the clip's rate from where its last picture ends; a constant-rate clip keeps
    // its own count, which a rounded end time may miss by one.
    int64_t CountFrames(const StreamLength& length) {
        const int64_t pictures = length.pictures;
        if (pictures <= 0) throw HostError(info_.name + " holds no video frames");
        if (length.end == AV_NOPTS_VALUE) return pictures;
        const int64_t frames = std::max<int64_t>(IndexOf(length.end), 1);
        if (std::abs(frames - pictures) <= 1) return pictures;
        if (frames > INT32_MAX)
            throw HostError(info_.name + " lasts too long: " + std::to_string(frames) +
                            " frames at " + RateText(info_.rate) + " fps");
        info_.rateNote = info_.name + " has " + std::to_string(pictures) +
                         " pictures of varying length over " +
                         FormatSeconds(double(frames) * info_.rate.den / info_.rate.num) +
                         "; it is rendered at a constant " + RateText(info_.rate) + " fps, as " +
                         std::to_string(frames) + " frames";
        return frames;
    }

    static std::string FormatSeconds(double seconds) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", seconds);
        return text;
    }

    // The frame whose time a timestamp (stream time base) is nearest to.
    int64_t IndexOf(int64_t timestamp) {
        return av_rescale_q_rnd(timestamp - origin_, video_.Stream().time_base,
                                {info_.rate.den, info_.rate.num},
                                AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    }

    // Frames a picture lasts: its duration at the clip's rate, at least one.
    int64_t FramesOf(const AVFrame& picture) {
        return std::max<int64_t>(
            1, av_rescale_q_rnd(picture.pkt_duration, video_.Stream().time_base,
                                {info_.rate.den, info_.rate.num}, AV_ROUND_NEAR_INF));
    }

    // Decodes the next picture into `frame`; answers its frame, or kUnknown at the end. Until a
    // picture arrives, a failure (a read error) leaves the next request to seek afresh.
    int64_t DecodeNext(AVFrame& frame, int64_t previous) {
        lost_ = true; // stays so when Next throws
        const bool decoded = video_.Next(frame);
        lost_ = false;
        if (!decoded) return kUnknown;
        const int64_t timestamp = frame.best_effort_timestamp;
        return timestamp == AV_NOPTS_VALUE ? previous + 1 : IndexOf(timestamp);
    }

    // Further ahead than kDecodeAheadLimit frames past what is decoded, seeking is cheaper.
    bool FarAhead(int64_t index) const {
        return !atEnd_ && index > std::max(shown_, aheadAt_) + kDecodeAheadLimit;
    }

    // Decodes from the last key frame before `index`. A key frame after the target (a damaged
    // index) sends us back to the start, whose first picture stands for any frames before it.
    void StartNear(int64_t index) {
        if (SeekTo(index) && DecodeFirst(index) <= index) return;
        SeekTo(0);
        DecodeFirst(index);
    }

    bool SeekTo(int64_t index) {
        shown_ = aheadAt_ = kUnknown;
        atEnd_ = false;
        lost_ = true;
        return video_.SeekTo(origin_ + av_rescale_q(index, {info_.rate.den, info_.rate.num},
                                                    video_.Stream().time_base));
    }

    int64_t DecodeFirst(int64_t index) {
        shown_ = DecodeNext(*picture_, -1);
        if (shown_ == kUnknown) throw EndsBefore(index);
        return shown_;
    }

    // Decodes forward until picture_ is the one showing at `index`.
    void ShowAt(int64_t index) {
        while (shown_ < index) {
            if (aheadAt_ == kUnknown && !atEnd_) {
                aheadAt_ = DecodeNext(*ahead_, shown_);
                atEnd_ = aheadAt_ == kUnknown;
            }
            if (atEnd_) {
                if (index >= shown_ + FramesOf(*picture_)) throw EndsBefore(index);
                return;
            }
            if (aheadAt_ > index) return; // picture_ lasts until the next one starts
            std::swap(picture_, ahead_);
            shown_ = aheadAt_;
            aheadAt_ = kUnknown;
        }
    }

    HostError EndsBefore(int64_t index) {
        lost_ = true;
        return HostError("frame " + std::to_string(index) + " of " + info_.name +
                         " cannot be decoded: the clip ends before it");
    }

    static constexpr int64_t kUnknown = -1;

    std::string path_;
    StreamDecoder video_;
    FramePtr picture_; // the picture showing at frame shown_
    FramePtr ahead_;   // the next picture, starting at frame aheadAt_, once decoded
    ClipInfo info_;
    int64_t origin_ = 0;
    int64_t shown_ = kUnknown;
    int64_t aheadAt_ = kUnknown;
    bool atEnd_ = false; // no picture follows picture_
    bool lost_ = true;   // picture_ and the decoder disagree: the next read must seek
    bool reopenable_ = Reopenable(video_.Format());
    std::optional<SoundReader> sound_;
};

} // namespace

std::unique_ptr<ClipSource> OpenClipFile(const std::string& path) {
    return std::make_unique<FileClip>(path);
}

} // namespace reelhost
