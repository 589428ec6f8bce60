// Engine costs: mixing blocks, starting voices, decoding into the sample cache.
// "xRealtime" is seconds of audio produced per second of CPU time.
#include "app/MasterEffects.h"
#include "app/SongEngine.h"
#include "audio/mixer/LiveMixer.h"
#include "audio/mixer/SampleCache.h"
#include "song/Sequencer.h"
#include "support/BenchAudio.h"
#include "support/StressModule.h"

#include <SoundTouch.h>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using brindle::bench::BenchFolder;

constexpr int BlockFrames = 441; // 10 ms

struct MixFixture {
    BenchFolder Dir;
    std::string File;
    TLiveMixer Mixer{256};

    explicit MixFixture(double Seconds = 20.0) {
        File = Dir / "tone.wav";
        brindle::bench::WriteSine(File, 440, Seconds);
        Mixer.GetSampleCache()->Load(File);
    }
};

void TopUp(TLiveMixer& Mixer, const std::string& File, int Voices, float Stretch, float Pitch) {
    for (int i = Mixer.VoiceCount(); i < Voices; ++i)
        Mixer.AddToMix(File, Stretch, 0.3f, Pitch, static_cast<float>(i % 7) * 0.001f, i);
}

void RunMixer(benchmark::State& State, float Stretch, float Pitch, bool ChannelsTurned = false) {
    MixFixture fx;
    // Every channel off unity: each voice takes the gained path.
    if (ChannelsTurned)
        for (int c = 0; c < TLiveMixer::GainChannels; ++c) fx.Mixer.SetChannelGain(c, 0.7f, 0.4f);
    const int voices = static_cast<int>(State.range(0));
    std::vector<std::int16_t> block(BlockFrames * 2);
    for (int i = 0; i < 50; ++i) { // warm the voices up
        TopUp(fx.Mixer, fx.File, voices, Stretch, Pitch);
        fx.Mixer.PopData(block.data(), BlockFrames * 4);
    }
    for (auto _ : State) {
        TopUp(fx.Mixer, fx.File, voices, Stretch, Pitch);
        fx.Mixer.PopData(block.data(), BlockFrames * 4);
        benchmark::DoNotOptimize(block.data());
    }
    State.counters["xRealtime"] = benchmark::Counter(
        static_cast<double>(State.iterations()) * BlockFrames / 44100.0, benchmark::Counter::kIsRate);
}

void BM_MixNeutralVoices(benchmark::State& State) {
    RunMixer(State, 1.0f, 0.0f);
}
BENCHMARK(BM_MixNeutralVoices)->Arg(0)->Arg(16)->Arg(64)->Arg(128);

void BM_MixNeutralVoicesOnTurnedChannels(benchmark::State& State) {
    RunMixer(State, 1.0f, 0.0f, true);
}
BENCHMARK(BM_MixNeutralVoicesOnTurnedChannels)->Arg(16)->Arg(64);

void BM_MixStretchedTransposedVoices(benchmark::State& State) {
    RunMixer(State, 1.25f, 3.0f);
}
BENCHMARK(BM_MixStretchedTransposedVoices)->Arg(16)->Arg(64);

// The library alone for comparison: SoundTouch instances fed float blocks, same settings.
void BM_SoundTouchAlone(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    std::vector<std::unique_ptr<soundtouch::SoundTouch>> st;
    for (int i = 0; i < n; ++i) {
        st.push_back(std::make_unique<soundtouch::SoundTouch>());
        st.back()->setSampleRate(44100);
        st.back()->setChannels(2);
        st.back()->setTempoChange(25.0);
        st.back()->setPitchSemiTones(3.0);
    }
    std::vector<float> in(1024 * 2), out(BlockFrames * 2);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<float>(8000.0 * std::sin(0.06 * static_cast<double>(i / 2)));
    for (auto _ : State) {
        for (auto& s : st) {
            while (s->numSamples() < static_cast<unsigned>(BlockFrames))
                s->putSamples(in.data(), 1024);
            s->receiveSamples(out.data(), BlockFrames);
        }
        benchmark::DoNotOptimize(out.data());
    }
    State.counters["xRealtime"] = benchmark::Counter(
        static_cast<double>(State.iterations()) * BlockFrames / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SoundTouchAlone)->Arg(16)->Arg(64);

// Mixes one block, which starts the notes queued by other threads and applies their clears.
void Drain(TLiveMixer& Mixer) {
    std::vector<std::int16_t> block(BlockFrames * 2);
    Mixer.PopData(block.data(), BlockFrames * 4);
}

// One AddToMix of a cached file from the UI side (the note is queued for the next block, with its
// stream tuned if it needs one); the mixer is emptied (untimed) every 200 starts.
void RunStarts(benchmark::State& State, float Stretch, float Pitch) {
    MixFixture fx(1.0);
    int n = 0;
    for (auto _ : State) {
        fx.Mixer.AddToMix(fx.File, Stretch, 1.0f, Pitch, 0.0f, n);
        if (++n == 200) {
            State.PauseTiming();
            fx.Mixer.Clear();
            Drain(fx.Mixer);
            n = 0;
            State.ResumeTiming();
        }
    }
}
void BM_VoiceStartNeutral(benchmark::State& State) {
    RunStarts(State, 1.0f, 0.0f);
}
BENCHMARK(BM_VoiceStartNeutral);
void BM_VoiceStartStretched(benchmark::State& State) {
    RunStarts(State, 1.5f, 3.0f);
}
BENCHMARK(BM_VoiceStartStretched);

// A stretched start with its latency compensation: the start plus the first block that primes
// SoundTouch, minus nothing (the block holds only this voice).
void BM_VoiceStartStretchedFirstBlock(benchmark::State& State) {
    MixFixture fx(1.0);
    std::vector<std::int16_t> block(BlockFrames * 2);
    for (auto _ : State) {
        fx.Mixer.AddToMix(fx.File, 1.5f, 1.0f, 3.0f, 0.0f, 1);
        fx.Mixer.PopData(block.data(), BlockFrames * 4);
        fx.Mixer.Clear();
    }
}
BENCHMARK(BM_VoiceStartStretchedFirstBlock);

// A keyboard note at a pitch no stream is ready for, from the UI thread: a free stream is re-tuned
// and sized there, outside the mixer's lock. Every iteration uses a pitch not used before.
void BM_VoiceStartNewPitch(benchmark::State& State) {
    MixFixture fx(1.0);
    int n = 0;
    float pitch = -12.0f;
    for (auto _ : State) {
        fx.Mixer.AddToMix(fx.File, 1.0f, 1.0f, pitch, 0.0f, n);
        pitch += 0.01f;
        if (++n == 200) {
            State.PauseTiming();
            fx.Mixer.Clear();
            Drain(fx.Mixer);
            n = 0;
            State.ResumeTiming();
        }
    }
}
BENCHMARK(BM_VoiceStartNewPitch)->Unit(benchmark::kMicrosecond);

// Notes at 25 pitches whose streams are prepared: finding one is a scan over 26 buckets.
void BM_VoiceStartAmong25PreparedPitches(benchmark::State& State) {
    MixFixture fx(1.0);
    for (int p = 0; p < 25; ++p)
        fx.Mixer.PrepareStreams(1.0f, static_cast<float>(p - 12) + 0.5f, 8);
    int n = 0;
    for (auto _ : State) {
        fx.Mixer.AddToMix(fx.File, 1.0f, 1.0f, static_cast<float>(n % 25 - 12) + 0.5f, 0.0f, n);
        if (++n == 150) {
            State.PauseTiming();
            fx.Mixer.Clear();
            Drain(fx.Mixer);
            n = 0;
            State.ResumeTiming();
        }
    }
}
BENCHMARK(BM_VoiceStartAmong25PreparedPitches);

// A real-time mixer of 256 voices: every tempo stream warmed up and sized (on all cores).
void BM_RealtimeMixerConstruction(benchmark::State& State) {
    for (auto _ : State) {
        TLiveMixer mixer(static_cast<int>(State.range(0)));
        benchmark::DoNotOptimize(&mixer);
    }
}
BENCHMARK(BM_RealtimeMixerConstruction)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

// Decoding a 10 s file into the cache (converted to 44.1 kHz stereo, the file's own format).
void BM_DecodeAndCache(benchmark::State& State, const char* Ext) {
    BenchFolder dir;
    const std::string path = dir / (std::string("ten") + Ext);
    if (!brindle::bench::WriteSine(path, 440, 10.0)) {
        State.SkipWithError("could not write the fixture");
        return;
    }
    brindle::SampleCache cache;
    for (auto _ : State) {
        cache.Remove(path);
        benchmark::DoNotOptimize(cache.Load(path));
    }
}
BENCHMARK_CAPTURE(BM_DecodeAndCache, wav, ".wav")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeAndCache, flac, ".flac")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeAndCache, ogg, ".ogg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeAndCache, mp3, ".mp3")->Unit(benchmark::kMillisecond);

// The library alone: libsndfile reading the same file into one preallocated buffer.
void BM_LibsndfileAlone(benchmark::State& State, const char* Ext) {
    BenchFolder dir;
    const std::string path = dir / (std::string("ten") + Ext);
    if (!brindle::bench::WriteSine(path, 440, 10.0)) {
        State.SkipWithError("could not write the fixture");
        return;
    }
    const sf_count_t capacity = 441000 + 8192; // frames
    std::vector<short> pcm(static_cast<size_t>(capacity) * 2);
    for (auto _ : State) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        sf_count_t at = 0, got;
        while (at < capacity &&
               (got = sf_readf_short(f, pcm.data() + at * 2, std::min<sf_count_t>(4096, capacity - at))) > 0)
            at += got;
        sf_close(f);
        benchmark::DoNotOptimize(pcm.data());
    }
}
BENCHMARK_CAPTURE(BM_LibsndfileAlone, wav, ".wav")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibsndfileAlone, flac, ".flac")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibsndfileAlone, ogg, ".ogg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibsndfileAlone, mp3, ".mp3")->Unit(benchmark::kMillisecond);

// What pressing Play adds before the song starts: looking over the 64-channel stretched stress
// song for notes without a variant, when all are prepared (Arg 0), and after one instrument was
// given a new length, whose notes are then made (Arg 1).
void BM_PrepareNewNotesAtPlay(benchmark::State& State) {
    BenchFolder dir;
    brindle::bench::StressOptions options;
    options.stretched = true;
    const std::string module = brindle::bench::WriteStressModule(dir / "stress", options);
    auto song = std::make_unique<cSequencer>(); // tens of megabytes: not on the stack
    song->LoadFile(module);
    brindle::SongEngine engine(*song);
    engine.PreloadInstruments();
    const bool retune = State.range(0) != 0;
    int round = 0;
    for (auto _ : State) {
        if (retune) {
            State.PauseTiming();
            song->InstrumentAt(2).StoreStretch(0.6f + 0.001f * float(++round));
            State.ResumeTiming();
        }
        engine.PrepareNewNotes();
    }
}
BENCHMARK(BM_PrepareNewNotesAtPlay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The audio thread's longest 10 ms block while the UI side hammers it: the demo song's busiest
// pattern with every master effect on, pulled by a thread of its own, while this thread reads the
// voice list, plays and cuts previews, reloads samples, restarts the finer refinement, moves
// sliders and switches effects. "LongestBlockMs" is the worst block of each run; the time per
// iteration is one round of UI work.
void BM_AudioBlockUnderUiHammer(benchmark::State& State) {
    using Clock = std::chrono::steady_clock;
    BenchFolder dir;
    const std::string extra = dir / "extra.wav";
    brindle::bench::WriteSine(extra, 330, 0.5);
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
    brindle::SongEngine engine(*song);
    auto cache = engine.Mixer().GetSampleCache();
    cache->SetStretchQuality(brindle::soundlib::StretchQuality::Best);
    engine.PreloadInstruments(/*Drafts=*/true);
    TEffectSettings fx = brindle::SongEffectSettings(*song);
    fx.EqEnabled = fx.ReverbEnabled = fx.CompressorEnabled = true;
    engine.Effects().Apply(fx);
    engine.Effects().Chain(&engine.Mixer());
    TAudioX* output = engine.Output();
    const std::string file = song->Instruments[0].GetFileName();
    engine.PlayPatternFrom(3, 1);
    engine.RefineDrafts();

    std::atomic<bool> stop{false}, warm{false};
    std::atomic<std::int64_t> longestNs{0};
    std::thread audio([&] {
        std::vector<std::int16_t> block(BlockFrames * 2);
        for (int i = 0; !stop; ++i) {
            const auto start = Clock::now();
            output->PopData(block.data(), BlockFrames * 4);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
            if (i == 100) warm = true;
            if (warm && ns > longestNs.load(std::memory_order_relaxed)) longestNs = ns;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    while (!warm)
        std::this_thread::yield();
    std::vector<TLiveMixer::TVoiceInfo> voices;
    int i = 0;
    for (auto _ : State) {
        engine.Mixer().GetVoices(voices);
        engine.Mixer().AddToMix(i % 5 ? file : extra, i % 3 ? 1.0f : 1.25f, 0.4f, float(i % 25 - 12) + 0.5f, 0.0f,
                                5000 + i % 8);
        engine.Mixer().RemoveByTag(5000 + (i + 3) % 8);
        if (i % 5 == 0) engine.LoadPending();
        if (i % 20 == 0) {
            cache->Remove(extra);
            cache->Load(extra);
        }
        if (i % 60 == 30) engine.RefineDrafts();
        fx.ReverbLevel = float(i % 50) / 100.0f;
        fx.Eq[i % 3] = float(i % 9 - 4) / 2.0f;
        engine.Effects().Apply(fx);
        if (i % 15 == 0) {
            fx.EqEnabled = !fx.EqEnabled;
            engine.Effects().Apply(fx);
            engine.Effects().Chain(&engine.Mixer());
        }
        engine.Mixer().TakeProblems();
        ++i;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    stop = true;
    audio.join();
    engine.Stop();
    State.counters["LongestBlockMs"] = double(longestNs.load()) / 1e6;
}
BENCHMARK(BM_AudioBlockUnderUiHammer)->Iterations(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The UI's stall when a sample is assigned while the finer stretcher refines a long note: the
// assignment restarts the refinement (RefineDrafts), which stops the render in progress. The
// render ends at its next chunk on its own; the caller does not wait for it.
void BM_UiStallAssigningDuringBestRefinement(benchmark::State& State) {
    using Clock = std::chrono::steady_clock;
    BenchFolder dir;
    const std::string file = dir / "long.wav";
    brindle::bench::WriteSine(file, 220, 8.0);
    auto song = std::make_unique<cSequencer>();
    song->SetInstrumentFile(1, file);
    song->InstrumentAt(1).Stretch = 0.5f;
    song->Patterns[0].CellForWrite(0, 0).ins = 1;
    brindle::SongEngine engine(*song);
    engine.Mixer().GetSampleCache()->SetStretchQuality(brindle::soundlib::StretchQuality::Best);
    engine.PreloadInstruments(/*Drafts=*/true);
    double longestMs = 0;
    for (auto _ : State) {
        State.PauseTiming();
        engine.RefineDrafts();
        std::this_thread::sleep_for(std::chrono::milliseconds(40)); // well into the render
        State.ResumeTiming();
        const auto start = Clock::now();
        engine.RefineDrafts(); // what an assignment does
        longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    State.counters["LongestStallMs"] = longestMs;
}
BENCHMARK(BM_UiStallAssigningDuringBestRefinement)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
