#include "audio/soundlib/dsp/EnvelopeCompressor.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace brindle::dsp {

namespace {
// One-pole coefficient reaching 1 - 1/e of a step after Ms milliseconds, never faster than the
// shortest time: a zero-time gain change would be a click on every peak.
float Coefficient(float Ms, int SampleRate) {
    const float Time = std::isfinite(Ms) ? std::max(Ms, TEnvelopeCompressor::MinTimeMs) : 1000.0f;
    return static_cast<float>(std::exp(-1.0 / (static_cast<double>(Time) * 0.001 * SampleRate)));
}
} // namespace

TEnvelopeCompressor::TEnvelopeCompressor(int SampleRate, int Channels) : TEffect(SampleRate, Channels) {
    HoldFrames = std::max(1, static_cast<int>(std::lround(HoldMs * 0.001 * SampleRate)));
    const auto Room = std::bit_ceil(static_cast<std::uint32_t>(HoldFrames + 1));
    HoldMask = Room - 1;
    HoldPeaks.assign(Room, 0.0f);
    HoldAt.assign(Room, 0);
    Design();
}

void TEnvelopeCompressor::SetParameters(const TCompressorParams& Value) {
    // Heard from the next block the pulling thread runs.
    Params = Value;
    Box.Post(Value);
}

void TEnvelopeCompressor::Design() {
    AttackCoef = Coefficient(Live.Attack, SampleRate);
    ReleaseCoef = Coefficient(Live.Release, SampleRate);
    Threshold = std::isfinite(Live.Threshold) ? std::max(Live.Threshold, 0.0f) : 1.0f;
}

bool TEnvelopeCompressor::Selected(int ChannelIndex) const {
    return Live.Channel == -1 || (ChannelIndex < 31 && (Live.Channel >> ChannelIndex) & 1);
}

void TEnvelopeCompressor::Process(float* Samples, int Frames) {
    if (Box.Take(Live)) Design();
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

float TEnvelopeCompressor::HeldPeak(float Peak) {
    // Peaks no higher than the new one can never be the maximum again.
    while (HoldBack != HoldFront && HoldPeaks[(HoldBack - 1) & HoldMask] <= Peak)
        --HoldBack;
    HoldPeaks[HoldBack & HoldMask] = Peak;
    HoldAt[HoldBack & HoldMask] = Now;
    ++HoldBack;
    // Frames are unique and rising, so at most the oldest entry leaves the window per frame.
    if (HoldAt[HoldFront & HoldMask] <= Now - HoldFrames) ++HoldFront;
    ++Now;
    return HoldPeaks[HoldFront & HoldMask];
}

void TEnvelopeCompressor::FollowEnvelope(int Frames) {
    const float A = AttackCoef, R = ReleaseCoef;
    const float T = Threshold;
    float Env = Envelope;
    for (int i = 0; i < Frames; ++i) {
        const float Held = HeldPeak(Gain[i]);
        Env = Held + (Held > Env ? A : R) * (Env - Held);
        // A gain of exactly 1 leaves sound under the threshold bit for bit as it was.
        Gain[i] = Env > T ? T / Env : 1.0f;
    }
    // Once per block keeps the idle envelope out of the denormal range.
    Envelope = FlushDenormal(Env);
    Shown.store(Envelope, std::memory_order_relaxed);
}

} // namespace brindle::dsp
