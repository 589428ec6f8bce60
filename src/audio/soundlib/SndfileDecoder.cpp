#include "audio/soundlib/Decoder.h"

#include <sndfile.h>

namespace brindle::soundlib {
namespace {

class SndfileDecoder final : public Decoder {
  public:
    SndfileDecoder(SNDFILE* File, const SF_INFO& Info) : File(File), Info(Info) {}
    ~SndfileDecoder() override { sf_close(File); }

    int SampleRate() const override { return Info.samplerate; }
    int Channels() const override { return Info.channels; }
    // libsndfile reports a length it cannot know (a damaged Ogg, a FLAC whose header counts no
    // samples) as the largest count there is.
    std::int64_t LengthFrames() const override { return Info.frames == SF_COUNT_MAX ? 0 : Info.frames; }
    const char* Name() const override { return "libsndfile"; }

    int ReadFrames(std::int16_t* Out, int Frames) override {
        if (Frames <= 0) return 0;
        if (Out) return static_cast<int>(sf_readf_short(File, Out, Frames));
        // Discarding reads still decode, so the position moves as for a real read.
        std::int16_t scratch[1024];
        const int per = static_cast<int>(sizeof scratch / sizeof scratch[0]) / Info.channels;
        int done = 0;
        while (done < Frames) {
            const int want = Frames - done < per ? Frames - done : per;
            const int got = static_cast<int>(sf_readf_short(File, scratch, want));
            if (got <= 0) break;
            done += got;
        }
        return done;
    }

    bool SeekFrame(std::int64_t Frame) override { return sf_seek(File, Frame, SEEK_SET) >= 0; }

  private:
    SNDFILE* File;
    SF_INFO Info;
};

} // namespace

std::unique_ptr<Decoder> OpenSndfileDecoder(const std::string& Path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(Path.c_str(), SFM_READ, &info);
    if (!file) return nullptr;
    // A header without audio, or a layout we cannot interleave, goes to the next decoder.
    if (info.frames <= 0 || info.channels <= 0 || info.channels > 8 || info.samplerate <= 0 ||
        !info.seekable) {
        sf_close(file);
        return nullptr;
    }
    return std::make_unique<SndfileDecoder>(file, info);
}

} // namespace brindle::soundlib
