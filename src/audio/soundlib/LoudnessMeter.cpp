#include "audio/soundlib/LoudnessMeter.h"

#include "base/Error.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace brindle::soundlib {

struct TLoudnessMeter::State {
    ebur128_state* Handle;
    ~State() { ebur128_destroy(&Handle); }
};

TLoudnessMeter::TLoudnessMeter(int SampleRate, int ChannelCount) : Channels(ChannelCount) {
    ebur128_state* Handle = nullptr;
    if (SampleRate > 0 && ChannelCount > 0)
        Handle = ebur128_init(unsigned(ChannelCount), static_cast<unsigned long>(SampleRate),
                              EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!Handle) throw Error("Can't measure loudness at " + std::to_string(SampleRate) + " Hz");
    Meter = std::make_unique<State>(Handle);
}

TLoudnessMeter::~TLoudnessMeter() {}

void TLoudnessMeter::Add(const float* Samples, std::size_t Frames) {
    if (Frames > 0) ebur128_add_frames_float(Meter->Handle, Samples, Frames);
}

double TLoudnessMeter::IntegratedLufs() const {
    double Lufs = 0;
    if (ebur128_loudness_global(Meter->Handle, &Lufs) != EBUR128_SUCCESS || !std::isfinite(Lufs))
        return -std::numeric_limits<double>::infinity();
    return Lufs;
}

double TLoudnessMeter::TruePeakDb() const {
    double Peak = 0;
    for (int c = 0; c < Channels; ++c) {
        double P = 0;
        if (ebur128_true_peak(Meter->Handle, unsigned(c), &P) == EBUR128_SUCCESS) Peak = std::max(Peak, P);
    }
    return Peak > 0 ? 20 * std::log10(Peak) : -std::numeric_limits<double>::infinity();
}

} // namespace brindle::soundlib
