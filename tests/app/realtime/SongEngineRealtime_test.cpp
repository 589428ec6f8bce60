// The whole live path — song engine, queue handler, mixer, master effects — run as the device
// pulls it, counting what the real-time rules forbid on the audio thread.
#include "app/LiveOutput.h"
#include "app/MasterEffects.h"
#include "app/SongEngine.h"
#include "audio/soundlib/NullDevice.h"
#include "base/realtime/RealtimeProbe.h"
#include "song/Sequencer.h"
#include "support/CountingAllocator.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The demo (stretched, transposed, StopPrev, stop markers) on a live engine: prepared, played
// through once as the mixer's own warm-up, then its busiest pattern looping.
struct DemoRun {
    std::unique_ptr<cSequencer> Song = LoadDemo();
    brindle::SongEngine Engine;
    TAudioX* Output = nullptr;
    std::vector<std::int16_t> Block = std::vector<std::int16_t>(441 * 2);

    explicit DemoRun(bool WarmLater = false) : Engine(*Song, true, 0, WarmLater) {}
    static std::unique_ptr<cSequencer> LoadDemo() {
        auto song = std::make_unique<cSequencer>();
        song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
        return song;
    }
    void WarmUp() {
        ASSERT_TRUE(Engine.PreloadInstruments().empty());
        Output = Engine.ApplySongEffects();
        Engine.PlaySongFrom(1);
        while (Engine.Playing()) Pull();
        Engine.PlayPatternFrom(3, 1);
    }
    void Pull() { Output->PopData(Block.data(), int(Block.size() * 2)); }
};

TEST(SongEngineRealtime, PlayingASongNeitherAllocatesNorOpensFilesNorWaits) {
    DemoRun run;
    ASSERT_NO_FATAL_FAILURE(run.WarmUp());
    auto& engine = run.Engine;
    ASSERT_NE(run.Output, &engine.Mixer()); // the effects are in the chain
    const auto opens = brindle::RealtimeProbe::GetFileOpens();
    const auto waits = brindle::RealtimeProbe::GetLockWaits();
    std::vector<std::int16_t> heard;
    heard.reserve(3000);
    std::uint64_t allocations = 0;
    {
        brindle::test::AllocationScope scope;
        for (int i = 0; i < 3000; ++i) { // 30 s
            run.Pull();
            heard.push_back(run.Block[0]);
        }
        allocations = scope.Count();
    }
    EXPECT_EQ(allocations, 0u) << "heap allocations or frees while playing";
    EXPECT_EQ(brindle::RealtimeProbe::GetFileOpens() - opens, 0u);
    EXPECT_EQ(brindle::RealtimeProbe::GetLockWaits() - waits, 0u);
    EXPECT_TRUE(engine.Playing());
    EXPECT_GT(run.Song->CurRow, -1);
    const auto left = brindle::test::ChannelOf(heard, 1, 0);
    EXPECT_GT(brindle::test::Rms(left), 500.0) << "the run really played sound";
    EXPECT_TRUE(engine.Mixer().TakeProblems().empty());
}

// A window's mixer makes its first tempo streams and its meters' buffers on a worker after its
// first paint, perhaps while the song already plays: the audio thread neither allocates nor
// waits for them, and meters from the block after.
TEST(SongEngineRealtime, StreamsMadeBehindAPlayingSongCostTheAudioThreadNothing) {
    DemoRun run(/*WarmLater=*/true);
    auto& engine = run.Engine;
    EXPECT_EQ(engine.Mixer().TempoStreamCount(), 0);
    EXPECT_FALSE(engine.Mixer().GetMetering());
    ASSERT_NO_FATAL_FAILURE(run.WarmUp());
    // The worker may wait for the pool's lock; the audio thread only tries it.
    const auto waits = brindle::RealtimeProbe::GetAudioLockWaits();
    std::uint64_t allocations = 0;
    std::atomic<bool> go{false}, made{false};
    std::jthread worker([&] { // started before counting: making a thread allocates on its maker
        while (!go.load()) std::this_thread::yield();
        engine.Mixer().WarmUp();
        made = true;
    });
    {
        brindle::test::MarkThisThread();
        brindle::RealtimeProbe::MarkAudioThread();
        brindle::test::AllocationScope scope(brindle::test::CountOn::MarkedThreads);
        go = true;
        // A loaded machine may starve the worker: the song plays on until it is done.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!made.load() && std::chrono::steady_clock::now() < deadline) run.Pull();
        for (int i = 0; i < 100; ++i) run.Pull();
        allocations = scope.Count();
        brindle::test::MarkThisThread(false);
        brindle::RealtimeProbe::MarkAudioThread(false);
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(brindle::RealtimeProbe::GetAudioLockWaits() - waits, 0u);
    EXPECT_GE(engine.Mixer().TempoStreamCount(), TTempoEnginePool::InitialStreams);
    EXPECT_TRUE(engine.Playing());
    float loudest = 0;
    for (int channel = 0; channel < 8; ++channel) loudest = std::max(loudest, engine.Mixer().Meters().Take(channel).Peak);
    EXPECT_GT(loudest, 0.01f) << "the channels are metered once the buffers are made";
}

// Channel faders, balance and mutes moved while the song plays.
TEST(ChannelGainsRealtime, TurningChannelsWhilePlayingAllocatesNothing) {
    DemoRun run;
    ASSERT_NO_FATAL_FAILURE(run.WarmUp());
    const auto opens = brindle::RealtimeProbe::GetFileOpens();
    const auto waits = brindle::RealtimeProbe::GetLockWaits();
    std::uint64_t allocations = 0;
    double energy = 0;
    {
        brindle::test::AllocationScope scope;
        for (int i = 0; i < 1000; ++i) {
            if (i % 3 == 0) // faders, balance knobs and mutes, as fast as the UI could
                run.Song->SetChannel(i % 8, float(i % 5) * 0.4f, float(i % 7) / 3.0f - 1.0f, i % 11 == 0);
            run.Pull();
            for (std::int16_t s : run.Block) energy += double(s) * s;
        }
        allocations = scope.Count();
    }
    EXPECT_EQ(allocations, 0u) << "heap allocations or frees while turning channels";
    EXPECT_EQ(brindle::RealtimeProbe::GetFileOpens() - opens, 0u);
    EXPECT_EQ(brindle::RealtimeProbe::GetLockWaits() - waits, 0u);
    EXPECT_GT(energy, 0.0) << "the song was heard";
}


// The chain's head as the device pulls it: marks the pulling thread as the audio thread for the
// allocation counter and measures what passes.
class TAudioThreadMark : public TAudioX {
  public:
    std::atomic<int> Blocks{0};
    std::atomic<double> Energy{0.0};

    int PopData(void* Buf, int BufLen) override {
        brindle::test::MarkThisThread();
        const int got = Input->GetData(Buf, BufLen);
        const auto* pcm = static_cast<const std::int16_t*>(Buf);
        double sum = 0.0;
        for (int i = 0; i < got / 2; ++i)
            sum += double(pcm[i]) * pcm[i];
        Energy = Energy.load() + sum;
        ++Blocks;
        return got;
    }
};

// Keyboard notes while the song plays on the device: the UI thread starts notes at pitches no
// stream is tuned to, the device thread mixes them with the song.
TEST(SongEngineRealtime, KeyboardNotesWithNewPitchesCostTheDeviceThreadNothing) {
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
    brindle::SongEngine engine(*song);
    ASSERT_TRUE(engine.PreloadInstruments().empty());
    TAudioThreadMark mark;
    TAudioX* chain = engine.ApplySongEffects();
    mark.SetFormat(chain->GetSampleRate(), chain->GetChannels());
    mark.SetInput(chain);

    TLiveOutput live;
    live.GetSpeakers().SetOutputOpener(
        [](const brindle::soundlib::OutputRequest& Request, brindle::soundlib::RenderFunction Render) {
            return brindle::soundlib::OpenedOutput{
                std::make_unique<brindle::soundlib::NullDevice>(Request, 10, std::move(Render)), ""};
        });
    engine.PlayPatternFrom(3, 1); // the busiest pattern, looping
    live.Initialise(0, 10, &mark);
    while (mark.Blocks.load() < 30) // warm-up
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    const std::string file = song->Instruments[0].GetFileName();
    const auto opens = brindle::RealtimeProbe::GetFileOpens();
    std::uint64_t allocations = 0;
    int started = 0;
    double before = 0.0;
    {
        brindle::test::AllocationScope scope(brindle::test::CountOn::MarkedThreads);
        before = mark.Energy.load();
        const int blocksBefore = mark.Blocks.load();
        for (int p = 0; p < 30; ++p) {
            const float pitch = -14.5f + float(p); // none of these is in the song
            started += engine.Mixer().AddToMix(file, p % 3 ? 1.0f : 1.3f, 0.7f, pitch, 0.0f, 1000 + p % 4);
            if (p % 4 == 3) engine.Mixer().RemoveByTag(1000 + (p + 2) % 4);
            engine.Mixer().PreparePending();
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        while (mark.Blocks.load() < blocksBefore + 60) // the device played the notes
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        allocations = scope.Count();
    }
    live.Shutdown();
    engine.Stop();
    EXPECT_EQ(allocations, 0u) << "allocations or frees on the device thread";
    EXPECT_EQ(brindle::RealtimeProbe::GetFileOpens() - opens, 0u);
    EXPECT_EQ(started, 30);
    EXPECT_GT(mark.Energy.load(), before) << "the device played sound";
    EXPECT_TRUE(engine.Mixer().TakeProblems().empty());
}

} // namespace

namespace {

TEST(SongEngineRealtime, SwitchingEffectsWhilePullingLargeBlocksAllocatesNothingOnTheAudioThread) {
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
    brindle::SongEngine engine(*song);
    ASSERT_TRUE(engine.PreloadInstruments().empty());
    TEffectSettings all;
    all.EqEnabled = all.ReverbEnabled = all.CompressorEnabled = true;
    engine.Effects().Apply(all);
    engine.Effects().Chain(&engine.Mixer());
    TAudioX* output = engine.Output();
    // Warm-up at every block size the test uses, up to a 10 000-frame block.
    std::vector<std::int16_t> block(10000 * 2);
    engine.PlayPatternFrom(3, 1);
    for (int frames : {441, 4096, 10000}) output->PopData(block.data(), frames * 4);

    std::atomic<bool> done{false};
    std::atomic<int> pulls{0};
    std::uint64_t allocations = 0;
    {
        brindle::test::AllocationScope scope(brindle::test::CountOn::MarkedThreads);
        std::thread audio([&] {
            brindle::test::MarkThisThread();
            const int sizes[] = {441, 10000, 64, 4096, 4097};
            for (int i = 0; !done; ++i) {
                output->PopData(block.data(), sizes[i % 5] * 4);
                ++pulls;
            }
            brindle::test::MarkThisThread(false);
        });
        // The effects panel: check boxes and sliders, as fast as a user never could.
        TEffectSettings s = all;
        for (int i = 0; i < 300; ++i) {
            s.EqEnabled = i % 2;
            s.ReverbEnabled = i % 3 != 0;
            s.CompressorEnabled = i % 5 != 0;
            s.ReverbLevel = float(i % 10) / 10.0f;
            engine.Effects().Apply(s);
            if (i % 4 == 0) engine.Effects().Chain(&engine.Mixer());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        while (pulls < 200) std::this_thread::yield();
        done = true;
        audio.join();
        allocations = scope.Count();
    }
    EXPECT_EQ(allocations, 0u) << "heap allocations or frees on the audio thread";
    EXPECT_GE(pulls.load(), 200);
    engine.Effects().Collect();
    EXPECT_EQ(engine.Effects().RetiredCount(), 0u);
}

} // namespace

// The song plays on an audio thread while the UI side does everything it can at once: reads the
// voice list, plays and cuts preview notes, loads and drops samples, restarts the finer
// refinement, moves effect sliders and switches effects. The audio thread must take no lock at
// all (so it can never wait for one) and allocate nothing; its longest block is reported.
namespace {

namespace bt = brindle::test;
using Clock = std::chrono::steady_clock;

TEST(UiHammer, TheAudioThreadNeitherTakesLocksNorAllocatesWhileTheUiHammersEveryPath) {
    bt::TempDir dir;
    std::vector<std::string> extra;
    for (int i = 0; i < 3; ++i) {
        std::string name = "x0.wav";
        name[1] = char('0' + i);
        extra.push_back(bt::WriteSineWav(dir / name, 300 + 100 * i, 0.5, 44100, 2).string());
    }

    auto song = std::make_unique<cSequencer>();
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
    brindle::SongEngine engine(*song);
    engine.SetRefinerNice(0); // not starved by the tests running beside this one
    auto cache = engine.Mixer().GetSampleCache();
    cache->SetStretchQuality(brindle::soundlib::StretchQuality::Best);
    ASSERT_TRUE(engine.PreloadInstruments(/*Drafts=*/true).empty());
    TEffectSettings fx = brindle::SongEffectSettings(*song);
    fx.EqEnabled = fx.ReverbEnabled = fx.CompressorEnabled = true;
    engine.Effects().Apply(fx);
    engine.Effects().Chain(&engine.Mixer());
    TAudioX* output = engine.Output();
    const std::string file = song->Instruments[0].GetFileName();
    ASSERT_FALSE(file.empty());

    engine.PlayPatternFrom(3, 1); // the busiest pattern, looping
    engine.RefineDrafts();

    std::atomic<bool> counting{false}, stop{false};
    std::atomic<int> blocks{0};
    std::atomic<std::int64_t> longestNs{0};
    std::atomic<double> energy{0.0};
    std::uint64_t locks = 0, waits = 0, tryFails = 0, allocations = 0;
    {
        bt::AllocationScope scope(bt::CountOn::MarkedThreads);
        std::thread audio([&] {
            std::vector<std::int16_t> block(441 * 2);
            for (int i = 0; i < 100; ++i) // warm-up, uncounted
                output->PopData(block.data(), int(block.size() * 2));
            brindle::RealtimeProbe::MarkAudioThread();
            bt::MarkThisThread();
            counting = true;
            while (!stop) {
                const auto start = Clock::now();
                output->PopData(block.data(), int(block.size() * 2));
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
                if (ns > longestNs.load(std::memory_order_relaxed)) longestNs = ns;
                double sum = 0;
                for (std::int16_t s : block)
                    sum += double(s) * s;
                energy = energy.load() + sum;
                ++blocks;
                std::this_thread::sleep_for(std::chrono::milliseconds(2)); // about five times real time
            }
            bt::MarkThisThread(false);
            brindle::RealtimeProbe::MarkAudioThread(false);
        });
        while (!counting)
            std::this_thread::yield();
        const auto locks0 = brindle::RealtimeProbe::GetAudioLocks();
        const auto waits0 = brindle::RealtimeProbe::GetAudioLockWaits();
        const auto fails0 = brindle::RealtimeProbe::GetAudioTryFails();

        std::vector<TLiveMixer::TVoiceInfo> voices;
        std::size_t listed = 0;
        const auto until = Clock::now() + std::chrono::milliseconds(1500);
        for (int i = 0; Clock::now() < until || blocks.load() < 200; ++i) {
            engine.Mixer().GetVoices(voices); // the Output page's timer
            listed = std::max(listed, voices.size());
            // Previews from the piano and the browser, at pitches and speeds the song never uses.
            engine.Mixer().AddToMix(i % 5 ? file : extra[size_t(i) % extra.size()], i % 3 ? 1.0f : 1.25f, 0.4f,
                                    float(i % 25 - 12) + 0.5f, 0.0f, 5000 + i % 8);
            engine.Mixer().RemoveByTag(5000 + (i + 3) % 8);
            if (i % 5 == 0) engine.LoadPending(); // the periodic timer: streams, loads, old chains
            if (i % 20 == 0) { // a sample replaced: the cache's table is republished
                const auto& f = extra[size_t(i / 20) % extra.size()];
                cache->Remove(f);
                cache->Load(f);
            }
            if (i % 60 == 30) engine.RefineDrafts(); // an assignment restarts the refinement
            fx.ReverbLevel = float(i % 50) / 100.0f; // slider moves
            fx.CompressorThres = 0.2f + float(i % 7) / 10.0f;
            fx.Eq[i % 3] = float(i % 9 - 4) / 2.0f;
            engine.Effects().Apply(fx);
            if (i % 15 == 0) { // a check box
                fx.EqEnabled = !fx.EqEnabled;
                engine.Effects().Apply(fx);
                engine.Effects().Chain(&engine.Mixer());
            }
            engine.Mixer().TakeProblems();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        stop = true;
        audio.join();
        locks = brindle::RealtimeProbe::GetAudioLocks() - locks0;
        waits = brindle::RealtimeProbe::GetAudioLockWaits() - waits0;
        tryFails = brindle::RealtimeProbe::GetAudioTryFails() - fails0;
        allocations = scope.Count();
        EXPECT_GT(listed, 0u) << "the voice list showed the voices";
    }
    engine.Stop();
    const double longestMs = double(longestNs.load()) / 1e6;
    std::printf("audio blocks %d, longest %.3f ms, tries that found a lock held %llu\n", blocks.load(), longestMs,
                static_cast<unsigned long long>(tryFails));
    ::testing::Test::RecordProperty("LongestBlockUs", int(longestNs.load() / 1000));
    EXPECT_EQ(locks, 0u) << "locks taken on the audio thread";
    EXPECT_EQ(waits, 0u) << "lock waits on the audio thread";
    EXPECT_EQ(allocations, 0u) << "heap allocations or frees on the audio thread";
    EXPECT_GE(blocks.load(), 200);
    EXPECT_GT(energy.load(), 0.0) << "the song played";
}

TEST(UiHammer, RefinementRestartedAndStoppedMidRenderEndsAndLeavesAPlayableNote) {
    // One long stretched note refined with the finer stretcher: seconds of work in chunks.
    bt::TempDir dir;
    const auto file = bt::WriteSineWav(dir / "long.wav", 220, 4.0, 44100, 2).string();
    auto song = std::make_unique<cSequencer>();
    song->SetInstrumentFile(1, file);
    song->InstrumentAt(1).Stretch = 0.5f;
    song->Patterns[0].CellForWrite(0, 0).ins = 1;
    brindle::SongEngine engine(*song);
    engine.SetRefinerNice(0); // not starved by the tests running beside this one
    auto cache = engine.Mixer().GetSampleCache();
    cache->SetStretchQuality(brindle::soundlib::StretchQuality::Best);
    ASSERT_TRUE(engine.PreloadInstruments(/*Drafts=*/true).empty());
    const auto base = cache->Find(file);
    ASSERT_NE(cache->FindVariant(base.get(), 0.5f, 0.0f), nullptr);
    EXPECT_TRUE(cache->FindVariant(base.get(), 0.5f, 0.0f)->Draft);
    for (int restart = 0; restart < 3; ++restart) { // three assignments in a row
        engine.RefineDrafts();
        EXPECT_TRUE(engine.Refining());
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    engine.PreloadInstruments(/*Drafts=*/true); // a song loaded: stops refining again
    while (engine.Refining())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Every cancelled render ended at a chunk; the draft still plays the note.
    const auto note = cache->FindVariant(base.get(), 0.5f, 0.0f);
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->Draft);
    // A refinement left alone finishes the note.
    engine.RefineDrafts();
    while (engine.Refining())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(cache->FindVariant(base.get(), 0.5f, 0.0f)->Draft);
}

} // namespace

namespace {

// The meters read by a UI thread as fast as it can while the audio thread plays the song.
TEST(SongEngineRealtime, FeedingMetersReadByAnotherThreadAllocatesNothing) {
    DemoRun run;
    ASSERT_NO_FATAL_FAILURE(run.WarmUp());
    auto& meters = run.Engine.Mixer().Meters();
    meters.Discard();
    std::atomic<bool> done{false};
    std::atomic<int> pulls{0};
    std::uint64_t allocations = 0;
    const auto waits = brindle::RealtimeProbe::GetLockWaits();
    std::array<brindle::TLevel, brindle::TLevelMeters::Slots> taken{};
    std::array<float, brindle::TLevelMeters::Slots> loudest{};
    std::uint64_t masterSamples = 0;
    int reads = 0;
    {
        brindle::test::AllocationScope scope(brindle::test::CountOn::MarkedThreads);
        std::thread audio([&] {
            brindle::test::MarkThisThread();
            for (int i = 0; i < 2000; ++i) { // 20 s of song
                run.Pull();
                ++pulls;
            }
            brindle::test::MarkThisThread(false);
            done = true;
        });
        while (!done) {
            meters.TakeAll(taken);
            ++reads;
            for (std::size_t s = 0; s < taken.size(); ++s) loudest[s] = std::max(loudest[s], taken[s].Peak);
            masterSamples += taken[brindle::TLevelMeters::Master].Samples;
        }
        audio.join();
        allocations = scope.Count();
    }
    masterSamples += meters.Take(brindle::TLevelMeters::Master).Samples;
    EXPECT_EQ(allocations, 0u) << "allocations or frees on the audio thread";
    EXPECT_EQ(brindle::RealtimeProbe::GetLockWaits() - waits, 0u);
    EXPECT_EQ(pulls.load(), 2000);
    EXPECT_GT(reads, 100) << "the reader really competed";
    const int channelsHeard = int(std::count_if(loudest.begin(), loudest.end() - 1, [](float p) { return p > 0.01f; }));
    EXPECT_GE(channelsHeard, 2) << "the song's channels showed levels";
    EXPECT_GT(loudest[brindle::TLevelMeters::Master], 0.05f);
    EXPECT_LE(loudest[brindle::TLevelMeters::Master], 1.0f);
    // Every block fed the master: 2000 blocks of 441 stereo frames, none lost to the reader.
    EXPECT_EQ(masterSamples, std::uint64_t(2000) * 441 * 2);
}

} // namespace
