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

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

TEST(SongEngineRealtime, PlayingASongNeitherAllocatesNorOpensFilesNorWaits) {
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym"); // stretched, transposed, StopPrev, stop markers
    brindle::SongEngine engine(*song);
    ASSERT_TRUE(engine.PreloadInstruments().empty());
    TAudioX* output = engine.ApplySongEffects();
    ASSERT_NE(output, &engine.Mixer()); // the effects are in the chain

    std::vector<std::int16_t> block(441 * 2);
    engine.PlaySongFrom(1);
    while (engine.Playing()) output->PopData(block.data(), int(block.size() * 2)); // warm-up: the whole song

    engine.PlayPatternFrom(3, 1); // the busiest pattern, looping
    const auto opens = brindle::RealtimeProbe::GetFileOpens();
    const auto waits = brindle::RealtimeProbe::GetLockWaits();
    std::vector<std::int16_t> heard;
    heard.reserve(3000);
    std::uint64_t allocations = 0;
    {
        brindle::test::AllocationScope scope;
        for (int i = 0; i < 3000; ++i) { // 30 s
            output->PopData(block.data(), int(block.size() * 2));
            heard.push_back(block[0]);
        }
        allocations = scope.Count();
    }
    EXPECT_EQ(allocations, 0u) << "heap allocations or frees while playing";
    EXPECT_EQ(brindle::RealtimeProbe::GetFileOpens() - opens, 0u);
    EXPECT_EQ(brindle::RealtimeProbe::GetLockWaits() - waits, 0u);
    EXPECT_TRUE(engine.Playing());
    EXPECT_GT(song->CurRow, -1);
    const auto left = brindle::test::ChannelOf(heard, 1, 0);
    EXPECT_GT(brindle::test::Rms(left), 500.0) << "the run really played sound";
    EXPECT_TRUE(engine.Mixer().TakeProblems().empty());
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
