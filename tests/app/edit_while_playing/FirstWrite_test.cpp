// A channel gets its cell storage on its first write, while the engine may be mixing the pattern on
// another thread. The note written first into a silent, never-written pattern is heard at its
// pitch, and a storm of first writes into fresh patterns and channels while the song plays leaves
// playback sane. Under ThreadSanitizer this proves the storage is published safely.
#include "app/SongEngine.h"
#include "song/Sequencer.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double ToneHz = 440.0;

// Pulls the engine's output as a device would, faster than real time, and sorts each 10 ms block:
// silent, or loud with the tone's pitch (and not its octave) dominating.
class ListeningDevice {
  public:
    explicit ListeningDevice(TAudioX* Output) : Output(Output), Thread([this] { Run(); }) {}
    ~ListeningDevice() { Stop(); }
    void Stop() {
        Done = true;
        if (Thread.joinable()) Thread.join();
    }
    std::atomic<int> Blocks{0}, LoudBlocks{0}, ToneBlocks{0};

  private:
    void Run() {
        std::vector<std::int16_t> block(441 * 2);
        while (!Done) {
            Output->PopData(block.data(), int(block.size() * 2));
            const auto left = brindle::test::ChannelOf(block, 2, 0);
            if (brindle::test::Rms(left) > 50.0) {
                ++LoudBlocks;
                const double tone = brindle::test::GoertzelAmplitude(left, ToneHz, 44100);
                const double octave = brindle::test::GoertzelAmplitude(left, 2 * ToneHz, 44100);
                if (tone > 4 * octave) ++ToneBlocks;
            }
            ++Blocks;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    TAudioX* Output;
    std::atomic<bool> Done{false};
    std::thread Thread;
};

template <typename F> bool WaitFor(F Done, std::chrono::milliseconds Limit = std::chrono::milliseconds(10000)) {
    const auto until = Clock::now() + Limit;
    while (!Done()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class FirstWrite : public ::testing::Test {
  protected:
    brindle::test::TempDir dir;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    void SetUp() override {
        song->SetInstrumentFile(1, brindle::test::WriteSineWav(dir / "a.wav", ToneHz, 0.2, 44100, 2).string());
        song->SetBPM(240);
    }
};

TEST_F(FirstWrite, TheFirstNoteOfANeverWrittenPatternSoundsWhilePlaying) {
    brindle::SongEngine engine(*song);
    ASSERT_TRUE(engine.PreloadInstruments().empty());
    TAudioX* output = engine.ApplySongEffects();
    engine.PlayPatternFrom(1, 1);
    ListeningDevice device(output);

    // A full loop of the empty pattern (16 rows of 62.5 ms) and more: silence.
    ASSERT_TRUE(WaitFor([&] { return device.Blocks >= 150; }));
    EXPECT_EQ(device.LoudBlocks.load(), 0);
    EXPECT_EQ(song->AllocatedPatterns(), 0);

    song->PatternAt(1).SetCell(2, 0, {1, 0.0f});
    EXPECT_EQ(song->AllocatedPatterns(), 1);
    EXPECT_EQ(song->PatternAt(1).AllocatedChannels(), 1);
    const int at = device.Blocks;
    // The next loop plays it: 200 ms of tone, twenty blocks, each loop.
    EXPECT_TRUE(WaitFor([&] { return device.ToneBlocks >= 15; })) << device.ToneBlocks << " tone blocks";
    EXPECT_TRUE(engine.Playing());
    device.Stop();
    EXPECT_LE(device.Blocks - at, 250) << "heard within two loops of the write";
    EXPECT_EQ(device.LoudBlocks.load(), device.ToneBlocks.load()) << "every loud block is the note";
}

TEST_F(FirstWrite, FirstWritesIntoFreshPatternsWhileTheSongPlaysAreSafe) {
    for (int i = 0; i < 8; ++i) song->Orders[i].PatternIndex = i + 1;
    brindle::SongEngine engine(*song);
    ASSERT_TRUE(engine.PreloadInstruments().empty());
    TAudioX* output = engine.ApplySongEffects();
    engine.PlaySongFrom(1);
    ListeningDevice device(output);

    std::mt19937 random(3);
    const auto pick = [&](int Low, int High) { return std::uniform_int_distribution<int>(Low, High)(random); };
    int writes = 0;
    const auto until = Clock::now() + std::chrono::milliseconds(1500);
    while (Clock::now() < until || writes < 2000) {
        // Mostly the first cell of a channel not written yet; now and then a New, which keeps storage.
        const int pattern = pick(1, 8), channel = pick(0, ChannelCount - 1), row = pick(0, 15);
        song->PatternAt(pattern).SetCell(channel, row, {pick(0, 1), float(pick(-3, 3))});
        if (++writes % 700 == 0) {
            song->Reset();
            song->SetBPM(240);
            song->SetInstrumentFile(1, (dir / "a.wav").string());
            for (int i = 0; i < 8; ++i) song->Orders[i].StorePatternIndex(i + 1);
        }
        if (!engine.Playing()) engine.PlaySongFrom(pick(1, 8));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(WaitFor([&] { return device.Blocks >= 200; }));
    device.Stop();
    EXPECT_LE(song->AllocatedPatterns(), 8);
    EXPECT_GT(song->AllocatedPatterns(), 0);
    EXPECT_GT(device.LoudBlocks.load(), 0) << "the notes written were heard";
}

} // namespace
