// Cost of converting instruments to the mixer's 44.1 kHz stereo: the SoX engine the sample cache
// uses, the long filter it falls back to, and libswresample's default filter, per second of stereo audio
// at 22.05, 48 and 96 kHz (CPU time per iteration = one second of source audio; "xRealTime" is seconds of
// audio converted per second). Instruments are converted once, when loaded, so this is a loading cost.
#include "audio/soundlib/Resampler.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using brindle::soundlib::ResampleQuality;
using brindle::soundlib::Resampler;

constexpr int MixRate = 44100;
constexpr int BlockFrames = 16384; // as the file decoder hands them over

// One second of a stereo chord with a little of everything in the band.
std::vector<float> SourceSecond(int Rate) {
    std::vector<float> x(static_cast<std::size_t>(Rate) * 2);
    for (int i = 0; i < Rate; ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double v = 0.3 * std::sin(2 * std::numbers::pi * 220 * t) +
                         0.2 * std::sin(2 * std::numbers::pi * 3300 * t) +
                         0.1 * std::sin(2 * std::numbers::pi * 9000 * t);
        x[static_cast<std::size_t>(i) * 2] = static_cast<float>(v);
        x[static_cast<std::size_t>(i) * 2 + 1] = static_cast<float>(-v);
    }
    return x;
}

void ConvertOneSecond(benchmark::State& State, ResampleQuality Quality) {
    const int rate = static_cast<int>(State.range(0));
    const auto source = SourceSecond(rate);
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(MixRate) * 2 + 4096);
    for (auto _ : State) {
        // A fresh converter each time, as for every file loaded.
        Resampler convert(rate, 2, MixRate, 2, Quality);
        out.clear();
        for (int at = 0; at < rate; at += BlockFrames)
            convert.Convert(source.data() + static_cast<std::size_t>(at) * 2,
                            std::min(BlockFrames, rate - at), out);
        convert.Finish(out);
        benchmark::DoNotOptimize(out.data());
    }
    State.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(State.iterations()), benchmark::Counter::kIsRate);
}

void BM_ResampleHighQuality(benchmark::State& State) {
    ConvertOneSecond(State, ResampleQuality::High);
}
void BM_ResampleLongFilter(benchmark::State& State) {
    ConvertOneSecond(State, ResampleQuality::LongFilter);
}
void BM_ResampleLibraryDefault(benchmark::State& State) {
    ConvertOneSecond(State, ResampleQuality::LibraryDefault);
}

BENCHMARK(BM_ResampleHighQuality)->Arg(22050)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleLongFilter)->Arg(22050)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleLibraryDefault)->Arg(22050)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
