#include "audio/soundlib/dsp/PeakingFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brindle::dsp {

TPeakingFilter::TPeakingFilter(int SampleRate, int Channels) : TEffect(SampleRate, Channels) {
    Params.SampleRate = SampleRate;
    Design();
}

void TPeakingFilter::SetParameters(const TPeakEqParams& Value) {
    Params = Value;
    Design();
}

void TPeakingFilter::Design() {
    const double Rate = SampleRate;
    const bool Usable = std::isfinite(Params.Gain) && std::isfinite(Params.Center) && Params.Center > 0 &&
                        ((std::isfinite(Params.Q) && Params.Q > 0) ||
                         (std::isfinite(Params.Bandwidth) && Params.Bandwidth > 0));
    Bypass = !Usable || Params.Gain == 0.0f;
    if (Bypass) return;
    // Keep the centre inside the band the sample rate can carry.
    const double Center = std::clamp(static_cast<double>(Params.Center), 1.0, 0.49 * Rate);
    const double A = std::pow(10.0, std::clamp(static_cast<double>(Params.Gain), -60.0, 60.0) / 40.0);
    const double W0 = 2.0 * std::numbers::pi * Center / Rate;
    const double SinW = std::sin(W0), CosW = std::cos(W0);
    const double Alpha = Params.Q > 0 ? SinW / (2.0 * Params.Q)
                                      : SinW * std::sinh(std::numbers::ln2 / 2.0 * Params.Bandwidth * W0 / SinW);
    const double A0 = 1.0 + Alpha / A;
    B0 = (1.0 + Alpha * A) / A0;
    B1 = -2.0 * CosW / A0;
    B2 = (1.0 - Alpha * A) / A0;
    A1 = -2.0 * CosW / A0;
    A2 = (1.0 - Alpha / A) / A0;
}

void TPeakingFilter::Process(float* Samples, int Frames) {
    if (Bypass) return;
    if (Channels == 2) {
        // Both channels in one pass: two independent recursions the processor can overlap.
        TState L = States[0], R = States[1];
        for (int i = 0; i < Frames; ++i) {
            float* P = Samples + 2 * i;
            const double XL = P[0], XR = P[1];
            const double YL = B0 * XL + B1 * L.X1 + B2 * L.X2 - A1 * L.Y1 - A2 * L.Y2;
            const double YR = B0 * XR + B1 * R.X1 + B2 * R.X2 - A1 * R.Y1 - A2 * R.Y2;
            L = {XL, L.X1, FlushDenormal(YL), L.Y1};
            R = {XR, R.X1, FlushDenormal(YR), R.Y1};
            P[0] = static_cast<float>(YL);
            P[1] = static_cast<float>(YR);
        }
        States[0] = L;
        States[1] = R;
        return;
    }
    for (int c = 0; c < Channels; ++c) {
        TState S = States[c];
        float* P = Samples + c;
        for (int i = 0; i < Frames; ++i, P += Channels) {
            const double X = *P;
            const double Y = B0 * X + B1 * S.X1 + B2 * S.X2 - A1 * S.Y1 - A2 * S.Y2;
            S = {X, S.X1, FlushDenormal(Y), S.Y1};
            *P = static_cast<float>(Y);
        }
        States[c] = S;
    }
}

} // namespace brindle::dsp
