#pragma once
// A feed-forward compressor: a peak envelope follower (attack and release in milliseconds) over
// the selected channels, linked, and a gain that holds the envelope at the threshold (linear,
// full scale 1.0) once it rises above it.
#include "audio/soundlib/dsp/Effect.h"

#include <array>

namespace brindle::dsp {

struct TCompressorParams {
    float Threshold = 0.5f; // linear amplitude, full scale 1.0
    float Attack = 20.0f;   // ms
    float Release = 200.0f; // ms
    int Channel = -1;       // bit i selects channel i; -1 selects all
};

class TEnvelopeCompressor : public TEffect {
  public:
    TEnvelopeCompressor(int SampleRate, int Channels);

    void SetParameters(const TCompressorParams& Value);
    const TCompressorParams& GetParameters() const { return Params; }
    void Process(float* Samples, int Frames) override;
    // The current envelope, for meters and tests.
    float GetEnvelope() const { return Envelope; }

  private:
    static constexpr int SliceFrames = 1024;

    void Design();
    bool Selected(int ChannelIndex) const;
    // Turns the peaks in Gain into the envelope's gains, in place.
    void FollowEnvelope(int Frames);

    TCompressorParams Params;
    float AttackCoef = 0;
    float ReleaseCoef = 0;
    float Threshold = 0.5f;
    float Envelope = 0;
    std::array<float, SliceFrames> Gain{};
};

} // namespace brindle::dsp
