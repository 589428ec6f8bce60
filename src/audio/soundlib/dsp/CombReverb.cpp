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
    Level = std::isfinite(Params.Level) ? std::clamp(Params.Level, 0.0f, 1.0f) : 0.0f;
}

void TCombReverb::Process(float* Samples, int Frames) {
    if (Level == 0.0f) {
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
    // Each delay line runs over a whole slice at a time: tight loops with the line's state in
    // registers, instead of visiting every line for every frame.
    for (int Done = 0; Done < Frames; Done += SliceFrames) {
        const int Now = std::min(SliceFrames, Frames - Done);
        float* Block = Samples + static_cast<long>(Done) * Channels;
        const float InScale = 1.0f / static_cast<float>(Channels);
        for (int i = 0; i < Now; ++i) {
            float Sum = 0;
            for (int c = 0; c < Channels; ++c) Sum += Block[i * Channels + c];
            Mono[i] = Sum * InScale;
        }
        for (int c = 0; c < Channels; ++c) {
            TChannel& Line = Lines[c];
            // All combs advance together: their damping recursions are independent, so the
            // processor overlaps them. State lives in locals, where buffer writes cannot alias it.
            float* Buf[CombCount];
            int Size[CombCount], Pos[CombCount];
            float Store[CombCount], Norm[CombCount], Feedback[CombCount];
            for (int k = 0; k < CombCount; ++k) {
                TDelayLine& Comb = Line.Combs[k];
                Buf[k] = Comb.Buffer.data();
                Size[k] = static_cast<int>(Comb.Buffer.size());
                Pos[k] = Comb.Pos;
                Store[k] = Comb.Store;
                Norm[k] = Comb.Norm;
                Feedback[k] = Comb.Feedback;
            }
            for (int i = 0; i < Now; ++i) {
                const float In = Mono[i];
                float Sum = 0;
                for (int k = 0; k < CombCount; ++k) {
                    const float Y = Buf[k][Pos[k]];
                    Store[k] = FlushDenormal(Y * (1.0f - Damping) + Store[k] * Damping);
                    Buf[k][Pos[k]] = In * Norm[k] + Store[k] * Feedback[k];
                    if (++Pos[k] == Size[k]) Pos[k] = 0;
                    Sum += Y;
                }
                Wet[i] = Sum;
            }
            for (int k = 0; k < CombCount; ++k) {
                Line.Combs[k].Pos = Pos[k];
                Line.Combs[k].Store = Store[k];
            }
            for (auto& Pass : Line.AllPasses) {
                float* Buf = Pass.Buffer.data();
                const int Size = static_cast<int>(Pass.Buffer.size());
                int Pos = Pass.Pos;
                for (int i = 0; i < Now; ++i) {
                    const float Delayed = Buf[Pos];
                    Buf[Pos] = FlushDenormal(Wet[i] + Delayed * AllPassFeedback);
                    if (++Pos == Size) Pos = 0;
                    Wet[i] = Delayed - Wet[i];
                }
                Pass.Pos = Pos;
            }
            for (int i = 0; i < Now; ++i) Block[i * Channels + c] += Level * Wet[i];
        }
    }
}

} // namespace brindle::dsp
