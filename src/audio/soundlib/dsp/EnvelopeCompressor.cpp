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

TEnvelopeCompressor::TEnvelopeCompressor(int SampleRate, int Channels) : TEffect(SampleRate, Channels) {
    Design();
}

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
    const unsigned All = Channels < 32 ? (1u << Channels) - 1 : ~0u;
    const bool Stereo = Channels == 2 && Mask == All;
    for (int Done = 0; Done < Frames; Done += SliceFrames) {
        const int Now = std::min(SliceFrames, Frames - Done);
        float* Block = Samples + static_cast<long>(Done) * Channels;
        // Peaks of the linked channels; a NaN counts as silence so it cannot poison the envelope.
        if (Stereo) {
            for (int i = 0; i < Now; ++i) {
                float Peak = 0;
                const float L = std::fabs(Block[2 * i]), R = std::fabs(Block[2 * i + 1]);
                Peak = Peak < L ? L : Peak;
                Peak = Peak < R ? R : Peak;
                Gain[i] = Peak;
            }
        } else {
            for (int i = 0; i < Now; ++i) {
                const float* Frame = Block + static_cast<long>(i) * Channels;
                float Peak = 0;
                for (int c = 0; c < Channels; ++c)
                    if (Mask & (1u << c)) Peak = Peak < std::fabs(Frame[c]) ? std::fabs(Frame[c]) : Peak;
                Gain[i] = Peak;
            }
        }
        FollowEnvelope(Now);
        if (Stereo) {
            for (int i = 0; i < Now; ++i) {
                Block[2 * i] *= Gain[i];
                Block[2 * i + 1] *= Gain[i];
            }
        } else {
            for (int c = 0; c < Channels; ++c)
                if (Mask & (1u << c))
                    for (int i = 0; i < Now; ++i)
                        Block[static_cast<long>(i) * Channels + c] *= Gain[i];
        }
    }
}

void TEnvelopeCompressor::FollowEnvelope(int Frames) {
    // Rising, the envelope follows the peak at the attack rate, falling at the release rate. Of
    // the two candidate steps the wanted one is always the larger when the attack is the faster
    // (and the smaller otherwise), so a max or min replaces a compare-and-select, and the chain
    // from one envelope value to the next is one multiply and one add.
    const float A = AttackCoef, R = ReleaseCoef, OneA = 1.0f - AttackCoef, OneR = 1.0f - ReleaseCoef;
    const float T = Threshold;
    float Env = Envelope;
    auto Run = [&](auto Pick) {
        for (int i = 0; i < Frames; ++i) {
            const float Peak = Gain[i];
            Env = Pick(A * Env + OneA * Peak, R * Env + OneR * Peak);
            // A gain of exactly 1 leaves sound under the threshold bit for bit as it was.
            Gain[i] = Env > T ? T / Env : 1.0f;
        }
    };
    if (A <= R)
        Run([](float X, float Y) { return X < Y ? Y : X; });
    else
        Run([](float X, float Y) { return X < Y ? X : Y; });
    // Once per block keeps the idle envelope out of the denormal range: it falls by at most the
    // release factor per frame.
    Envelope = FlushDenormal(Env);
}

} // namespace brindle::dsp
