// Cost of each master effect per 441-frame stereo block (CPU time), and encoding speed to WAV and
// MP3 (wall time). "xRealTime" is seconds of audio processed per second of that time. Run with
// --benchmark_repetitions=N to get the fastest repetition as "_min".
#include "app/MasterEffects.h"
#include "audio/output/EncoderNode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <numbers>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int Rate = 44100;
constexpr int BlockFrames = 441;

// A two-tone chord looped from one precomputed second (both tones fit it in whole cycles), so
// the source costs next to nothing beside the effects.
class TToneNode : public TAudioX {
  public:
    TToneNode() : Loop(Rate * 2) {
        SetFormat(Rate, 2);
        for (int i = 0; i < Rate; ++i) {
            const double T = static_cast<double>(i) / Rate;
            const double V = 0.4 * std::sin(2 * std::numbers::pi * 220 * T) +
                             0.3 * std::sin(2 * std::numbers::pi * 3300 * T);
            Loop[2 * i] = Loop[2 * i + 1] = static_cast<std::int16_t>(V * 32767);
        }
    }
    int PopData(void* Buf, int BufLen) override {
        auto* Out = static_cast<std::int16_t*>(Buf);
        const int Frames = BufLen / 4;
        for (int i = 0; i < Frames; ++i) {
            Out[2 * i] = Silent ? 0 : Loop[2 * Pos];
            Out[2 * i + 1] = Silent ? 0 : Loop[2 * Pos + 1];
            if (++Pos == Rate) Pos = 0;
        }
        return Frames * 4;
    }
    bool Silent = false;

  private:
    std::vector<std::int16_t> Loop;
    int Pos = 0;
};

// On a shared machine the fastest of several repetitions is the cost; the others include waits.
// Read "_min" for the time and "_max" for xRealTime.
double Fastest(const std::vector<double>& Values) {
    return *std::min_element(Values.begin(), Values.end());
}
double Highest(const std::vector<double>& Values) {
    return *std::max_element(Values.begin(), Values.end());
}

void Report(benchmark::State& State) {
    State.counters["xRealTime"] = benchmark::Counter(
        static_cast<double>(State.iterations()) * BlockFrames / Rate, benchmark::Counter::kIsRate);
}

// Arg: 0 source only, 1 equalizer, 2 reverb, 3 compressor, 4 all three. Arg 2: silent input
// after a loud start, where denormals would show as a slowdown.
void BM_EffectBlock(benchmark::State& State) {
    TToneNode Source;
    TMasterEffects Fx;
    TEffectSettings S;
    const auto Which = State.range(0);
    S.EqEnabled = Which == 1 || Which == 4;
    S.ReverbEnabled = Which == 2 || Which == 4;
    S.CompressorEnabled = Which == 3 || Which == 4;
    S.Eq[0] = -6;
    S.Eq[1] = 3;
    S.Eq[2] = -3;
    S.ReverbLevel = 0.5f;
    S.ReverbDelay = 10.0f;
    S.CompressorThres = 0.3f;
    S.CompressorAttack = 0.01f;
    S.CompressorRelease = 0.2f;
    Fx.Apply(S);
    TAudioX* Head = Fx.Chain(&Source);
    std::int16_t Block[BlockFrames * 2];
    for (int i = 0; i < 200; ++i)
        Head->PopData(Block, sizeof Block);
    if (State.range(1)) {
        Source.Silent = true;
        // Let everything ring out towards tiny values.
        for (int i = 0; i < 3000; ++i)
            Head->PopData(Block, sizeof Block);
    }
    for (auto _ : State) {
        Head->PopData(Block, sizeof Block);
        benchmark::DoNotOptimize(Block);
    }
    Report(State);
}
BENCHMARK(BM_EffectBlock)
    ->ArgNames({"effect", "silent"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({4, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({3, 1})
    ->Args({4, 1})
    ->ComputeStatistics("min", Fastest)
    ->ComputeStatistics("max", Highest);

// The DSP units alone on a float block, without node, stream or PCM conversion. Arg: 0 three
// peaking bands, 1 reverb, 2 compressor.
void BM_DspUnit(benchmark::State& State) {
    std::vector<std::unique_ptr<brindle::dsp::TEffect>> Units;
    switch (State.range(0)) {
    case 0:
        for (const auto& [Center, Gain] : {std::pair{60.0f, 6.0f}, {8000.0f, -3.0f}, {16000.0f, 3.0f}}) {
            auto Band = std::make_unique<brindle::dsp::TPeakingFilter>(Rate, 2);
            brindle::dsp::TPeakEqParams P;
            P.Center = Center;
            P.Gain = Gain;
            P.Bandwidth = TEqualizer::BandWidth;
            Band->SetParameters(P);
            Units.push_back(std::move(Band));
        }
        break;
    case 1: {
        auto Reverb = std::make_unique<brindle::dsp::TCombReverb>(Rate, 2);
        Reverb->SetParameters({0.5f, 10000});
        Units.push_back(std::move(Reverb));
        break;
    }
    default: {
        auto Compressor = std::make_unique<brindle::dsp::TEnvelopeCompressor>(Rate, 2);
        Compressor->SetParameters({0.3f, 10, 200, -1});
        Units.push_back(std::move(Compressor));
    }
    }
    // A second of noise, copied in block by block (the copy is part of the time, ~0.1 us).
    std::vector<float> Noise(Rate * 2);
    std::uint32_t Seed = 1;
    for (auto& V : Noise)
        V = static_cast<float>((Seed = Seed * 1664525u + 1013904223u) >> 8) * 0x1p-24f - 0.5f;
    std::vector<float> Block(BlockFrames * 2);
    size_t At = 0;
    for (auto _ : State) {
        std::copy_n(Noise.begin() + static_cast<long>(At), Block.size(), Block.begin());
        if ((At += Block.size()) + Block.size() > Noise.size()) At = 0;
        for (auto& Unit : Units)
            Unit->Process(Block.data(), BlockFrames);
        benchmark::DoNotOptimize(Block.data());
    }
    Report(State);
}
BENCHMARK(BM_DspUnit)
    ->ArgName("unit")
    ->DenseRange(0, 2)
    ->ComputeStatistics("min", Fastest)
    ->ComputeStatistics("max", Highest);

// Arg: 0 WAV, 1 MP3 (lame, 256 kbit/s, -h), 2 raw PCM, 3 raw PCM with TPDF dither. Each
// iteration encodes 10 s of audio.
void BM_Encode(benchmark::State& State) {
    const auto Folder =
        std::filesystem::temp_directory_path() / ("brindle-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(Folder);
    const char* Names[] = {"out.wav", "out.mp3", "out.raw", "out.raw"};
    TToneNode Source;
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.SetOutputFileName((Folder / Names[State.range(0)]).string());
    Encoder.OutputFormatDetect();
    Encoder.BufLen = 0.01f;
    Encoder.EncodeTimeLimit = 10.0f;
    Encoder.Dither = State.range(0) == 3;
    for (auto _ : State)
        Encoder.Encode();
    State.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(State.iterations()) * 10.0, benchmark::Counter::kIsRate);
    std::filesystem::remove_all(Folder);
}
BENCHMARK(BM_Encode)->ArgName("format")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
