#include "audio/soundlib/dsp/EnvelopeCompressor.h"

#include <algorithm>
#include <cmath>

namespace brindle::dsp {

namespace {
// One-pole coefficient reaching 1 - 1/e of a step after Ms milliseconds; 0 follows at once.
float Coefficient(float Ms, int SampleRate) {
    if (!std::isfinite(Ms) || Ms <= 0.0f) return 0.0f;
    return static_cast<float>(std::exp(-1.0 / (static_cast<double>(Ms) * 0.001 * SampleRate)));
}
} // namespace

TEnvelopeCompressor::TEnvelopeCompressor(int SampleRate, int Channels) : TEffect(SampleRate, Channels) { Design(); }

void TEnvelopeCompressor::SetParameters(const TCompressorParams& Value) {
    Params = Value;
    Design();
}

void TEnvelopeCompressor::Design() {
    AttackCoef = Coefficient(Params.Attack, SampleRate);
    ReleaseCoef = Coefficient(Params.Release, SampleRate);
    Threshold = std::isfinite(Params.Threshold) ? std::max(Params.Threshold, 0.0f) : 1.0f;
}

bool TEnvelopeCompressor::Selected(int ChannelIndex) const {
    return Params.Channel == -1 || (ChannelIndex < 31 && (Params.Channel >> ChannelIndex) & 1);
}

void TEnvelopeCompressor::Process(float* Samples, int Frames) {
    unsigned Mask = 0;
    for (int c = 0; c < Channels; ++c)
        if (Selected(c)) Mask |= 1u << c;
    if (!Mask) return;
    float Env = Envelope;
    for (int i = 0; i < Frames; ++i) {
        float* Frame = Samples + static_cast<long>(i) * Channels;
        float Peak = 0;
        for (int c = 0; c < Channels; ++c)
            if (Mask & (1u << c)) Peak = std::max(Peak, std::fabs(Frame[c]));
        if (Peak != Peak) Peak = 0; // a NaN must not poison the envelope for good
        const float Coef = Peak > Env ? AttackCoef : ReleaseCoef;
        Env = FlushDenormal(Peak + Coef * (Env - Peak));
        if (Env > Threshold) {
            const float Gain = Threshold / Env;
            for (int c = 0; c < Channels; ++c)
                if (Mask & (1u << c)) Frame[c] *= Gain;
        }
    }
    Envelope = Env;
}

} // namespace brindle::dsp
