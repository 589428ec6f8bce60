#include "audio/soundlib/Resampler.h"

#include "base/Error.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <string>

namespace brindle::soundlib {

namespace {

// Bits of precision of the SoX engine's filter, about 6 dB each: rejection far below a 16-bit step,
// at a sixth of the cost of the engine's finest setting.
constexpr double SoxPrecisionBits = 24;
// Passband end as a fraction of the lower Nyquist frequency; the stopband starts at Nyquist.
constexpr double SoxPassbandEnd = 0.95;
// libswresample's own engine made long enough for the same job: 2 x 256 taps, a Kaiser window
// steep enough for 120 dB, 4096 interpolated phases, half gain at 0.97 of the lower Nyquist.
constexpr int LongFilterSize = 256;
constexpr int LongFilterPhaseShift = 12;
constexpr double LongFilterCutoff = 0.97;
constexpr double LongFilterKaiserBeta = 12;

int SetFilter(SwrContext* Swr, ResampleQuality Quality) {
    switch (Quality) {
    case ResampleQuality::High: {
        int rc = av_opt_set_int(Swr, "resampler", SWR_ENGINE_SOXR, 0);
        if (rc >= 0) rc = av_opt_set_double(Swr, "precision", SoxPrecisionBits, 0);
        if (rc >= 0) rc = av_opt_set_double(Swr, "cutoff", SoxPassbandEnd, 0);
        return rc;
    }
    case ResampleQuality::LongFilter: {
        int rc = av_opt_set_int(Swr, "filter_size", LongFilterSize, 0);
        if (rc >= 0) rc = av_opt_set_int(Swr, "phase_shift", LongFilterPhaseShift, 0);
        if (rc >= 0) rc = av_opt_set_int(Swr, "linear_interp", 1, 0);
        if (rc >= 0) rc = av_opt_set_int(Swr, "filter_type", SWR_FILTER_TYPE_KAISER, 0);
        if (rc >= 0) rc = av_opt_set_double(Swr, "kaiser_beta", LongFilterKaiserBeta, 0);
        if (rc >= 0) rc = av_opt_set_double(Swr, "cutoff", LongFilterCutoff, 0);
        return rc;
    }
    case ResampleQuality::LibraryDefault:
        break;
    }
    return 0;
}

// A ready context, or null when libswresample refuses the conversion or the filter.
SwrContext* MakeContext(int InRate, int InChannels, int OutRate, int OutChannels, ResampleQuality Quality) {
    SwrContext* swr = nullptr;
    AVChannelLayout in{}, out{};
    av_channel_layout_default(&in, InChannels);
    av_channel_layout_default(&out, OutChannels);
    int rc = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_FLT, OutRate, &in, AV_SAMPLE_FMT_FLT, InRate, 0,
                                 nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (rc >= 0 && InRate != OutRate) rc = SetFilter(swr, Quality);
    // The default rematrix lowers a centred mono source by 3 dB; a mono sample should play at its level.
    if (rc >= 0 && InChannels == 1 && OutChannels == 2) {
        const double matrix[2] = {1.0, 1.0};
        rc = swr_set_matrix(swr, matrix, 1);
    } else if (rc >= 0 && InChannels == 2 && OutChannels == 1) {
        const double matrix[2] = {0.5, 0.5};
        rc = swr_set_matrix(swr, matrix, 2);
    }
    if (rc < 0 || swr_init(swr) < 0) swr_free(&swr);
    return swr;
}

} // namespace

Resampler::Resampler(int InRate, int InChannels, int OutRate, int OutChannels, ResampleQuality Quality)
    : InChannels(InChannels), OutChannels(OutChannels) {
    if (InRate <= 0 || OutRate <= 0 || InChannels <= 0 || OutChannels <= 0)
        throw brindle::Error("Unsupported audio format conversion");
    if (InRate == OutRate && InChannels == OutChannels) return;
    Swr = MakeContext(InRate, InChannels, OutRate, OutChannels, Quality);
    // A libswresample built without the SoX engine still gets a filter that does the job.
    if (!Swr && Quality == ResampleQuality::High)
        Swr = MakeContext(InRate, InChannels, OutRate, OutChannels, ResampleQuality::LongFilter);
    if (!Swr)
        throw brindle::Error("Can't convert audio from " + std::to_string(InRate) + " Hz, " +
                             std::to_string(InChannels) + " channels to " + std::to_string(OutRate) +
                             " Hz, " + std::to_string(OutChannels) + " channels");
}

Resampler::~Resampler() {
    swr_free(&Swr);
}

int Resampler::OutFramesFor(int InFrames) {
    if (!Swr) return InFrames;
    return std::max(swr_get_out_samples(Swr, InFrames), 0);
}

void Resampler::Convert(const float* In, int Frames, std::vector<float>& Out) {
    if (Frames <= 0) return;
    if (!Swr) {
        Out.insert(Out.end(), In, In + static_cast<size_t>(Frames) * InChannels);
        return;
    }
    const int room = swr_get_out_samples(Swr, Frames);
    const size_t at = Out.size();
    Out.resize(at + static_cast<size_t>(room) * OutChannels);
    std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(Out.data() + at)};
    const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(In)};
    const int got = swr_convert(Swr, out, room, in, Frames);
    Out.resize(at + static_cast<size_t>(got > 0 ? got : 0) * OutChannels);
}

void Resampler::Finish(std::vector<float>& Out) {
    if (!Swr) return;
    const int room = swr_get_out_samples(Swr, 0);
    if (room <= 0) return;
    const size_t at = Out.size();
    Out.resize(at + static_cast<size_t>(room) * OutChannels);
    std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(Out.data() + at)};
    const int got = swr_convert(Swr, out, room, nullptr, 0);
    Out.resize(at + static_cast<size_t>(got > 0 ? got : 0) * OutChannels);
}

} // namespace brindle::soundlib
