#include "audio/soundlib/dsp/PeakingFilter.h"

#include "audio/soundlib/dsp/DenormalGuard.h"
#include "audio/soundlib/dsp/Lanes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brindle::dsp {

TPeakingFilter::TPeakingFilter(int SampleRate, int Channels) : TEffect(SampleRate, Channels) {
    Params.SampleRate = SampleRate;
    Live = Params;
    Design();
}

void TPeakingFilter::SetParameters(const TPeakEqParams& Value) {
    // Heard from the next block the pulling thread runs.
    Params = Value;
    Box.Post(Value);
}

void TPeakingFilter::Design() {
    const double Rate = SampleRate;
    const bool Usable = std::isfinite(Live.Gain) && std::isfinite(Live.Center) && Live.Center > 0 &&
                        ((std::isfinite(Live.Q) && Live.Q > 0) ||
                         (std::isfinite(Live.Bandwidth) && Live.Bandwidth > 0));
    Bypass = !Usable || Live.Gain == 0.0f;
    if (Bypass) return;
    // Keep the centre inside the band the sample rate can carry.
    const double Center = std::clamp(static_cast<double>(Live.Center), 1.0, 0.49 * Rate);
    const double A = std::pow(10.0, std::clamp(static_cast<double>(Live.Gain), -60.0, 60.0) / 40.0);
    const double W0 = 2.0 * std::numbers::pi * Center / Rate;
    const double SinW = std::sin(W0), CosW = std::cos(W0);
    const double Alpha = Live.Q > 0
                             ? SinW / (2.0 * Live.Q)
                             : SinW * std::sinh(std::numbers::ln2 / 2.0 * Live.Bandwidth * W0 / SinW);
    const double A0 = 1.0 + Alpha / A;
    B0 = (1.0 + Alpha * A) / A0;
    B1 = -2.0 * CosW / A0;
    B2 = (1.0 - Alpha * A) / A0;
    A1 = -2.0 * CosW / A0;
    A2 = (1.0 - Alpha / A) / A0;
}

namespace {

template <class T> struct TBiquadState { T X1, X2, Y1, Y2; };

// Runs the biquad over Frames frames of Lanes adjacent channels (T holds one value per lane),
// two frames per step: y[n+1] is written in terms of y[n-1] and y[n-2], so the loop-carried chain
// is one multiply and one add per two frames instead of per frame.
template <class T, class TLoad, class TStore>
void RunBiquad(TBiquadState<T>& S, const double (&C)[5], int Frames, TLoad Load, TStore Store) {
    const double B0 = C[0], B1 = C[1], B2 = C[2], A1 = C[3], A2 = C[4];
    const double P1 = A1 * A1 - A2, P2 = A1 * A2;
    T X1 = S.X1, X2 = S.X2, Y1 = S.Y1, Y2 = S.Y2;
    int i = 0;
    for (; i + 2 <= Frames; i += 2) {
        const T X0 = Load(i), XN = Load(i + 1);
        const T F0 = B0 * X0 + B1 * X1 + B2 * X2;
        const T FN = B0 * XN + B1 * X0 + B2 * X1;
        const T Y0 = (F0 - A2 * Y2) - A1 * Y1;
        const T YN = (FN - A1 * F0 + P2 * Y2) + P1 * Y1;
        Store(i, Y0);
        Store(i + 1, YN);
        X2 = X0;
        X1 = XN;
        Y2 = Y0;
        Y1 = YN;
    }
    if (i < Frames) {
        const T X0 = Load(i);
        const T Y0 = (B0 * X0 + B1 * X1 + B2 * X2 - A2 * Y2) - A1 * Y1;
        Store(i, Y0);
        X2 = X1;
        X1 = X0;
        Y2 = Y1;
        Y1 = Y0;
    }
    S = {X1, X2, Y1, Y2};
}

} // namespace

void TPeakingFilter::Process(float* Samples, int Frames) {
    if (Box.Take(Live)) Design();
    if (Bypass || Frames <= 0) return;
    TDenormalGuard Denormals;
    const double C[5] = {B0, B1, B2, A1, A2};
    int c = 0;
    // Channels in pairs, one per vector lane.
    for (; c + 2 <= Channels; c += 2) {
        TBiquadState<TDouble2> S{{States[c].X1, States[c + 1].X1},
                                 {States[c].X2, States[c + 1].X2},
                                 {States[c].Y1, States[c + 1].Y1},
                                 {States[c].Y2, States[c + 1].Y2}};
        float* P = Samples + c;
        RunBiquad(
            S, C, Frames,
            [&](int i) {
                const float* F = P + static_cast<long>(i) * Channels;
                return TDouble2{F[0], F[1]};
            },
            [&](int i, TDouble2 Y) {
                float* F = P + static_cast<long>(i) * Channels;
                F[0] = static_cast<float>(Y[0]);
                F[1] = static_cast<float>(Y[1]);
            });
        for (int k = 0; k < 2; ++k)
            States[c + k] = {S.X1[k], S.X2[k], S.Y1[k], S.Y2[k]};
    }
    if (c < Channels) {
        TBiquadState<double> S{States[c].X1, States[c].X2, States[c].Y1, States[c].Y2};
        float* P = Samples + c;
        RunBiquad(
            S, C, Frames, [&](int i) { return static_cast<double>(P[static_cast<long>(i) * Channels]); },
            [&](int i, double Y) { P[static_cast<long>(i) * Channels] = static_cast<float>(Y); });
        States[c] = {S.X1, S.X2, S.Y1, S.Y2};
    }
    // A fading tail stops at clean zeros: the state once per block, the output (which may fall
    // below the float range faster) sample by sample where the guard cannot do it.
    for (int k = 0; k < Channels; ++k) {
        TState& S = States[k];
        S = {FlushDenormal(S.X1), FlushDenormal(S.X2), FlushDenormal(S.Y1), FlushDenormal(S.Y2)};
    }
    if constexpr (!TDenormalGuard::Flushes) FlushDenormals(Samples, Frames * Channels);
}

} // namespace brindle::dsp
