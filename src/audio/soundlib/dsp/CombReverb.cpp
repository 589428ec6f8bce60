#include "audio/soundlib/dsp/CombReverb.h"

#include "audio/soundlib/dsp/DenormalGuard.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace brindle::dsp {

namespace {
// Mutually prime delay lengths at 44.1 kHz; odd channels are spread a little for width.
constexpr std::array<int, 8> CombLengths{1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr std::array<int, 4> AllPassLengths{556, 441, 341, 225};
constexpr int StereoSpread = 23;
constexpr float Damping = 0.2f;
constexpr float AllPassFeedback = 0.5f;

// Feedback values that must not turn denormal: the processor flushes them under the guard, and
// where it cannot, they are flushed here (a NaN is dropped as well).
inline float Flushed(float V) {
    if constexpr (TDenormalGuard::Flushes)
        return V;
    else
        return (V >= 1e-20f || V <= -1e-20f) ? V : 0.0f;
}
inline TFloat4 Flushed(TFloat4 V) {
    if constexpr (TDenormalGuard::Flushes)
        return V;
    else
        return FlushLanes(V);
}
} // namespace

TCombReverb::TCombReverb(int SampleRate, int Channels) : TEffect(SampleRate, Channels), Lines(Channels) {
    const double Scale = SampleRate / 44100.0;
    int Longest = 1;
    for (int c = 0; c < Channels; ++c) {
        const int Spread = (c % 2) ? StereoSpread : 0;
        for (int k = 0; k < CombCount; ++k) {
            Lines[c].Length[k] = std::max(1, static_cast<int>((CombLengths[k] + Spread) * Scale));
            Longest = std::max(Longest, Lines[c].Length[k]);
        }
        for (int i = 0; i < AllPassCount; ++i)
            Lines[c].AllPasses[i].Buffer.assign(
                std::max(1, static_cast<int>((AllPassLengths[i] + Spread) * Scale)), 0.0f);
        Lines[c].AllPassEnergy = AllPassEnergy(Lines[c]);
    }
    RingRows = static_cast<int>(std::bit_ceil(static_cast<unsigned>(Longest + 1)));
    for (auto& Line : Lines)
        Line.Ring.assign(static_cast<size_t>(RingRows) * CombCount, 0.0f);
    Design();
}

void TCombReverb::SetParameters(const TReverbParams& Value) {
    // Heard from the next block the pulling thread runs.
    Params = Value;
    Box.Post(Value);
}

double TCombReverb::AllPassEnergy(const TChannel& Line) {
    // The all-passes here pass their input through inverted, so they are not lossless: their
    // impulse response carries more energy than the impulse. It dies by AllPassFeedback per loop.
    std::array<std::vector<double>, AllPassCount> Buffers;
    std::array<std::size_t, AllPassCount> Pos{};
    std::size_t Frames = 0;
    for (int p = 0; p < AllPassCount; ++p) {
        Buffers[p].assign(Line.AllPasses[p].Buffer.size(), 0.0);
        Frames += 40 * Buffers[p].size();
    }
    double Energy = 0;
    for (std::size_t n = 0; n < Frames; ++n) {
        double X = n == 0 ? 1.0 : 0.0;
        for (int p = 0; p < AllPassCount; ++p) {
            const double Delayed = Buffers[p][Pos[p]];
            Buffers[p][Pos[p]] = X + Delayed * AllPassFeedback;
            if (++Pos[p] == Buffers[p].size()) Pos[p] = 0;
            X = Delayed - X;
        }
        Energy += X * X;
    }
    return Energy;
}

void TCombReverb::Design() {
    const double Seconds = std::clamp(Live.Delay, MinDelay, MaxDelay) * 0.001;
    const double D = Damping, Pass = 1.0 - Damping;
    for (auto& Line : Lines)
        for (int k = 0; k < CombCount; ++k) {
            const double Length = Line.Length[k];
            // A loop of Length samples loses 60 dB over Seconds.
            const double G = std::pow(10.0, -3.0 * Length / (Seconds * SampleRate));
            Line.Feedback[k / 4][k % 4] = static_cast<float>(G);
            // White noise gains 1 / (1 - G^2 |H(w)|^2) on average over the loop's phase, H being
            // the damping low-pass; averaged over frequency that has a closed form. Each comb is
            // scaled to an eighth of the input's power, and the all-passes' gain is taken out,
            // so the wet signal is as loud as the input at every decay time.
            const double A = 1.0 + D * D - G * G * Pass * Pass;
            const double CombPower = 1.0 + G * G * Pass * Pass / std::sqrt(A * A - 4.0 * D * D);
            Line.Norm[k / 4][k % 4] =
                static_cast<float>(1.0 / std::sqrt(double(CombCount) * CombPower * Line.AllPassEnergy));
        }
    Level = std::isfinite(Live.Level) ? std::clamp(Live.Level, 0.0f, 1.0f) : 0.0f;
}

void TCombReverb::Clear() {
    for (auto& Line : Lines) {
        std::fill(Line.Ring.begin(), Line.Ring.end(), 0.0f);
        Line.Store.fill(Splat4(0.0f));
        for (auto& Pass : Line.AllPasses)
            std::fill(Pass.Buffer.begin(), Pass.Buffer.end(), 0.0f);
    }
}

void TCombReverb::RunCombs(TChannel& Line, int Frames, float* Out) {
    const int Mask = RingRows - 1;
    const TFloat4 Keep = Splat4(Damping), Take = Splat4(1.0f - Damping);
    TFloat4 Store0 = Line.Store[0], Store1 = Line.Store[1];
    const TFloat4 Norm0 = Line.Norm[0], Norm1 = Line.Norm[1];
    const TFloat4 Feedback0 = Line.Feedback[0], Feedback1 = Line.Feedback[1];
    float* Ring = Line.Ring.data();
    for (int Done = 0; Done < Frames;) {
        // The longest run in which no comb's read row and not the write row wraps around the ring,
        // so every comb walks its column with a plain stride.
        const int Row = (Head + Done) & Mask;
        int Run = std::min(Frames - Done, RingRows - Row);
        const float* Read[CombCount];
        for (int k = 0; k < CombCount; ++k) {
            const int From = (Row - Line.Length[k]) & Mask;
            Run = std::min(Run, RingRows - From);
            Read[k] = Ring + static_cast<long>(From) * CombCount + k;
        }
        float* Write = Ring + static_cast<long>(Row) * CombCount;
        // One time step of all eight combs; returns their outputs, to be summed across lanes.
        auto Step = [&](int i) {
            const long At = static_cast<long>(i) * CombCount;
            const TFloat4 Y0{Read[0][At], Read[1][At], Read[2][At], Read[3][At]};
            const TFloat4 Y1{Read[4][At], Read[5][At], Read[6][At], Read[7][At]};
            Store0 = Y0 * Take + Store0 * Keep;
            Store1 = Y1 * Take + Store1 * Keep;
            const TFloat4 In = Splat4(Input[Done + i]);
            StoreLanes(Write + At, Flushed(In * Norm0 + Store0 * Feedback0));
            StoreLanes(Write + At + 4, Flushed(In * Norm1 + Store1 * Feedback1));
            return Y0 + Y1;
        };
        int i = 0;
        for (; i + 4 <= Run; i += 4) {
            const TFloat4 S0 = Step(i), S1 = Step(i + 1), S2 = Step(i + 2), S3 = Step(i + 3);
            StoreLanes(Out + Done + i, LaneSums(S0, S1, S2, S3));
        }
        for (; i < Run; ++i) {
            const TFloat4 S = Step(i);
            Out[Done + i] = (S[0] + S[2]) + (S[1] + S[3]); // as LaneSums adds them
        }
        Done += Run;
    }
    // Once per block is enough for the damping state: it only sinks towards zero when the ring
    // it reads from already holds clean zeros.
    Line.Store = {FlushLanes(Store0), FlushLanes(Store1)};
}

void TCombReverb::RunAllPasses(TChannel& Line, int Frames, float* Wet) {
    const TFloat4 Half = Splat4(AllPassFeedback);
    for (int Done = 0; Done < Frames;) {
        // The four all-passes in series over a run in which none of them wraps: every sample
        // reads and writes only its own slot, so four steps go in one vector.
        int Run = Frames - Done;
        float* Buf[AllPassCount];
        for (int p = 0; p < AllPassCount; ++p) {
            TAllPass& Pass = Line.AllPasses[p];
            Run = std::min(Run, static_cast<int>(Pass.Buffer.size()) - Pass.Pos);
            Buf[p] = Pass.Buffer.data() + Pass.Pos;
        }
        float* Out = Wet + Done;
        int i = 0;
        for (; i + 4 <= Run; i += 4) {
            TFloat4 X = LoadLanes<TFloat4>(Out + i);
            for (float* B : Buf) {
                const TFloat4 Delayed = LoadLanes<TFloat4>(B + i);
                StoreLanes(B + i, Flushed(X + Delayed * Half));
                X = Delayed - X;
            }
            StoreLanes(Out + i, X);
        }
        for (; i < Run; ++i) {
            float X = Out[i];
            for (float* B : Buf) {
                const float Delayed = B[i];
                B[i] = Flushed(X + Delayed * AllPassFeedback);
                X = Delayed - X;
            }
            Out[i] = X;
        }
        for (auto& Pass : Line.AllPasses)
            if ((Pass.Pos += Run) == static_cast<int>(Pass.Buffer.size())) Pass.Pos = 0;
        Done += Run;
    }
}

void TCombReverb::TakeInput(const float* Block, int Channel, int Frames) {
    // A NaN or infinity must not ring in the network for ever.
    for (int i = 0; i < Frames; ++i) {
        const float V = Block[static_cast<long>(i) * Channels + Channel];
        Input[i] = std::fabs(V) <= 1e30f ? V : 0.0f;
    }
}

void TCombReverb::Process(float* Samples, int Frames) {
    if (Box.Take(Live)) Design();
    if (Level == 0.0f) {
        // Turning the level up later must not replay sound from before it was turned down.
        if (!Silent) {
            Clear();
            Silent = true;
        }
        return;
    }
    Silent = false;
    TDenormalGuard Denormals;
    for (int Done = 0; Done < Frames; Done += SliceFrames) {
        const int Now = std::min(SliceFrames, Frames - Done);
        float* Block = Samples + static_cast<long>(Done) * Channels;
        if (Channels == 2) {
            for (int c = 0; c < 2; ++c) {
                TakeInput(Block, c, Now);
                RunCombs(Lines[c], Now, Wet[c].data());
                RunAllPasses(Lines[c], Now, Wet[c].data());
            }
            for (int i = 0; i < Now; ++i) {
                Block[2 * i] += Level * Wet[0][i];
                Block[2 * i + 1] += Level * Wet[1][i];
            }
        } else {
            for (int c = 0; c < Channels; ++c) {
                TakeInput(Block, c, Now);
                RunCombs(Lines[c], Now, Wet[0].data());
                RunAllPasses(Lines[c], Now, Wet[0].data());
                for (int i = 0; i < Now; ++i)
                    Block[i * Channels + c] += Level * Wet[0][i];
            }
        }
        Head = (Head + Now) & (RingRows - 1);
    }
}

} // namespace brindle::dsp
