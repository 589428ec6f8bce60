#pragma once
// A comb/all-pass reverb network (eight damped feedback combs into four all-passes per channel,
// each channel fed by its own input). Delay is the decay time in milliseconds (to -60 dB); Level
// is the wet gain added to the dry signal. The network is calibrated so that for white noise the
// wet signal has the input's RMS at every decay time: Level is the wet-to-dry ratio.
#include "audio/soundlib/dsp/Effect.h"
#include "audio/soundlib/dsp/Lanes.h"

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
    static constexpr int CombVectors = CombCount / 4;
    static constexpr int AllPassCount = 4;
    static constexpr int SliceFrames = 1024;

    struct TAllPass {
        std::vector<float> Buffer;
        int Pos = 0;
    };
    // The eight combs of a channel run side by side, one per vector lane: they share one ring
    // whose row t holds what each comb wrote at time t, and comb k reads row t - Length[k].
    struct TChannel {
        std::vector<float> Ring; // RingRows x CombCount
        std::array<int, CombCount> Length{};
        std::array<TFloat4, CombVectors> Feedback{};
        std::array<TFloat4, CombVectors> Norm{};  // input scale for an even loudness
        std::array<TFloat4, CombVectors> Store{}; // damping low-pass state
        std::array<TAllPass, AllPassCount> AllPasses;
        double AllPassEnergy = 1; // of the all-passes' impulse response
    };

    static double AllPassEnergy(const TChannel& Line);

    void Design();
    void Clear();
    // One channel of the block, with non-finite values silenced, into Input.
    void TakeInput(const float* Block, int Channel, int Frames);
    // Both write the channel's wet signal into Out.
    void RunCombs(TChannel& Line, int Frames, float* Out);
    void RunAllPasses(TChannel& Line, int Frames, float* Out);

    TReverbParams Params; // as last set
    TReverbParams Live;   // as the pulling thread runs them
    TParamBox<TReverbParams> Box;
    float Level = 0;
    bool Silent = true;
    int RingRows = 0; // a power of two
    int Head = 0;     // ring row written next
    std::array<float, SliceFrames> Input{}; // the channel being run
    // Wet signal of the first two channels, so a stereo block is mixed back in one pass.
    std::array<std::array<float, SliceFrames>, 2> Wet{};
    std::vector<TChannel> Lines;
};

} // namespace brindle::dsp
