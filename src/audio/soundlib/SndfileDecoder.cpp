#include "audio/soundlib/Decoder.h"

#include <sndfile.h>

namespace brindle::soundlib {
namespace {

// Encodings whose samples fit 16 bits; everything else is read as floats.
bool HoldsAtMost16Bits(int Format) {
    switch (Format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_GSM610:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32:
    case SF_FORMAT_G723_24:
    case SF_FORMAT_G723_40:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DPCM_8:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_ALAC_16:
        return true;
    default:
        return false;
    }
}

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

    int ReadFloatFrames(float* Out, int Frames) override {
        if (Frames <= 0) return 0;
        return static_cast<int>(sf_readf_float(File, Out, Frames));
    }

    bool HasDeepSamples() const override { return !HoldsAtMost16Bits(Info.format); }

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
