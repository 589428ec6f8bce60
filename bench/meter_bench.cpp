// What the level meters cost: the live engine playing the 64-channel stress song, block by block
// as the device pulls it, with metering off, on, and on while a reader takes every slot 30 times
// a second of audio. "CorePercent" is the share of one core the audio thread spends at real time.
#include "app/MasterEffects.h"
#include "app/SongEngine.h"
#include "audio/mixer/LevelMeters.h"
#include "audio/mixer/LiveMixer.h"
#include "song/Sequencer.h"
#include "support/BenchAudio.h"
#include "support/StressModule.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <vector>

namespace {

constexpr int BlockFrames = 441; // 10 ms
constexpr int Rate = 44100;

struct StressSong {
    brindle::bench::BenchFolder Dir;
    std::unique_ptr<cSequencer> Song = std::make_unique<cSequencer>();
    std::unique_ptr<brindle::SongEngine> Engine;
    StressSong() {
        const std::string module = brindle::bench::WriteStressModule(Dir / "stress", {});
        Song->LoadFile(module);
        Engine = std::make_unique<brindle::SongEngine>(*Song);
        Engine->PreloadInstruments();
    }
};

StressSong& Stress() {
    static StressSong song; // written once for every run
    return song;
}

// Arg 0: meters off; 1: fed, nobody reads; 2: fed and read at 30 frames per second of audio.
void BM_StressSongBlocks(benchmark::State& State) {
    auto& s = Stress();
    auto& engine = *s.Engine;
    const int mode = static_cast<int>(State.range(0));
    engine.Mixer().SetMetering(mode > 0);
    engine.Effects().SetOutputMeter(mode > 0 ? &engine.Mixer().Meters() : nullptr, brindle::TLevelMeters::Master);
    TAudioX* output = engine.ApplySongEffects();
    std::vector<std::int16_t> block(BlockFrames * 2);
    std::array<brindle::TLevel, brindle::TLevelMeters::Slots> levels{};
    engine.PlaySongFrom(1);
    for (int i = 0; i < 100; ++i) output->PopData(block.data(), BlockFrames * 4); // warm-up
    long blocks = 0;
    for (auto _ : State) {
        if (!engine.Playing()) engine.PlaySongFrom(1);
        output->PopData(block.data(), BlockFrames * 4);
        // 30 reads a second of audio: one every 3.33 blocks of 10 ms.
        if (mode == 2 && (++blocks * 3) % 10 < 3) engine.Mixer().Meters().TakeAll(levels);
        benchmark::DoNotOptimize(block.data());
    }
    engine.Stop();
    engine.Mixer().SetMetering(true);
    engine.Effects().SetOutputMeter(&engine.Mixer().Meters(), brindle::TLevelMeters::Master);
    State.counters["xRealtime"] = benchmark::Counter(
        static_cast<double>(State.iterations()) * BlockFrames / Rate, benchmark::Counter::kIsRate);
    // CPU seconds per second of audio, in percent.
    State.counters["CorePercent"] = benchmark::Counter(static_cast<double>(State.iterations()) * BlockFrames / Rate / 100.0,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StressSongBlocks)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// One reader's take of every slot: what the meter timer pays per frame.
void BM_TakeAllSlots(benchmark::State& State) {
    brindle::TLevelMeters meters;
    std::array<brindle::TLevel, brindle::TLevelMeters::Slots> levels{};
    for (auto _ : State) {
        for (int s = 0; s < brindle::TLevelMeters::Slots; ++s) meters.Feed(s, 0.5f, 10.0f, 882);
        meters.TakeAll(levels);
        benchmark::DoNotOptimize(levels.data());
    }
}
BENCHMARK(BM_TakeAllSlots);

} // namespace

BENCHMARK_MAIN();
