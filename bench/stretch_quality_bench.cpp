// The two stretchers that prepare stretched and transposed notes, side by side on sustained tones,
// glides and drums: length, pitch error, spectral error against an ideal rendering, pre-echo ahead
// of hits, and preparation time per second of source audio. Figures are counters; the timing is
// the benchmark's own (one variant rendered per iteration).
#include "audio/mixer/SampleCache.h"
#include "audio/mixer/TempoRender.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

using brindle::SampleData;
using brindle::soundlib::StretchQuality;

namespace {

constexpr int Rate = 44100;
constexpr double Seconds = 2.0;
constexpr double Pi = std::numbers::pi;

struct Setting {
    float Speed, Pitch;
};
constexpr Setting Settings[] = {{0.5f, 0.0f}, {0.8f, 0.0f},  {1.25f, 0.0f}, {2.0f, 0.0f},
                                {1.0f, 7.0f}, {1.0f, -5.0f}, {0.8f, 4.0f}};

enum Signal { Sine, Chirp, Drums, DrumsOnTone };

// Instantaneous frequency of the glide at source second T: 100 Hz to 3.2 kHz exponentially.
double ChirpHz(double T) {
    return 100.0 * std::pow(32.0, T / Seconds);
}

// Source signal, and the ideal output of the setting (drums: the hit positions instead).
SampleData Source(Signal Kind, std::vector<std::int64_t>& Hits) {
    SampleData d;
    d.SampleRate = Rate;
    d.Channels = 1;
    const auto frames = static_cast<std::int64_t>(Seconds * Rate);
    d.Pcm.assign(static_cast<size_t>(frames), 0);
    double phase = 0.0;
    // Drums on a tone: a held 440 Hz tone at -12 dB under the hits, where cuts at the hits could be
    // heard as clicks.
    const double level = Kind == DrumsOnTone ? 4000.0 : 16000.0;
    for (std::int64_t i = 0; i < frames && Kind != Drums; ++i) {
        const double hz = Kind == Chirp ? ChirpHz(double(i) / Rate) : 440.0;
        phase += 2.0 * Pi * hz / Rate;
        d.Pcm[size_t(i)] = static_cast<std::int16_t>(std::lround(level * std::sin(phase)));
    }
    if (Kind == Drums || Kind == DrumsOnTone)
        for (std::int64_t at = Rate / 10; at + 4410 < frames; at += Rate * 331 / 1000) {
            Hits.push_back(at);
            phase = 0.0;
            for (int i = 0; i < 4410; ++i) {
                phase += 2.0 * Pi * (60.0 + 1000.0 * std::exp(-i / 100.0)) / Rate;
                d.Pcm[size_t(at + i)] = static_cast<std::int16_t>(std::clamp<long>(
                    d.Pcm[size_t(at + i)] + std::lround(26000.0 * std::exp(-i / 1500.0) * std::sin(phase)), -32768,
                    32767));
            }
        }
    return d;
}

// Lag moves the ideal later by that many frames.
std::vector<double> Ideal(Signal Kind, const Setting& S, std::int64_t Frames, std::int64_t Lag) {
    std::vector<double> out(static_cast<size_t>(Frames));
    const double shift = std::exp2(S.Pitch / 12.0);
    double phase = 0.0;
    for (std::int64_t i = 0; i < Frames; ++i) {
        const double sourceT = std::max(double(i - Lag), 0.0) / Rate * S.Speed;
        phase += 2.0 * Pi * (Kind == Sine ? 440.0 : ChirpHz(sourceT)) * shift / Rate;
        out[size_t(i)] = 16000.0 * std::sin(phase);
    }
    return out;
}

void Fft(std::vector<std::complex<double>>& A) {
    const size_t n = A.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(A[i], A[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const auto w = std::polar(1.0, -2.0 * Pi / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wn(1.0);
            for (size_t k = 0; k < len / 2; ++k, wn *= w) {
                const auto u = A[i + k], v = A[i + k + len / 2] * wn;
                A[i + k] = u + v;
                A[i + k + len / 2] = u - v;
            }
        }
    }
}

// Magnitude spectra (2048-point Hann, hop 1024) of X and Ideal compared frame by frame: the error's
// energy against the ideal's, in dB, skipping 100 ms at either end.
double SpectralErrorDb(const std::vector<double>& X, const std::vector<double>& Ref) {
    constexpr size_t N = 2048;
    double err = 0.0, ref = 0.0;
    for (size_t at = Rate / 10; at + N + Rate / 10 < std::min(X.size(), Ref.size()); at += N / 2) {
        std::vector<std::complex<double>> a(N), b(N);
        for (size_t i = 0; i < N; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2.0 * Pi * double(i) / N);
            a[i] = X[at + i] * w;
            b[i] = Ref[at + i] * w;
        }
        Fft(a);
        Fft(b);
        for (size_t k = 0; k < N / 2; ++k) {
            const double d = std::abs(a[k]) - std::abs(b[k]);
            err += d * d;
            ref += std::norm(b[k]);
        }
    }
    return 10.0 * std::log10(std::max(err, 1e-30) / ref);
}

// Frequency from rising zero crossings over the middle half.
double ZeroCrossingHz(const std::vector<double>& X) {
    const size_t from = X.size() / 4, to = 3 * X.size() / 4;
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (X[i - 1] < 0.0 && X[i] >= 0.0) {
            const double at = double(i - 1) + X[i - 1] / (X[i - 1] - X[i]);
            if (first < 0.0)
                first = at;
            else
                ++crossings;
            last = at;
        }
    return crossings > 0 ? crossings * Rate / (last - first) : 0.0;
}

void Measure(benchmark::State& State, Signal Kind) {
    const auto quality = State.range(0) ? StretchQuality::Best : StretchQuality::Standard;
    const Setting& s = Settings[State.range(1)];
    std::vector<std::int64_t> hits;
    const SampleData source = Source(Kind, hits);
    std::vector<std::int16_t> pcm;
    double spent = 0.0;
    for (auto _ : State) {
        const auto start = std::chrono::steady_clock::now();
        pcm = brindle::soundlib::RenderTempoVariant(source, s.Speed, s.Pitch, quality);
        benchmark::DoNotOptimize(pcm.data());
        spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    State.SetLabel(std::string(quality == StretchQuality::Best ? "Best" : "Standard") + " speed " +
                   std::to_string(s.Speed).substr(0, 4) + " pitch " + std::to_string(int(s.Pitch)));
    State.counters["ms_per_audio_s"] = 1000.0 * spent / double(State.iterations()) / Seconds;
    std::vector<double> out(pcm.begin(), pcm.end());
    const double idealFrames = Seconds * Rate / s.Speed;
    if (Kind == Sine || Kind == Chirp) {
        // Length: where the sound last exceeds a tenth of its level.
        std::int64_t last = std::int64_t(out.size()) - 1;
        while (last > 0 && std::abs(out[size_t(last)]) < 1600.0)
            --last;
        State.counters["length_err_ms"] = (double(last + 1) - idealFrames) * 1000.0 / Rate;
        // Against the ideal at the best of lags up to 15 ms: a constant offset is timing, not sound.
        double best = 1e9;
        for (std::int64_t lag = -Rate * 15 / 1000; lag <= Rate * 15 / 1000; lag += Rate / 2000)
            best = std::min(best, SpectralErrorDb(out, Ideal(Kind, s, std::int64_t(out.size()), lag)));
        State.counters["spectral_err_dB"] = best;
    }
    if (Kind == Sine)
        State.counters["pitch_err_cents"] =
            1200.0 * std::log2(ZeroCrossingHz(out) / (440.0 * std::exp2(s.Pitch / 12.0)));
    if (Kind == DrumsOnTone) {
        // Clicks and smear just ahead of each hit, where the source holds only the tone: the energy
        // of the second difference (a high-pass that leaves the tone 48 dB down) from 6 ms to 1 ms
        // before the hit's place, against the tone's.
        double worst = -200.0;
        for (const auto hit : hits) {
            const auto at = std::llround(double(hit) / s.Speed);
            double hf = 0.0;
            for (auto i = at - Rate * 6 / 1000; i < at - Rate / 1000; ++i) {
                const double d2 = out[size_t(i)] - 2.0 * out[size_t(i - 1)] + out[size_t(i - 2)];
                hf += d2 * d2;
            }
            hf /= double(Rate / 200);
            worst = std::max(worst, 10.0 * std::log10(std::max(hf, 1e-9) / (4000.0 * 4000.0 / 2.0)));
        }
        State.counters["pre_hit_hf_dB"] = worst;
    }
    if (Kind == Drums) {
        // How far each hit's attack (where it reaches a third of its peak) is from its place, and
        // pre-echo: the loudest sound in the 30 ms up to 2 ms before the attack against the peak.
        double preEcho = -200.0, worstMs = 0.0;
        for (const auto hit : hits) {
            const auto at = std::llround(double(hit) / s.Speed);
            const auto end = std::min<std::int64_t>(at + Rate / 50, std::int64_t(out.size()));
            double before = 0.0, peak = 0.0;
            for (auto i = std::max<std::int64_t>(at - Rate / 100, 0); i < end; ++i)
                peak = std::max(peak, std::abs(out[size_t(i)]));
            auto attack = std::max<std::int64_t>(at - Rate / 100, 0);
            while (attack < end - 1 && std::abs(out[size_t(attack)]) < peak / 3.0)
                ++attack;
            for (auto i = std::max<std::int64_t>(attack - Rate * 3 / 100, 0); i < attack - Rate / 500; ++i)
                before = std::max(before, std::abs(out[size_t(i)]));
            preEcho = std::max(preEcho, 20.0 * std::log10(std::max(before, 1.0) / std::max(peak, 1.0)));
            worstMs = std::max(worstMs, std::abs(double(attack - at)) * 1000.0 / Rate);
        }
        State.counters["pre_echo_dB"] = preEcho;
        State.counters["hit_err_ms"] = worstMs;
    }
}

void BM_StretchSine(benchmark::State& State) {
    Measure(State, Sine);
}
void BM_StretchChirp(benchmark::State& State) {
    Measure(State, Chirp);
}
void BM_StretchDrums(benchmark::State& State) {
    Measure(State, Drums);
}
void BM_StretchDrumsOnTone(benchmark::State& State) {
    Measure(State, DrumsOnTone);
}

void Args(benchmark::internal::Benchmark* B) {
    for (int engine = 0; engine < 2; ++engine)
        for (int s = 0; s < int(std::size(Settings)); ++s)
            B->Args({engine, s});
    B->Unit(benchmark::kMillisecond)->Iterations(2);
}

} // namespace

BENCHMARK(BM_StretchSine)->Apply(Args);
BENCHMARK(BM_StretchChirp)->Apply(Args);
BENCHMARK(BM_StretchDrums)->Apply(Args);
BENCHMARK(BM_StretchDrumsOnTone)->Apply(Args);

BENCHMARK_MAIN();
