#pragma once
// One peaking-equalizer band: an RBJ cookbook biquad, bandwidth in octaves (or Q when Q > 0).
// A band at 0 dB is an exact pass-through.
#include "audio/soundlib/dsp/Effect.h"
#include "audio/soundlib/dsp/Stream.h"

#include <array>

namespace brindle::dsp {

struct TPeakEqParams {
    int Band = 0;
    int SampleRate = 44100;
    float Bandwidth = 1.0f; // octaves
    float Q = 0.0f;         // used instead of the bandwidth when above 0
    float Center = 1000.0f; // Hz
    float Gain = 0.0f;      // dB
};

class TPeakingFilter : public TEffect {
  public:
    TPeakingFilter(int SampleRate, int Channels);

    void SetParameters(const TPeakEqParams& Value);
    const TPeakEqParams& GetParameters() const { return Params; }
    void Process(float* Samples, int Frames) override;

  private:
    void Design();

    struct TState {
        double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
    };
    TPeakEqParams Params; // as last set
    TPeakEqParams Live;   // as the pulling thread runs them
    TParamBox<TPeakEqParams> Box;
    bool Bypass = true;
    double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
    std::array<TState, TStream::MaxChannels> States{};
};

} // namespace brindle::dsp
