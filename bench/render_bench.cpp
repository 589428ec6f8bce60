// Whole-song rendering through brindle-cli, beside a tracker and a plain mixer as floors; stems,
// other formats and loudness normalisation of the stress song against its plain render.
// Counters: xRealTime (song seconds per wall second), peakMB, and perVoiceX (xRealTime x voices);
// for brindle-cli info, peakMB and the song's cell storage (cellKB).
#include "support/Spawn.h"
#include "support/StressModule.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "song/Sequencer.h"

namespace fs = std::filesystem;
using namespace brindle::bench;

namespace {

const fs::path& workFolder() {
    static const fs::path folder = [] {
        auto f = fs::temp_directory_path() / "brindle-render-bench";
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

double songSeconds(const std::string& module) {
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(module);
    return song->SongLengthSeconds();
}

// Runs argv once per iteration; reports speed against `audioSeconds` of output.
void measure(benchmark::State& state, const std::vector<std::string>& argv, double audioSeconds, int voices) {
    SpawnResult last;
    double wall = 0;
    for (auto _ : state) {
        last = Spawn(argv);
        if (last.exitCode != 0) {
            state.SkipWithError(("failed: " + argv[0]).c_str());
            return;
        }
        wall += last.wallSeconds;
        state.SetIterationTime(last.wallSeconds);
    }
    const double x = audioSeconds * double(state.iterations()) / wall;
    state.counters["xRealTime"] = x;
    state.counters["peakMB"] = last.peakMB;
    state.counters["perVoiceX"] = x * voices;
}

void renderModule(benchmark::State& state, const std::string& module, int voices,
                  const std::string& quality = "standard", const std::string& outName = "out.wav",
                  const std::vector<std::string>& extra = {}) {
    const auto out = (workFolder() / outName).string();
    std::vector<std::string> argv{BRINDLE_CLI, "render", module, out, "--stretch-quality", quality};
    argv.insert(argv.end(), extra.begin(), extra.end());
    measure(state, argv, songSeconds(module), voices);
}

void BM_RenderDemo(benchmark::State& state) {
    renderModule(state, BRINDLE_SOURCE_DIR "/examples/demo.hym", 6);
}

void BM_RenderStressNeutral(benchmark::State& state) {
    static const auto module = WriteStressModule((workFolder() / "stress").string(), {});
    renderModule(state, module, 64);
}

void BM_RenderStressStretched(benchmark::State& state) {
    static const auto module = WriteStressModule((workFolder() / "stress").string(), {.stretched = true});
    renderModule(state, module, 64);
}

// One file per channel of the stress song (64 stems) in one pass: against BM_RenderStressNeutral.
void BM_RenderStressStems(benchmark::State& state) {
    static const auto module = WriteStressModule((workFolder() / "stress").string(), {});
    fs::remove_all(workFolder() / "stems");
    renderModule(state, module, 64, "standard", "stems", {"--stems"});
}

void BM_RenderStressStemsFloat(benchmark::State& state) {
    static const auto module = WriteStressModule((workFolder() / "stress").string(), {});
    fs::remove_all(workFolder() / "stems32");
    renderModule(state, module, 64, "standard", "stems32", {"--stems", "--bits", "32f"});
}

// Measured, spooled and written again with one gain.
void BM_RenderStressNormalized(benchmark::State& state) {
    static const auto module = WriteStressModule((workFolder() / "stress").string(), {});
    renderModule(state, module, 64, "standard", "normalized.wav", {"--normalize", "-14"});
}

void BM_RenderStressFlac24(benchmark::State& state) {
    static const auto module = WriteStressModule((workFolder() / "stress").string(), {});
    renderModule(state, module, 64, "standard", "out.flac", {"--bits", "24"});
}

// The same songs with their stretched and transposed notes prepared by the finer stretcher:
// the difference to the runs above is the preparation of the song's variants.
void BM_RenderDemoBestStretch(benchmark::State& state) {
    renderModule(state, BRINDLE_SOURCE_DIR "/examples/demo.hym", 6, "best");
}

void BM_RenderStressStretchedBestStretch(benchmark::State& state) {
    static const auto module = WriteStressModule((workFolder() / "stress").string(), {.stretched = true});
    renderModule(state, module, 64, "best");
}

// A tracker floor: openmpt123 rendering a 16-channel module from a Debian package.
void BM_TrackerFloorOpenmpt(benchmark::State& state) {
    const fs::path source = "/usr/share/games/njam/data/ritam.s3m";
    if (!fs::exists(source)) {
        state.SkipWithError("njam-data is not installed");
        return;
    }
    const auto copy = workFolder() / "ritam.s3m";
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
    // 2:10.56 long, 16 channels (openmpt123 --info).
    measure(state, {"openmpt123", "--quiet", "--render", "--force", copy.string()}, 130.56, 16);
}

// A plain-mixing floor: sox summing as many 0.25 s-note voices as the stress module plays at once,
// each a full-length track of the stress module's duration.
void BM_MixFloorSox(benchmark::State& state) {
    const int voices = 64;
    const double seconds = 137.14;
    std::vector<std::string> argv{"sox", "-m"};
    for (int v = 0; v < voices; ++v) {
        const auto path = workFolder() / ("voice" + std::to_string(v) + ".wav");
        if (!fs::exists(path)) {
            SF_INFO info{};
            info.samplerate = 44100;
            info.channels = 2;
            info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
            SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
            std::vector<short> block(44100 * 2);
            for (size_t i = 0; i < block.size(); ++i)
                block[i] = short(1000 * std::sin(0.01 * double(i) * (v + 1)));
            for (int s = 0; s < int(seconds) + 1; ++s)
                sf_writef_short(f, block.data(), 44100);
            sf_close(f);
        }
        argv.push_back(path.string());
    }
    argv.push_back((workFolder() / "soxmix.wav").string());
    measure(state, argv, seconds, voices);
}

// Memory for what the song holds: brindle-cli info's peak, and the song's own cell bytes.
void infoModule(benchmark::State& state, const std::string& module) {
    SpawnResult last;
    for (auto _ : state) {
        last = Spawn({BRINDLE_CLI, "info", module});
        if (last.exitCode != 0) {
            state.SkipWithError("brindle-cli info failed");
            return;
        }
        state.SetIterationTime(last.wallSeconds);
    }
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(module);
    state.counters["peakMB"] = last.peakMB;
    state.counters["cellKB"] = double(song->CellBytes()) / 1024;
    state.counters["patterns"] = song->AllocatedPatterns();
}

void BM_InfoDemo(benchmark::State& state) { infoModule(state, BRINDLE_SOURCE_DIR "/examples/demo.hym"); }

void BM_InfoStress(benchmark::State& state) {
    static const auto module = WriteStressModule((workFolder() / "stress").string(), {});
    infoModule(state, module);
}

} // namespace

BENCHMARK(BM_InfoDemo)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoStress)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderDemo)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderStressNeutral)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderStressStretched)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderStressStems)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderStressStemsFloat)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderStressNormalized)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderStressFlac24)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderDemoBestStretch)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderStressStretchedBestStretch)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackerFloorOpenmpt)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixFloorSox)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
