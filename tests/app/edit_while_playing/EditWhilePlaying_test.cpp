// The song edited in every way the window can while the engine plays it on another thread, as a
// device pulls it. Under ThreadSanitizer (scripts/sanitize tsan) this proves the edits and the audio
// thread share nothing unsynchronised; in the normal suite it proves playback stays sane: no crash,
// every published position inside the song, sound throughout, and a clean song plays exactly again.
#include "app/MasterEffects.h"
#include "app/SongEngine.h"
#include "song/Sequencer.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The device: pulls blocks of the engine's output on a thread of its own until told to stop.
class PullingDevice {
  public:
    explicit PullingDevice(TAudioX* Output) : Output(Output), Thread([this] { Run(); }) {}
    ~PullingDevice() { Stop(); }
    void Stop() {
        Done = true;
        if (Thread.joinable()) Thread.join();
    }
    std::atomic<int> Blocks{0};
    std::atomic<int> LoudBlocks{0};

  private:
    void Run() {
        std::vector<std::int16_t> block(441 * 2);
        while (!Done) {
            Output->PopData(block.data(), int(block.size() * 2));
            const auto left = brindle::test::ChannelOf(block, 2, 0);
            if (brindle::test::Rms(left) > 50.0) ++LoudBlocks;
            ++Blocks;
            // About a hundred times faster than a device: many blocks between two edits.
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    TAudioX* Output;
    std::atomic<bool> Done{false};
    std::thread Thread;
};

bool PositionValid(const cSequencer& Song) {
    const int order = Song.CurOrder, pattern = Song.CurPattern, row = Song.CurRow, mode = Song.PlayMode;
    return order >= 0 && order <= OrderCount + 1 && pattern >= 0 && pattern <= PatternCount && row >= 0 &&
           row < RowCapacity && (mode == PlayPatternLoop || mode == PlaySongMode || mode == PlayStopped);
}

class EditWhilePlaying : public ::testing::Test {
  protected:
    brindle::test::TempDir dir;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    std::vector<std::string> files;

    void SetUp() override {
        for (int i = 0; i < 4; ++i)
            files.push_back(
                brindle::test::WriteSineWav(dir / ("tone" + std::to_string(i) + ".wav"), 220.0 * (i + 1), 0.4, 44100, 2)
                    .string());
        // Four patterns of notes on every row, played in order twice.
        for (int p = 1; p <= 4; ++p) {
            song->SetInstrumentFile(p, files[size_t(p - 1)]);
            for (int r = 0; r < 16; ++r)
                for (int c = 0; c < 4; ++c) song->PatternAt(p).CellForWrite(c, r) = {p, float(c)};
        }
        for (int i = 0; i < 8; ++i) song->Orders[i].PatternIndex = i % 4 + 1;
        song->SetBPM(240);
    }
};

TEST_F(EditWhilePlaying, EveryEditWhileTheEnginePlaysIsSafeAndPlaybackStaysSane) {
    brindle::SongEngine engine(*song);
    ASSERT_TRUE(engine.PreloadInstruments().empty());
    TAudioX* output = engine.ApplySongEffects();
    engine.PlaySongFrom(1);
    PullingDevice device(output);

    std::mt19937 random(7);
    const auto pick = [&](int Low, int High) { return std::uniform_int_distribution<int>(Low, High)(random); };
    int invalid = 0, edits = 0, restarts = 0;
    // Long enough for the audio thread to mix many blocks between the edits, also under a sanitizer.
    const auto until = Clock::now() + std::chrono::milliseconds(2500);
    // Two rounds of New or Open at least (every 1400 edits).
    while (Clock::now() < until || device.Blocks < 200 || edits < 2800) {
        const int pattern = pick(1, 6), channel = pick(0, 7), row = pick(0, 40), ins = pick(1, 6);
        switch (edits++ % 14) {
        case 0: // a note, a stop marker, an erased cell
            StoreStep(song->PatternAt(pattern).CellForWrite(channel, row),
                      cStep{pick(-1, 5), float(pick(-12, 12))});
            break;
        case 1:
            song->PatternAt(pattern).StoreRowCount(pick(1, 48));
            break;
        case 2:
            pick(0, 1) ? song->InsertRow(pattern, channel, row) : song->DeleteRow(pattern, channel, row);
            break;
        case 3:
            song->InsertOrder(pick(1, 10));
            song->Orders[size_t(pick(0, 9))].StorePatternIndex(pick(1, 6));
            break;
        case 4:
            song->DeleteOrder(pick(1, 10));
            break;
        case 5: // assign, and clear, a slot
            if (pick(0, 3) == 0)
                song->InstrumentAt(ins).SetFileName({});
            else
                song->SetInstrumentFile(ins, files[size_t(pick(0, 3))]);
            break;
        case 6: {
            auto& slot = song->InstrumentAt(ins);
            slot.StoreVolume(float(pick(0, 100)) / 100.0f);
            slot.StorePitch(float(pick(-5, 5)));
            slot.StoreStretch(pick(0, 1) ? 1.0f : 0.5f);
            slot.StoreStopPrev(pick(0, 1));
            break;
        }
        case 7:
            song->ToggleMute(channel);
            break;
        case 8:
            pick(0, 1) ? song->Solo(channel) : song->UnmuteAll();
            break;
        case 9:
            song->SetBPM(float(pick(60, 400)));
            break;
        case 10: { // the effects panel
            song->Effects.ReverbEnabled = pick(0, 1);
            song->Effects.EqEnabled = pick(0, 1);
            song->Effects.ReverbLevel = float(pick(0, 10)) / 10.0f;
            engine.ApplySongEffects();
            break;
        }
        case 11: // a live note and a preview, as the keys and the instrument list play them
            song->PreviewInstrument(ins, float(pick(-3, 3)), KeyTag('Q'));
            engine.Mixer().RemoveByTag(KeyTag('Q'));
            song->PreviewInstrument(ins);
            break;
        case 12: // the window's timers
            engine.LoadPending();
            if (edits % 140 == 13) engine.PrepareNewNotes();
            break;
        case 13: // New or Open now and then, the song playing on
            if (edits % 1400 == 14) {
                song->Reset();
                for (int p = 1; p <= 4; ++p) song->SetInstrumentFile(p, files[size_t(p - 1)]);
                for (int i = 0; i < 8; ++i) song->Orders[i].StorePatternIndex(i % 4 + 1);
            }
            break;
        }
        if (!PositionValid(*song)) ++invalid;
        if (!engine.Playing()) {
            ++restarts;
            pick(0, 1) ? engine.PlaySongFrom(pick(1, 8)) : engine.PlayPatternFrom(pick(1, 4), pick(1, 16));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    device.Stop();
    EXPECT_EQ(invalid, 0) << "positions outside the song";
    EXPECT_GE(device.Blocks.load(), 200);
    EXPECT_GT(device.LoudBlocks.load(), device.Blocks.load() / 10) << "the song was heard while edited";
    std::printf("%d edits over %d blocks, %d restarts\n", edits, device.Blocks.load(), restarts);
}

// After a storm of edits, a song put back in order plays exactly as a fresh one: nothing of the
// edits lingers in the player's grid or position.
TEST_F(EditWhilePlaying, AfterTheEditsTheSongPlaysItsRowsOnTheirFrames) {
    std::vector<std::pair<int, std::int64_t>> heard; // pattern, row frame
    std::int64_t blockStart = 0;
    song->OnQueuePlayback = [&](cSequencer*, const std::string&, float Offset, float, float, float, int Key,
                                int Instrument) {
        if (Key == 0) heard.push_back({Instrument, blockStart + std::int64_t(Offset * 44100)});
    };
    std::mt19937 random(11);
    song->PlaySong(1);
    for (int i = 0; i < 3000; ++i, blockStart += 441) {
        if (i % 7 == 0) song->SetBPM(float(60 + random() % 300));
        if (i % 11 == 0) song->PatternAt(int(random() % 4) + 1).StoreRowCount(int(random() % 30) + 1);
        if (i % 13 == 0) {
            const int position = int(random() % 8) + 1;
            random() % 2 ? song->InsertOrder(position) : song->DeleteOrder(position);
        }
        song->MixFrames(blockStart, 441, 44100);
        ASSERT_TRUE(PositionValid(*song)) << i;
        if (song->PlayMode == PlayStopped) {
            song->PlaySong(1);
            blockStart = -441; // every start begins the clock at 0
        }
    }
    song->Reset();
    SetUp();
    heard.clear();
    song->PlaySong(1);
    for (blockStart = 0; song->PlayMode != PlayStopped; blockStart += 441) song->MixFrames(blockStart, 441, 44100);
    ASSERT_EQ(heard.size(), 8u * 16);
    for (std::size_t i = 0; i < heard.size(); ++i) {
        EXPECT_EQ(heard[i].first, int(i / 16) % 4 + 1) << i;
        EXPECT_EQ(heard[i].second, std::int64_t(i) * 2756 + std::int64_t(i) / 4) << i; // 2756.25-frame rows
    }
}

} // namespace
