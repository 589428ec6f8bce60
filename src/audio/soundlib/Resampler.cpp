#include "audio/soundlib/Resampler.h"

#include "base/Error.h"
#include "base/SharedLibrary.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/version.h>
#include <libswresample/swresample.h>
#include <libswresample/version_major.h>
}

#include <algorithm>
#include <optional>
#include <string>

namespace brindle::soundlib {

// libswresample and libavutil are opened on first use, not linked: linking them (and the video
// libraries they pull in) costs every start of every program about 3 ms, and a window first
// resamples behind its first paint. The functions are those of the headers built against.
struct SwrLibrary {
    decltype(&::av_channel_layout_default) LayoutDefault = nullptr;
    decltype(&::av_channel_layout_uninit) LayoutUninit = nullptr;
    decltype(&::av_opt_set_int) OptSetInt = nullptr;
    decltype(&::av_opt_set_double) OptSetDouble = nullptr;
    decltype(&::swr_alloc_set_opts2) AllocSetOpts = nullptr;
    decltype(&::swr_set_matrix) SetMatrix = nullptr;
    decltype(&::swr_init) Init = nullptr;
    decltype(&::swr_free) Free = nullptr;
    decltype(&::swr_get_out_samples) OutSamples = nullptr;
    decltype(&::swr_convert) Convert = nullptr;
};

namespace {

using brindle::ResolveFunction;

std::optional<SwrLibrary> OpenSwrLibrary() {
    void* util = brindle::OpenSharedLibrary(BRINDLE_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR));
    void* swr = brindle::OpenSharedLibrary(BRINDLE_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR));
    SwrLibrary l;
    const bool found = ResolveFunction(util, "av_channel_layout_default", l.LayoutDefault) &&
                       ResolveFunction(util, "av_channel_layout_uninit", l.LayoutUninit) &&
                       ResolveFunction(util, "av_opt_set_int", l.OptSetInt) &&
                       ResolveFunction(util, "av_opt_set_double", l.OptSetDouble) &&
                       ResolveFunction(swr, "swr_alloc_set_opts2", l.AllocSetOpts) &&
                       ResolveFunction(swr, "swr_set_matrix", l.SetMatrix) &&
                       ResolveFunction(swr, "swr_init", l.Init) && ResolveFunction(swr, "swr_free", l.Free) &&
                       ResolveFunction(swr, "swr_get_out_samples", l.OutSamples) &&
                       ResolveFunction(swr, "swr_convert", l.Convert);
    if (!found) return std::nullopt;
    return l;
}

// The libraries, opened by the first caller and kept for the process's life; null when they
// cannot be.
const SwrLibrary* LoadedSwrLibrary() {
    static const std::optional<SwrLibrary> library = OpenSwrLibrary();
    return library ? &*library : nullptr;
}

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

int SetFilter(const SwrLibrary& lib, SwrContext* Swr, ResampleQuality Quality) {
    switch (Quality) {
    case ResampleQuality::High: {
        int rc = lib.OptSetInt(Swr, "resampler", SWR_ENGINE_SOXR, 0);
        if (rc >= 0) rc = lib.OptSetDouble(Swr, "precision", SoxPrecisionBits, 0);
        if (rc >= 0) rc = lib.OptSetDouble(Swr, "cutoff", SoxPassbandEnd, 0);
        return rc;
    }
    case ResampleQuality::LongFilter: {
        int rc = lib.OptSetInt(Swr, "filter_size", LongFilterSize, 0);
        if (rc >= 0) rc = lib.OptSetInt(Swr, "phase_shift", LongFilterPhaseShift, 0);
        if (rc >= 0) rc = lib.OptSetInt(Swr, "linear_interp", 1, 0);
        if (rc >= 0) rc = lib.OptSetInt(Swr, "filter_type", SWR_FILTER_TYPE_KAISER, 0);
        if (rc >= 0) rc = lib.OptSetDouble(Swr, "kaiser_beta", LongFilterKaiserBeta, 0);
        if (rc >= 0) rc = lib.OptSetDouble(Swr, "cutoff", LongFilterCutoff, 0);
        return rc;
    }
    case ResampleQuality::LibraryDefault:
        break;
    }
    return 0;
}

// A ready context, or null when libswresample refuses the conversion or the filter.
SwrContext* MakeContext(const SwrLibrary& lib, int InRate, int InChannels, int OutRate, int OutChannels,
                        ResampleQuality Quality) {
    SwrContext* swr = nullptr;
    AVChannelLayout in{}, out{};
    lib.LayoutDefault(&in, InChannels);
    lib.LayoutDefault(&out, OutChannels);
    int rc =
        lib.AllocSetOpts(&swr, &out, AV_SAMPLE_FMT_FLT, OutRate, &in, AV_SAMPLE_FMT_FLT, InRate, 0, nullptr);
    lib.LayoutUninit(&in);
    lib.LayoutUninit(&out);
    if (rc >= 0 && InRate != OutRate) rc = SetFilter(lib, swr, Quality);
    // The default rematrix lowers a centred mono source by 3 dB; a mono sample should play at its level.
    if (rc >= 0 && InChannels == 1 && OutChannels == 2) {
        const double matrix[2] = {1.0, 1.0};
        rc = lib.SetMatrix(swr, matrix, 1);
    } else if (rc >= 0 && InChannels == 2 && OutChannels == 1) {
        const double matrix[2] = {0.5, 0.5};
        rc = lib.SetMatrix(swr, matrix, 2);
    }
    if (rc < 0 || lib.Init(swr) < 0) lib.Free(&swr);
    return swr;
}

} // namespace

Resampler::Resampler(int InRate, int InChannels, int OutRate, int OutChannels, ResampleQuality Quality)
    : InChannels(InChannels), OutChannels(OutChannels) {
    if (InRate <= 0 || OutRate <= 0 || InChannels <= 0 || OutChannels <= 0)
        throw brindle::Error("Unsupported audio format conversion");
    if (InRate == OutRate && InChannels == OutChannels) return;
    Lib = LoadedSwrLibrary();
    if (!Lib) throw brindle::Error("Can't convert audio: libswresample could not be loaded");
    Swr = MakeContext(*Lib, InRate, InChannels, OutRate, OutChannels, Quality);
    // A libswresample built without the SoX engine still gets a filter that does the job.
    if (!Swr && Quality == ResampleQuality::High)
        Swr = MakeContext(*Lib, InRate, InChannels, OutRate, OutChannels, ResampleQuality::LongFilter);
    if (!Swr)
        throw brindle::Error("Can't convert audio from " + std::to_string(InRate) + " Hz, " +
                             std::to_string(InChannels) + " channels to " + std::to_string(OutRate) +
                             " Hz, " + std::to_string(OutChannels) + " channels");
}

Resampler::~Resampler() {
    if (Swr) Lib->Free(&Swr);
}

int Resampler::OutFramesFor(int InFrames) {
    if (!Swr) return InFrames;
    return std::max(Lib->OutSamples(Swr, InFrames), 0);
}

void Resampler::Convert(const float* In, int Frames, std::vector<float>& Out) {
    if (Frames <= 0) return;
    if (!Swr) {
        Out.insert(Out.end(), In, In + static_cast<size_t>(Frames) * InChannels);
        return;
    }
    const int room = Lib->OutSamples(Swr, Frames);
    const size_t at = Out.size();
    Out.resize(at + static_cast<size_t>(room) * OutChannels);
    std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(Out.data() + at)};
    const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(In)};
    const int got = Lib->Convert(Swr, out, room, in, Frames);
    Out.resize(at + static_cast<size_t>(got > 0 ? got : 0) * OutChannels);
}

void Resampler::Finish(std::vector<float>& Out) {
    if (!Swr) return;
    const int room = Lib->OutSamples(Swr, 0);
    if (room <= 0) return;
    const size_t at = Out.size();
    Out.resize(at + static_cast<size_t>(room) * OutChannels);
    std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(Out.data() + at)};
    const int got = Lib->Convert(Swr, out, room, nullptr, 0);
    Out.resize(at + static_cast<size_t>(got > 0 ? got : 0) * OutChannels);
}

} // namespace brindle::soundlib
