#include "audio/soundlib/Decoder.h"
#include "audio/soundlib/Pcm16.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace brindle::soundlib {
namespace {

// Fallback decoder for what libsndfile refuses (WMA, AAC, ...). Output keeps the stream's own rate
// and channel count, converted to interleaved floats (exact for 16-bit codecs), so frame counts
// match the stream's timestamps.
class FfmpegDecoder final : public Decoder {
  public:
    ~FfmpegDecoder() override {
        swr_free(&Swr);
        av_frame_free(&Frame);
        av_packet_free(&Packet);
        avcodec_free_context(&Codec);
        avformat_close_input(&Format);
    }

    bool Open(const std::string& Path) {
        if (avformat_open_input(&Format, Path.c_str(), nullptr, nullptr) < 0) return false;
        if (avformat_find_stream_info(Format, nullptr) < 0) return false;
        const AVCodec* codec = nullptr;
        StreamIndex = av_find_best_stream(Format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (StreamIndex < 0 || !codec) return false;
        Stream = Format->streams[StreamIndex];
        Codec = avcodec_alloc_context3(codec);
        if (!Codec || avcodec_parameters_to_context(Codec, Stream->codecpar) < 0) return false;
        if (avcodec_open2(Codec, codec, nullptr) < 0) return false;
        Rate = Codec->sample_rate;
        ChannelCount = Codec->ch_layout.nb_channels;
        if (Rate <= 0 || ChannelCount <= 0 || ChannelCount > 8) return false;
        Frame = av_frame_alloc();
        Packet = av_packet_alloc();
        if (!Frame || !Packet || !MakeConverter()) return false;

        // A damaged header may claim any duration; one that overflows the rescale comes back
        // negative and counts as unknown (0).
        if (Stream->duration > 0 && Stream->duration != AV_NOPTS_VALUE)
            Length = av_rescale_q(Stream->duration, Stream->time_base, AVRational{1, Rate});
        else if (Format->duration > 0)
            Length = av_rescale(Format->duration, Rate, AV_TIME_BASE);
        Length = std::max<std::int64_t>(Length, 0);
        // A stream that yields no audio at all is not a usable file.
        if (!FillPending()) return false;
        // Known once a frame is decoded: some codecs settle their sample format only then.
        const auto fmt = av_get_packed_sample_fmt(Codec->sample_fmt);
        Deep = !((fmt == AV_SAMPLE_FMT_S16 || fmt == AV_SAMPLE_FMT_U8) && Codec->bits_per_raw_sample <= 16);
        return true;
    }

    int SampleRate() const override { return Rate; }
    int Channels() const override { return ChannelCount; }
    std::int64_t LengthFrames() const override { return Length; }
    const char* Name() const override { return "FFmpeg"; }
    bool HasDeepSamples() const override { return Deep; }

    int ReadFrames(std::int16_t* Out, int Frames) override {
        return Deliver(Frames, [&](const float* From, int At, int Count) {
            if (Out) {
                std::int16_t* to = Out + static_cast<size_t>(At) * ChannelCount;
                for (size_t i = 0; i < static_cast<size_t>(Count) * ChannelCount; ++i)
                    to[i] = RoundToPcm16(From[i]);
            }
        });
    }

    int ReadFloatFrames(float* Out, int Frames) override {
        return Deliver(Frames, [&](const float* From, int At, int Count) {
            if (Out)
                std::memcpy(Out + static_cast<size_t>(At) * ChannelCount, From,
                            static_cast<size_t>(Count) * ChannelCount * sizeof(float));
        });
    }

    bool SeekFrame(std::int64_t Target) override {
        if (Target < 0) Target = 0;
        if (Target >= Cursor && Target - Cursor < std::int64_t{Rate} * 2)
            return SkipTo(Target); // short hop forward
        // Timestamps are only trusted when they resolve single frames; coarse ones (ASF, Matroska
        // count milliseconds) would land a few frames off, so those streams decode from the start.
        const bool fine =
            Stream->time_base.num > 0 && static_cast<std::int64_t>(Stream->time_base.den) >=
                                             static_cast<std::int64_t>(Stream->time_base.num) * Rate;
        if (!fine || Target == 0) {
            if (!Rewind()) return false;
            return SkipTo(Target);
        }
        const std::int64_t ts = av_rescale_q(Target, AVRational{1, Rate}, Stream->time_base);
        if (av_seek_frame(Format, StreamIndex, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
        Restart();
        while (true) {
            if (PendingFrames() == 0 && !FillPending()) break;
            if (PendingStart == AV_NOPTS_VALUE) {
                if (!Rewind()) return false;
                return SkipTo(Target);
            }
            const std::int64_t end = PendingStart + PendingFrames();
            if (PendingStart >= Target) break; // landed on or after: best we can do
            if (end > Target) {
                PendingAt += static_cast<size_t>(Target - PendingStart) * ChannelCount;
                break;
            }
            PendingAt = Pending.size();
        }
        Cursor = Target;
        return true;
    }

  private:
    // Hands out up to Frames pending frames, decoding more as needed: Copy(from, frame index in the
    // caller's buffer, frame count). Returns the frames handed out.
    template <typename CopyFn> int Deliver(int Frames, CopyFn&& Copy) {
        int done = 0;
        while (done < Frames) {
            if (PendingFrames() == 0 && !FillPending()) break;
            const int take = std::min(Frames - done, PendingFrames());
            Copy(Pending.data() + PendingAt, done, take);
            PendingAt += static_cast<size_t>(take) * ChannelCount;
            done += take;
            Cursor += take;
        }
        return done;
    }

    bool MakeConverter() {
        swr_free(&Swr);
        AVChannelLayout out{};
        av_channel_layout_default(&out, ChannelCount);
        const int rc = swr_alloc_set_opts2(&Swr, &out, AV_SAMPLE_FMT_FLT, Rate, &Codec->ch_layout,
                                           Codec->sample_fmt, Rate, 0, nullptr);
        av_channel_layout_uninit(&out);
        return rc >= 0 && swr_init(Swr) >= 0;
    }

    void Restart() {
        avcodec_flush_buffers(Codec);
        MakeConverter();
        Pending.clear();
        PendingAt = 0;
        Drained = false;
        SentEof = false;
        KnownEnd = AV_NOPTS_VALUE;
    }

    bool Rewind() {
        const std::int64_t start = Stream->start_time == AV_NOPTS_VALUE ? 0 : Stream->start_time;
        if (av_seek_frame(Format, StreamIndex, start, AVSEEK_FLAG_BACKWARD) < 0) return false;
        Restart();
        Cursor = 0;
        return true;
    }

    // Decodes and discards up to Target, counting frames from the current position.
    bool SkipTo(std::int64_t Target) {
        while (Cursor < Target) {
            const int got =
                ReadFrames(nullptr, static_cast<int>(std::min<std::int64_t>(Target - Cursor, 1 << 20)));
            if (got <= 0) break;
        }
        return true;
    }

    int PendingFrames() const { return static_cast<int>((Pending.size() - PendingAt) / ChannelCount); }

    // Decodes until at least one frame is pending. False at the end of the stream.
    bool FillPending() {
        Pending.clear();
        PendingAt = 0;
        while (!Drained) {
            const int rc = avcodec_receive_frame(Codec, Frame);
            if (rc == 0) {
                const std::int64_t pts = Frame->best_effort_timestamp;
                PendingStart = pts == AV_NOPTS_VALUE
                                   ? KnownEnd
                                   : av_rescale_q(pts, Stream->time_base, AVRational{1, Rate});
                Convert(const_cast<const std::uint8_t**>(Frame->extended_data), Frame->nb_samples);
                av_frame_unref(Frame);
                if (!Pending.empty()) {
                    KnownEnd =
                        PendingStart == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : PendingStart + PendingFrames();
                    return true;
                }
                continue;
            }
            if (rc == AVERROR_EOF) {
                Drained = true;
                break;
            }
            if (rc != AVERROR(EAGAIN)) { // a damaged frame: skip it
                continue;
            }
            if (SentEof) {
                Drained = true;
                break;
            }
            const int rd = av_read_frame(Format, Packet);
            if (rd < 0) {
                avcodec_send_packet(Codec, nullptr);
                SentEof = true;
                continue;
            }
            if (Packet->stream_index == StreamIndex) avcodec_send_packet(Codec, Packet);
            av_packet_unref(Packet);
        }
        // Whatever the converter still holds.
        Convert(nullptr, 0);
        PendingStart = KnownEnd;
        return !Pending.empty();
    }

    void Convert(const std::uint8_t** In, int InFrames) {
        const int room = swr_get_out_samples(Swr, InFrames);
        if (room <= 0) return;
        Pending.resize(static_cast<size_t>(room) * ChannelCount);
        std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(Pending.data())};
        const int got = swr_convert(Swr, out, room, In, InFrames);
        Pending.resize(got > 0 ? static_cast<size_t>(got) * ChannelCount : 0);
    }

    AVFormatContext* Format = nullptr;
    AVCodecContext* Codec = nullptr;
    AVStream* Stream = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;
    SwrContext* Swr = nullptr;
    int StreamIndex = -1;
    int Rate = 0;
    int ChannelCount = 0;
    std::int64_t Length = 0;
    std::vector<float> Pending;
    size_t PendingAt = 0;
    std::int64_t PendingStart = AV_NOPTS_VALUE;
    std::int64_t KnownEnd = AV_NOPTS_VALUE;
    std::int64_t Cursor = 0; // frames delivered since the start
    bool Drained = false;
    bool SentEof = false;
    bool Deep = true;
};

} // namespace

} // namespace brindle::soundlib

// The plugin's one entry point (see FfmpegPlugin.cpp): a decoder the caller owns, or null when
// FFmpeg cannot decode the file.
extern "C" __attribute__((visibility("default"))) brindle::soundlib::Decoder*
BrindleOpenFfmpegDecoder(const char* Path) {
    using namespace brindle::soundlib;
    av_log_set_level(AV_LOG_QUIET);
    auto decoder = std::make_unique<FfmpegDecoder>();
    if (!decoder->Open(Path)) return nullptr;
    // Open decoded the first frames to prove the stream; start again from the beginning.
    if (!decoder->SeekFrame(0)) return nullptr;
    return decoder.release();
}
