#include "audio/soundlib/SampleFileWriter.h"

#include "base/Error.h"
#include "base/StagedFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace brindle::soundlib {
namespace {

TSampleResolution ResolutionOf(int Format) {
    switch (Format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24:
        return TSampleResolution::Pcm24;
    case SF_FORMAT_PCM_32:
        return TSampleResolution::Pcm32;
    case SF_FORMAT_FLOAT:
        return TSampleResolution::Float;
    case SF_FORMAT_DOUBLE:
        return TSampleResolution::Double;
    default:
        return TSampleResolution::Pcm16;
    }
}

int SubtypeOf(TSampleFormat Format) {
    if (Format.Container == TSampleContainer::Ogg) return SF_FORMAT_VORBIS;
    switch (Format.Resolution) {
    case TSampleResolution::Pcm24:
        return SF_FORMAT_PCM_24;
    case TSampleResolution::Pcm32:
        return SF_FORMAT_PCM_32;
    case TSampleResolution::Float:
        return SF_FORMAT_FLOAT;
    case TSampleResolution::Double:
        return SF_FORMAT_DOUBLE;
    default:
        return SF_FORMAT_PCM_16;
    }
}

int MajorOf(TSampleContainer Container) {
    switch (Container) {
    case TSampleContainer::Flac:
        return SF_FORMAT_FLAC;
    case TSampleContainer::Ogg:
        return SF_FORMAT_OGG;
    default:
        return SF_FORMAT_WAV;
    }
}

// Closes the file on every path out.
struct SndfileCloser {
    SNDFILE* File = nullptr;
    ~SndfileCloser() {
        if (File) sf_close(File);
    }
};

} // namespace

TSampleFormat Writable(TSampleFormat Format) {
    if (Format.Container == TSampleContainer::Flac &&
        (Format.Resolution != TSampleResolution::Pcm16 && Format.Resolution != TSampleResolution::Pcm24))
        Format.Resolution = TSampleResolution::Pcm24;
    if (Format.Container == TSampleContainer::Ogg) Format.Resolution = TSampleResolution::Float;
    return Format;
}

const char* Extension(TSampleContainer Container) {
    switch (Container) {
    case TSampleContainer::Flac:
        return "flac";
    case TSampleContainer::Ogg:
        return "ogg";
    default:
        return "wav";
    }
}

TSampleFormat ProbeSampleFormat(const std::string& Path) {
    SF_INFO info{};
    SndfileCloser file{sf_open(Path.c_str(), SFM_READ, &info)};
    TSampleFormat format;
    if (!file.File) return format; // decoded by FFmpeg: written as 16-bit WAV
    switch (info.format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_FLAC:
        format.Container = TSampleContainer::Flac;
        break;
    case SF_FORMAT_OGG:
        // Only Vorbis is written; an Opus source in Ogg becomes WAV.
        if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_VORBIS) format.Container = TSampleContainer::Ogg;
        break;
    default:
        break;
    }
    format.Resolution = ResolutionOf(info.format);
    return Writable(format);
}

void WriteSampleFile(const std::string& Target, const float* Samples, std::int64_t Frames, int Channels, int Rate,
                     TSampleFormat Format) {
    Format = Writable(Format);
    auto fail = [&](const std::string& Reason) -> void {
        throw Error("Can't write \"" + Target + "\": " + Reason);
    };
    if (Channels <= 0 || Rate <= 0) fail("no audio");
    TStagedFile staged(Target);
    SF_INFO info{};
    info.samplerate = Rate;
    info.channels = Channels;
    info.format = MajorOf(Format.Container) | SubtypeOf(Format);
    if (!sf_format_check(&info)) fail("this format can't be written here");
    SndfileCloser file{sf_open(staged.GetTemporary().c_str(), SFM_WRITE, &info)};
    if (!file.File) fail(sf_strerror(nullptr));
    if (Format.Container == TSampleContainer::Ogg) {
        // Vorbis at a high quality: an edited sample should not lose more than it must.
        double quality = 0.9;
        sf_command(file.File, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }

    // PCM goes out as integers we round ourselves: libsndfile scales floats by 0x7FFF on the way
    // out but by 1/0x8000 on the way in, which would change every 16-bit sample of a round trip.
    const bool pcm = Format.Container != TSampleContainer::Ogg && Format.Resolution != TSampleResolution::Float &&
                     Format.Resolution != TSampleResolution::Double;
    constexpr std::int64_t Block = 16384;
    std::vector<int> ints(pcm ? std::size_t(Block * Channels) : 0);
    // The top bits of an int carry the sample; the step is one unit of the file's resolution.
    const int shift = Format.Resolution == TSampleResolution::Pcm16 ? 16 : Format.Resolution == TSampleResolution::Pcm24 ? 8 : 0;
    const double scale = std::ldexp(1.0, 31 - shift);
    const double high = scale - 1, low = -scale;
    for (std::int64_t at = 0; at < Frames; at += Block) {
        const std::int64_t n = std::min(Block, Frames - at);
        const float* from = Samples + at * Channels;
        sf_count_t written;
        if (pcm) {
            for (std::int64_t i = 0; i < n * Channels; ++i) {
                const double v = std::clamp(std::nearbyint(double(from[i]) * scale), low, high);
                ints[std::size_t(i)] = int(std::int64_t(v) * (std::int64_t(1) << shift));
            }
            written = sf_writef_int(file.File, ints.data(), n);
        } else {
            written = sf_writef_float(file.File, from, n);
        }
        if (written != n) fail(sf_strerror(file.File));
    }
    const int error = sf_error(file.File);
    if (error != SF_ERR_NO_ERROR) fail(sf_error_number(error));
    SNDFILE* closing = file.File;
    file.File = nullptr;
    // Closing writes the final header; a failure there is a failed file too.
    if (sf_close(closing) != 0) fail("the file could not be completed");
    staged.Commit();
}

} // namespace brindle::soundlib
