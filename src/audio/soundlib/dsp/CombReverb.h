#pragma once
// A comb/all-pass reverb network (eight damped feedback combs into four all-passes per channel).
// Delay is the decay time in milliseconds (to -60 dB); Level is the wet gain added to the dry
// signal. The comb inputs are normalised so the wet loudness hardly changes with the decay time.
#include "audio/soundlib/dsp/Effect.h"

#include <array>
#include <vector>

namespace brindle::dsp {

struct TReverbParams {
    float Level = 0.1f; // wet gain, 0..1
    int Delay = 1200;   // decay time, ms
};

class TCombReverb : public TEffect {
public:
    static constexpr int MinDelay = 50;
    static constexpr int MaxDelay = 60000;

    TCombReverb(int SampleRate, int Channels);

    void SetParameters(const TReverbParams& Value);
    const TReverbParams& GetParameters() const { return Params; }
    void Process(float* Samples, int Frames) override;

private:
    static constexpr int CombCount = 8;
    static constexpr int AllPassCount = 4;

    struct TDelayLine {
        std::vector<float> Buffer;
        int Pos = 0;
        float Feedback = 0; // combs only
        float Norm = 0;     // combs only: input scale for an even loudness
        float Store = 0;    // combs only: damping low-pass state
    };
    struct TChannel {
        std::array<TDelayLine, CombCount> Combs;
        std::array<TDelayLine, AllPassCount> AllPasses;
    };

    void Design();

    TReverbParams Params;
    static constexpr int SliceFrames = 256;

    float Level = 0;
    bool Silent = true;
    std::array<float, SliceFrames> Mono{};
    std::array<float, SliceFrames> Wet{};
    std::vector<TChannel> Lines;
};

} // namespace brindle::dsp
