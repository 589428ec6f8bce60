#include "audio/soundlib/dsp/CombReverb.h"

#include <algorithm>
#include <cmath>

namespace brindle::dsp {

namespace {
// Mutually prime delay lengths at 44.1 kHz; odd channels are spread a little for width.
constexpr std::array<int, 8> CombLengths{1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr std::array<int, 4> AllPassLengths{556, 441, 341, 225};
constexpr int StereoSpread = 23;
constexpr float Damping = 0.2f;
constexpr float AllPassFeedback = 0.5f;
} // namespace

TCombReverb::TCombReverb(int SampleRate, int Channels) : TEffect(SampleRate, Channels), Lines(Channels) {
    const double Scale = SampleRate / 44100.0;
    for (int c = 0; c < Channels; ++c) {
        const int Spread = (c % 2) ? StereoSpread : 0;
        for (int i = 0; i < CombCount; ++i)
            Lines[c].Combs[i].Buffer.assign(std::max(1, static_cast<int>((CombLengths[i] + Spread) * Scale)), 0.0f);
        for (int i = 0; i < AllPassCount; ++i)
            Lines[c].AllPasses[i].Buffer.assign(std::max(1, static_cast<int>((AllPassLengths[i] + Spread) * Scale)),
                                                0.0f);
    }
    Design();
}

void TCombReverb::SetParameters(const TReverbParams& Value) {
    Params = Value;
    Design();
}

void TCombReverb::Design() {
    const double Seconds = std::clamp(Params.Delay, MinDelay, MaxDelay) * 0.001;
    for (auto& Line : Lines)
        for (auto& Comb : Line.Combs) {
            const double Length = static_cast<double>(Comb.Buffer.size());
            // A loop of Length samples loses 60 dB over Seconds.
            const double G = std::pow(10.0, -3.0 * Length / (Seconds * SampleRate));
            Comb.Feedback = static_cast<float>(G);
            Comb.Norm = static_cast<float>(std::sqrt(1.0 - G * G) / std::sqrt(double(CombCount)));
        }
    Wet = std::isfinite(Params.Level) ? std::clamp(Params.Level, 0.0f, 1.0f) : 0.0f;
}

void TCombReverb::Process(float* Samples, int Frames) {
    if (Wet == 0.0f) {
        // Turning the level up later must not replay sound from before it was turned down.
        if (!Silent) {
            for (auto& Line : Lines) {
                for (auto& Comb : Line.Combs) std::fill(Comb.Buffer.begin(), Comb.Buffer.end(), Comb.Store = 0.0f);
                for (auto& Pass : Line.AllPasses) std::fill(Pass.Buffer.begin(), Pass.Buffer.end(), 0.0f);
            }
            Silent = true;
        }
        return;
    }
    Silent = false;
    const float InScale = 1.0f / static_cast<float>(Channels);
    for (int i = 0; i < Frames; ++i) {
        float* Frame = Samples + static_cast<long>(i) * Channels;
        float Mono = 0;
        for (int c = 0; c < Channels; ++c) Mono += Frame[c];
        Mono *= InScale;
        for (int c = 0; c < Channels; ++c) {
            TChannel& Line = Lines[c];
            float Out = 0;
            for (auto& Comb : Line.Combs) {
                const float Y = Comb.Buffer[Comb.Pos];
                Comb.Store = FlushDenormal(Y * (1.0f - Damping) + Comb.Store * Damping);
                Comb.Buffer[Comb.Pos] = FlushDenormal(Mono * Comb.Norm + Comb.Store * Comb.Feedback);
                if (++Comb.Pos == static_cast<int>(Comb.Buffer.size())) Comb.Pos = 0;
                Out += Y;
            }
            for (auto& Pass : Line.AllPasses) {
                const float Delayed = Pass.Buffer[Pass.Pos];
                Pass.Buffer[Pass.Pos] = FlushDenormal(Out + Delayed * AllPassFeedback);
                if (++Pass.Pos == static_cast<int>(Pass.Buffer.size())) Pass.Pos = 0;
                Out = Delayed - Out;
            }
            Frame[c] += Wet * Out;
        }
    }
}

} // namespace brindle::dsp
