#include "app/SongEngine.h"
#include "app/SongRender.h"
#include "base/Error.h"
#include "base/RegString.h"
#include "song/Sequencer.h"
#include "support/Measure.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <thread>

namespace fs = std::filesystem;
using namespace brindle::test;

namespace {

constexpr int Rate = 44100;
constexpr int BlockFrames = 440; // the render's 0.01 s blocks

class SongRender : public ::testing::Test {
  protected:
    TempDir dir;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();

    // A stereo sample holding one constant value, so every sample of the output can be predicted.
    std::string constantSample(const std::string& name, std::int16_t value, std::int64_t frames) {
        const auto path = dir / name;
        WriteSoundFile(path, ConstantTone(value, frames, 2), Rate, 2);
        return path.string();
    }
    void note(int channel, int row, int ins) { song->PatternAt(1).CellForWrite(channel, row) = {ins, 0}; }
    brindle::RenderReport render(const std::string& out, float tail = 0) {
        brindle::SongEngine engine(*song, false);
        brindle::RenderOptions options;
        options.OutputFile = (dir / out).string();
        options.TailSeconds = tail;
        return brindle::RenderSong(engine, options);
    }
    // Instrument 1: half a second of 440 Hz slowed to half speed, in a pattern of Rows rows.
    fs::path slowedTone(int Rows) {
        const auto tone = dir / "tone.wav";
        WriteSineWav(tone, 440, 0.5, Rate, 2);
        song->SetInstrumentFile(1, tone.string());
        song->InstrumentAt(1).StoreStretch(0.5f);
        song->PatternAt(1).RowCount = Rows;
        song->Orders[0].PatternIndex = 1;
        return tone;
    }
    static std::int64_t rowFrame(int row, double bpm = 120) {
        return std::int64_t(std::floor(row * 15.0 / bpm * Rate + 1e-6));
    }
};

TEST_F(SongRender, EveryNoteStartsOnItsRowsFrame) {
    song->SetInstrumentFile(1, constantSample("a.wav", 1000, 100));
    song->SetInstrumentFile(2, constantSample("b.wav", 3000, 50));
    song->InstrumentAt(2).Volume = 0.5f;
    song->PatternAt(1).RowCount = 16;
    song->Orders[0].PatternIndex = 1;
    const int rowsA[] = {0, 3, 8, 13};
    for (int r : rowsA)
        note(0, r, 1);
    note(7, 5, 2);
    note(7, 15, 2);
    const auto report = render("out.raw");
    EXPECT_TRUE(report.Problems.empty());

    const auto pcm = ReadRawPcm(dir / "out.raw");
    const std::int64_t frames = std::int64_t(pcm.size() / 2);
    // The song is 2 s long; rendering ends one block after the block in which it stopped.
    EXPECT_GE(frames, 2 * Rate);
    EXPECT_LE(frames, 2 * Rate + 3 * BlockFrames);
    EXPECT_EQ(frames % BlockFrames, 0);

    std::vector<std::int32_t> expected(pcm.size(), 0);
    auto place = [&](std::int64_t start, std::int64_t length, int value) {
        for (std::int64_t f = start; f < start + length && f < frames; ++f) {
            expected[size_t(f) * 2] += value;
            expected[size_t(f) * 2 + 1] += value;
        }
    };
    for (int r : rowsA)
        place(rowFrame(r), 100, 1000);
    place(rowFrame(5), 50, 1500);
    place(rowFrame(15), 50, 1500);
    std::int64_t mismatches = 0, first = -1;
    for (size_t i = 0; i < pcm.size(); ++i)
        if (pcm[i] != expected[i]) {
            ++mismatches;
            if (first < 0) first = std::int64_t(i / 2);
        }
    EXPECT_EQ(mismatches, 0) << "first wrong frame " << first;
}

TEST_F(SongRender, StopMarkersAndStopPrevCutOnTheRowsFrameWithAShortFade) {
    song->SetInstrumentFile(1, constantSample("long.wav", 8000, Rate * 2));
    song->SetInstrumentFile(2, constantSample("cut.wav", 4000, Rate * 2));
    song->InstrumentAt(2).StopPrev = true;
    song->PatternAt(1).RowCount = 16;
    song->Orders[0].PatternIndex = 1;
    note(0, 0, 1);
    note(0, 4, -1); // stop marker at 0.5 s
    note(1, 0, 1);
    note(1, 6, 2); // StopPrev: the first note is cut, the new one plays on
    render("cut.raw");
    const auto pcm = ReadRawPcm(dir / "cut.raw");
    const auto left = ChannelOf(pcm, 2, 0);
    const auto stop = rowFrame(4), prev = rowFrame(6);
    const int fade = Rate * 3 / 1000;
    EXPECT_EQ(left[size_t(stop) - 1], 16000);
    // Between the stop and the StopPrev note only channel 1's first note sounds, after the fade.
    EXPECT_EQ(left[size_t(stop + fade + 1)], 8000);
    for (std::int64_t f = stop; f < stop + fade; ++f)
        EXPECT_LE(left[size_t(f)], 16000) << f;
    EXPECT_EQ(left[size_t(prev) - 1], 8000);
    // At the StopPrev note the old voice fades out while the new one starts at once.
    EXPECT_GE(left[size_t(prev)], 4000);
    EXPECT_EQ(left[size_t(prev + fade + 1)], 4000);
}

TEST_F(SongRender, LeftoverVoicesDoNotLeakAndMissingFilesAreNamedOnce) {
    song->SetInstrumentFile(1, (dir / "gone.wav").string());
    song->SetInstrumentFile(2, constantSample("x.wav", 500, 10));
    song->PatternAt(1).RowCount = 4;
    song->Orders[0].PatternIndex = 1;
    for (int r = 0; r < 4; ++r)
        note(0, r, 1);
    brindle::SongEngine engine(*song, false);
    const auto loud = constantSample("loud.wav", 20000, Rate * 5);
    engine.Mixer().GetSampleCache()->Load(loud);
    ASSERT_TRUE(engine.Mixer().AddToMix(loud, 1, 1, 0, 0, 42)); // a key still held down
    brindle::RenderOptions options;
    options.OutputFile = (dir / "quiet.wav").string();
    const auto report = brindle::RenderSong(engine, options);
    ASSERT_EQ(report.Problems.size(), 1u);
    EXPECT_NE(report.Problems[0].find("gone.wav"), std::string::npos);
    EXPECT_NEAR(report.Seconds, 0.5, 0.03);
    const auto r = RunProcess({"sox", options.OutputFile, "-n", "stat"});
    EXPECT_NE(r.err.find("Maximum amplitude:     0.000000"), std::string::npos) << r.err;
}

TEST_F(SongRender, TailLetsTheLastNoteRingOut) {
    song->SetInstrumentFile(1, constantSample("ring.wav", 1000, Rate)); // 1 s note
    song->PatternAt(1).RowCount = 2;
    song->Orders[0].PatternIndex = 1;
    note(0, 1, 1); // starts at 0.125 s, the song ends at 0.25 s
    const double plain = render("a.raw").Seconds;
    EXPECT_NEAR(plain, 0.25, 0.03);
    const double capped = render("b.raw", 0.3f).Seconds;
    EXPECT_NEAR(capped, 0.55, 0.03);
    const double full = render("c.raw", 5).Seconds;
    EXPECT_NEAR(full, 1.125, 0.03); // ends when the voice does
    const auto pcm = ReadRawPcm(dir / "c.raw");
    EXPECT_EQ(pcm[size_t(rowFrame(1) + Rate - 1) * 2], 1000);
}

TEST_F(SongRender, QueueHandlerTracesWithTheFixedTexts) {
    song->SetInstrumentFile(1, constantSample("t.wav", 100, 10));
    brindle::SongEngine engine(*song, false);
    engine.SetTraceEnabled(true);
    engine.Player().PreviewInstrument(1, 0, 17);
    const auto lines = engine.TakeTraceLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\"MainForm::OnQueuePlayback\"(form_main_src):220:MainForm::OnQueuePlayback");
    EXPECT_EQ(lines[1], "Tolm.seq->OnQueuePlayback_Key(form_main_src):221:17");
}

TEST_F(SongRender, DemoRendersToMp3WithTheSongsDuration) {
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
    const auto report = render("demo.mp3");
    EXPECT_TRUE(report.Problems.empty());
    const auto probe = RunProcess({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                                   "default=noprint_wrappers=1:nokey=1", (dir / "demo.mp3").string()});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_NEAR(std::stod(probe.out), song->SongLengthSeconds(), 0.1);
}

TEST_F(SongRender, DemoWithEffectsIsAudibleAndClean) {
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
    render("demo.raw");
    const auto pcm = ReadRawPcm(dir / "demo.raw");
    const auto left = ChannelOf(pcm, 2, 0);
    EXPECT_NEAR(double(left.size()) / Rate, song->SongLengthSeconds(), 0.03);
    EXPECT_GT(Rms(left), 300.0);
    // Sound all the way through: every second of the song carries signal (the end is a fade).
    for (size_t s = 0; s + 2 * Rate <= left.size(); s += Rate)
        EXPECT_GT(Rms(left, s, s + Rate), 100.0) << "second " << s / Rate;
}

TEST(RenderCli, ExitCodesAndMessages) {
    TempDir dir;
    const std::string demo = BRINDLE_SOURCE_DIR "/examples/demo.hym";
    auto r = RunCli({"render", demo, (dir / "x.aiff").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("File type - ..aiff not supported."), std::string::npos) << r.err;
    r = RunCli({"render", demo, (dir / "no" / "dir" / "x.wav").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(fs::exists(dir / "no"));
    r = RunCli({"render", (dir / "missing.hym").string(), (dir / "x.wav").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(fs::exists(dir / "x.wav"));
    EXPECT_EQ(RunCli({"render", demo}).exitCode, 2);
    EXPECT_EQ(RunCli({"render", demo, (dir / "x.wav").string(), "--tail"}).exitCode, 2);
    EXPECT_EQ(RunCli({"render", demo, (dir / "x.wav").string(), "--bitrate", "fast"}).exitCode, 2);

    const auto out = dir / "it's a $(touch pwned) \"song\".wav";
    r = RunCli({"render", demo, out.string(), "--tail", "0.5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(out));
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_NE(r.err.find("wrote "), std::string::npos);
}

} // namespace

namespace {

TEST(SongEngineSettings, VoicePoolComesFromTheSetting) {
    TempDir dir;
    brindle::SetSettingsFolder(dir.path().string());
    auto song = std::make_unique<cSequencer>();
    TRegString pool("VoicePool", "");
    pool.SetInt(32);
    EXPECT_EQ(brindle::SongEngine(*song, false).Mixer().GetPoolSize(), 32);
    pool.Set("lots");
    EXPECT_EQ(brindle::SongEngine(*song, false).Mixer().GetPoolSize(), TLiveMixer::DefaultPoolSize);
    pool.SetInt(1);
    EXPECT_EQ(brindle::SongEngine(*song, false).Mixer().GetPoolSize(), 16);
    EXPECT_EQ(brindle::SongEngine(*song, false, 8).Mixer().GetPoolSize(), 8); // an explicit size wins
    brindle::SetSettingsFolder({});
}

} // namespace

TEST_F(SongRender, AnExportBesideLivePlaybackLeavesBothRunsWhole) {
    song->SetInstrumentFile(1, constantSample("a.wav", 1000, 100));
    song->PatternAt(1).RowCount = 16;
    song->Orders[0].PatternIndex = 1;
    for (int r = 0; r < 16; r += 4)
        note(0, r, 1);
    song->PatternAt(1).CellForWrite(0, 2) = {1, 0};
    const std::int64_t liveRow2 = rowFrame(2);

    // Live playback, pulled by hand as the device would, stopped halfway through row 1.
    brindle::SongEngine live(*song, true, 16);
    ASSERT_TRUE(live.PreloadInstruments().empty());
    live.PlaySongFrom(1);
    std::vector<std::int16_t> block(2 * BlockFrames);
    std::int64_t pulled = 0;
    while (pulled + BlockFrames <= rowFrame(1)) {
        live.Output()->PopData(block.data(), int(block.size() * 2));
        pulled += BlockFrames;
    }
    const int liveRow = song->CurRow;

    // The export plays the whole song through its own run.
    render("export.raw");
    const auto pcm = ReadRawPcm(dir / "export.raw");
    for (int r = 0; r < 16; r += 4)
        EXPECT_EQ(pcm[size_t(rowFrame(r)) * 2], 1000) << r;

    // Live playback goes on where it was: same position, notes still reach its mixer.
    EXPECT_TRUE(live.Playing());
    EXPECT_EQ(song->CurRow, liveRow);
    std::int64_t heard = -1;
    while (pulled < rowFrame(3) && heard < 0) {
        live.Output()->PopData(block.data(), int(block.size() * 2));
        for (int f = 0; f < BlockFrames && heard < 0; ++f)
            if (block[size_t(f) * 2] != 0) heard = pulled + f;
        pulled += BlockFrames;
    }
    EXPECT_EQ(heard, liveRow2);
}

TEST_F(SongRender, TheStretchQualityOptionPreparesNotesWithThatStretcher) {
    // A 440 Hz tone slowed to half speed: what is left after the best-fitting 440 Hz sine is the
    // stretcher's distortion, far lower with the finer one.
    slowedTone(8);
    note(0, 0, 1);
    const auto residualDb = [&](brindle::soundlib::StretchQuality Quality, const std::string& Out) {
        brindle::SongEngine engine(*song, false);
        brindle::RenderOptions options;
        options.OutputFile = (dir / Out).string();
        options.TailSeconds = 2;
        options.StretchQuality = Quality;
        EXPECT_NEAR(brindle::RenderSong(engine, options).Seconds, 1.0, 0.03);
        EXPECT_EQ(engine.Mixer().GetSampleCache()->GetStretchQuality(), Quality);
        const auto left = ChannelOf(ReadRawPcm(dir / Out), 2, 0);
        const size_t from = Rate / 5, to = from + Rate / 2;
        double c = 0, s = 0;
        for (size_t i = from; i < to; ++i) {
            c += left[i] * std::cos(2 * std::numbers::pi * 440 * double(i) / Rate);
            s += left[i] * std::sin(2 * std::numbers::pi * 440 * double(i) / Rate);
        }
        c *= 2.0 / double(to - from);
        s *= 2.0 / double(to - from);
        double rest = 0, all = 0;
        for (size_t i = from; i < to; ++i) {
            const double fit = c * std::cos(2 * std::numbers::pi * 440 * double(i) / Rate) +
                               s * std::sin(2 * std::numbers::pi * 440 * double(i) / Rate);
            rest += (left[i] - fit) * (left[i] - fit);
            all += left[i] * left[i];
        }
        return 10 * std::log10(rest / all);
    };
    const double standard = residualDb(brindle::soundlib::StretchQuality::Standard, "standard.raw");
    const double best = residualDb(brindle::soundlib::StretchQuality::Best, "best.raw");
    EXPECT_LT(standard, -15.0);
    EXPECT_LT(best, standard - 10.0) << "standard " << standard << " dB, best " << best << " dB";
}

TEST_F(SongRender, TheFinerStretcherRefinesDraftsBehindTheWindowAndStopsWithTheEngine) {
    const auto tone = slowedTone(16);
    for (int row = 0; row < 12; ++row)
        song->PatternAt(1).CellForWrite(0, row) = {1, float(row)}; // twelve notes, each its own variant
    const auto variantAt = [&](brindle::SongEngine& Engine, float Pitch) {
        auto& cache = *Engine.Mixer().GetSampleCache();
        return cache.FindVariant(cache.Find(tone.string()).get(), 0.5f, Pitch);
    };
    {
        brindle::SongEngine engine(*song, true, 16);
        engine.SetRefinerNice(0); // not starved by the tests running beside this one
        engine.Mixer().GetSampleCache()->SetStretchQuality(brindle::soundlib::StretchQuality::Best);
        ASSERT_TRUE(engine.PreloadInstruments(/*Drafts=*/true).empty());
        for (int row = 0; row < 12; ++row) {
            const auto draft = variantAt(engine, float(row));
            ASSERT_NE(draft, nullptr) << row;
            EXPECT_TRUE(draft->Draft) << row;
        }
        engine.RefineDrafts();
        for (int wait = 0; engine.Refining() && wait < 6000; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_FALSE(engine.Refining());
        for (int row = 0; row < 12; ++row)
            EXPECT_FALSE(variantAt(engine, float(row))->Draft) << row;
    }
    // An engine that goes while its drafts are being refined stops the work instead of waiting
    // for all of it, and leaves nothing running on a freed cache.
    brindle::SongEngine engine(*song, true, 16);
    engine.SetRefinerNice(0);
    engine.Mixer().GetSampleCache()->SetStretchQuality(brindle::soundlib::StretchQuality::Best);
    ASSERT_TRUE(engine.PreloadInstruments(true).empty());
    engine.RefineDrafts();
    EXPECT_TRUE(engine.Refining());
    ASSERT_TRUE(engine.PreloadInstruments(true).empty()); // a new preload stops the old work first
    // The cancelled run ends at its next chunk, long before twelve notes could be refined.
    for (int wait = 0; engine.Refining() && wait < 3000; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(engine.Refining());
}

namespace {

// After a preload, only notes that have no variant yet are made; the others stay the ones the
// mixer already plays, and a draft of the finer stretcher made now is refined as well.
TEST_F(SongRender, NewNotesArePreparedAndPreparedOnesStayAsTheyWere) {
    const auto tone = slowedTone(16);
    song->PatternAt(1).CellForWrite(0, 0) = {1, 3.0f};
    brindle::SongEngine engine(*song, true, 16);
    engine.SetRefinerNice(0);
    auto& cache = *engine.Mixer().GetSampleCache();
    const auto variantAt = [&](float Speed, float Pitch) {
        return cache.FindVariant(cache.Find(tone.string()).get(), Speed, Pitch);
    };
    ASSERT_TRUE(engine.PreloadInstruments(/*Drafts=*/true).empty());
    const auto first = variantAt(0.5f, 3.0f);
    ASSERT_NE(first, nullptr);

    song->PatternAt(1).CellForWrite(0, 4) = {1, 7.0f};
    EXPECT_EQ(variantAt(0.5f, 7.0f), nullptr);
    engine.PrepareNewNotes();
    EXPECT_NE(variantAt(0.5f, 7.0f), nullptr);
    EXPECT_EQ(variantAt(0.5f, 3.0f), first) << "a prepared note is not made again";

    song->InstrumentAt(1).StoreStretch(0.8f);
    cache.SetStretchQuality(brindle::soundlib::StretchQuality::Best);
    engine.PrepareNewNotes();
    ASSERT_NE(variantAt(0.8f, 3.0f), nullptr);
    EXPECT_TRUE(variantAt(0.8f, 3.0f)->Draft);
    for (int wait = 0; engine.Refining() && wait < 6000; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(variantAt(0.8f, 3.0f)->Draft);
    EXPECT_FALSE(variantAt(0.8f, 7.0f)->Draft);
}

} // namespace
