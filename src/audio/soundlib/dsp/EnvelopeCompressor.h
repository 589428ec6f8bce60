#pragma once
// A feed-forward compressor: a peak detector over the selected channels, linked, and a gain that
// holds the detected level at the threshold (linear, full scale 1.0) once it rises above it.
//
// The detector holds the highest peak of the last HoldMs, so a steady tone reads as its peak
// with no ripple between cycles; the level then follows that held peak at the attack rate when it
// rises and at the release rate when it falls. Steady peaks therefore settle exactly on the
// threshold whatever the two times are, and the gain never jumps: both times are at least
// MinTimeMs.
#include "audio/soundlib/dsp/Effect.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace brindle::dsp {

struct TCompressorParams {
    float Threshold = 0.5f; // linear amplitude, full scale 1.0
    float Attack = 20.0f;   // ms
    float Release = 200.0f; // ms
    int Channel = -1;       // bit i selects channel i; -1 selects all
};

class TEnvelopeCompressor : public TEffect {
  public:
    // Long enough to span a half cycle of 25 Hz, so bass notes read as steady.
    static constexpr double HoldMs = 20.0;
    static constexpr float MinTimeMs = 0.1f;

    TEnvelopeCompressor(int SampleRate, int Channels);

    void SetParameters(const TCompressorParams& Value);
    const TCompressorParams& GetParameters() const { return Params; }
    void Process(float* Samples, int Frames) override;
    // The detected level, for meters and tests (any thread).
    float GetEnvelope() const { return Shown.load(std::memory_order_relaxed); }

  private:
    static constexpr int SliceFrames = 1024;

    void Design();
    bool Selected(int ChannelIndex) const;
    // The highest peak of the last HoldFrames frames, Peak included.
    float HeldPeak(float Peak);
    // Turns the peaks in Gain into the gains to apply, in place.
    void FollowEnvelope(int Frames);

    TCompressorParams Params; // as last set
    TCompressorParams Live;   // as the pulling thread runs them
    TParamBox<TCompressorParams> Box;
    float AttackCoef = 0;
    float ReleaseCoef = 0;
    float Threshold = 0.5f;
    float Envelope = 0;
    std::atomic<float> Shown{0};
    std::array<float, SliceFrames> Gain{};

    // Sliding maximum: a ring of (peak, frame) pairs with falling peaks, oldest first.
    int HoldFrames = 1;
    std::uint32_t HoldMask = 0;
    std::vector<float> HoldPeaks;
    std::vector<std::int64_t> HoldAt;
    std::uint32_t HoldFront = 0, HoldBack = 0;
    std::int64_t Now = 0;
};

} // namespace brindle::dsp
