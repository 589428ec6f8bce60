// Sample edits measured on generated signals: levels, first and last frames, lengths, exact
// undo/redo, and files saved at the source's resolution.
#include "audio/soundlib/SampleFileWriter.h"
#include "audio/waveform/SampleEdit.h"
#include "base/Error.h"

#include "WaveImageTesting.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <numbers>

namespace fs = std::filesystem;
namespace bt = brindle::test;
using namespace brindle::waveform;
using brindle::soundlib::TSampleContainer;
using brindle::soundlib::TSampleFormat;
using brindle::soundlib::TSampleResolution;

namespace {

constexpr int Rate = 44100;

// Two channels that differ, every frame different, no exact zeros except where made so.
TSampleBuffer TwoTones(std::int64_t Frames = Rate) {
    TSampleBuffer b;
    b.Rate = Rate;
    b.Channels = 2;
    b.Data.resize(std::size_t(Frames * 2));
    for (std::int64_t f = 0; f < Frames; ++f) {
        const double t = double(f) / Rate;
        b.Data[std::size_t(2 * f)] = float(0.3 * std::sin(2 * std::numbers::pi * 440 * t + 0.1) + 1e-4);
        b.Data[std::size_t(2 * f + 1)] = float(0.2 * std::sin(2 * std::numbers::pi * 97 * t + 1));
    }
    return b;
}

float At(const TSampleBuffer& B, std::int64_t Frame, int Channel) {
    return B.Data[std::size_t(Frame * B.Channels + Channel)];
}

bool SameFrames(const TSampleBuffer& A, std::int64_t AFirst, const TSampleBuffer& B, std::int64_t BFirst,
                std::int64_t Count) {
    return std::equal(A.Data.begin() + AFirst * 2, A.Data.begin() + (AFirst + Count) * 2, B.Data.begin() + BFirst * 2);
}

// Frames outside R are bit for bit as before (for edits that keep the length).
void ExpectOutsideUnchanged(const TSampleBuffer& Before, const TSampleBuffer& After, TFrameRange R) {
    ASSERT_EQ(Before.Data.size(), After.Data.size());
    EXPECT_TRUE(SameFrames(Before, 0, After, 0, R.First));
    EXPECT_TRUE(SameFrames(Before, R.End(), After, R.End(), Before.Frames() - R.End()));
}

struct EditCase {
    const char* Name;
    TEdit Edit; // an empty range: the whole sample
    std::function<void(const TSampleBuffer& Before, const TSampleBuffer& After, TFrameRange R)> Check;
};

void LevelIs(const TSampleBuffer& After, TFrameRange R, double Db) {
    EXPECT_NEAR(ToDb(Peak(After, R)), Db, 0.01);
}

void GainIs(const TSampleBuffer& Before, const TSampleBuffer& After, TFrameRange R, double Db) {
    const double g = std::pow(10.0, Db / 20);
    for (std::int64_t f = R.First; f < R.End(); f += 97)
        for (int c = 0; c < 2; ++c) EXPECT_FLOAT_EQ(At(After, f, c), float(At(Before, f, c) * g));
    ExpectOutsideUnchanged(Before, After, R);
}

// Gain of frame i of a fade: After / Before, on the louder channel.
double FadeGain(const TSampleBuffer& Before, const TSampleBuffer& After, std::int64_t Frame) {
    const int c = std::abs(At(Before, Frame, 0)) > std::abs(At(Before, Frame, 1)) ? 0 : 1;
    return At(After, Frame, c) / At(Before, Frame, c);
}

void FadeIs(const TSampleBuffer& Before, const TSampleBuffer& After, TFrameRange R, bool In, bool EqualPower) {
    const std::int64_t silent = In ? R.First : R.End() - 1, kept = In ? R.End() - 1 : R.First;
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(At(After, silent, c), 0.0f) << "silent end, channel " << c;
        EXPECT_EQ(At(After, kept, c), At(Before, kept, c)) << "kept end, channel " << c;
    }
    // A quarter and halfway in: the curve's value there.
    for (double t : {0.25, 0.5}) {
        const std::int64_t i = std::llround(t * double(R.Count - 1));
        const double x = double(i) / double(R.Count - 1);
        const double expected = EqualPower ? std::sin((In ? x : 1 - x) * std::numbers::pi / 2) : (In ? x : 1 - x);
        EXPECT_NEAR(FadeGain(Before, After, R.First + i), expected, 1e-5) << "at " << t;
    }
    ExpectOutsideUnchanged(Before, After, R);
}

const TFrameRange Part{10000, 20000};

const std::vector<EditCase> Cases = {
    {"NormalizeToZeroDb", {TEditKind::Normalize, Part, 0.0},
     [](auto& B, auto& A, auto R) { LevelIs(A, R, 0.0); ExpectOutsideUnchanged(B, A, R); }},
    {"NormalizeToTypedLevel", {TEditKind::Normalize, Part, -6.5},
     [](auto& B, auto& A, auto R) { LevelIs(A, R, -6.5); ExpectOutsideUnchanged(B, A, R); }},
    {"NormalizeWholeSample", {TEditKind::Normalize, {}, -0.3},
     [](auto&, auto& A, auto R) { EXPECT_EQ(R.Count, A.Frames()); LevelIs(A, R, -0.3); }},
    {"GainUp", {TEditKind::Gain, Part, 6.0}, [](auto& B, auto& A, auto R) { GainIs(B, A, R, 6.0); }},
    {"GainDown", {TEditKind::Gain, Part, -12.5}, [](auto& B, auto& A, auto R) { GainIs(B, A, R, -12.5); }},
    {"GainWholeSample", {TEditKind::Gain, {}, 4.0}, [](auto& B, auto& A, auto R) { GainIs(B, A, R, 4.0); }},
    {"SilenceWholeSample", {TEditKind::Silence, {}},
     [](auto& B, auto& A, auto R) { EXPECT_EQ(Peak(A, R), 0.0f); EXPECT_EQ(A.Frames(), B.Frames()); }},
    {"FadeInWholeSample", {TEditKind::FadeIn, {}, 0, TFadeShape::Linear},
     [](auto& B, auto& A, auto R) { FadeIs(B, A, R, true, false); }},
    {"FadeInLinear", {TEditKind::FadeIn, Part, 0, TFadeShape::Linear},
     [](auto& B, auto& A, auto R) { FadeIs(B, A, R, true, false); }},
    {"FadeInEqualPower", {TEditKind::FadeIn, Part, 0, TFadeShape::EqualPower},
     [](auto& B, auto& A, auto R) { FadeIs(B, A, R, true, true); }},
    {"FadeOutLinear", {TEditKind::FadeOut, Part, 0, TFadeShape::Linear},
     [](auto& B, auto& A, auto R) { FadeIs(B, A, R, false, false); }},
    {"FadeOutEqualPowerWhole", {TEditKind::FadeOut, {}, 0, TFadeShape::EqualPower},
     [](auto& B, auto& A, auto R) { FadeIs(B, A, R, false, true); }},
    {"Reverse", {TEditKind::Reverse, Part},
     [](auto& B, auto& A, auto R) {
         for (std::int64_t i = 0; i < R.Count; ++i)
             ASSERT_TRUE(SameFrames(A, R.First + i, B, R.End() - 1 - i, 1)) << i;
         ExpectOutsideUnchanged(B, A, R);
     }},
    {"Silence", {TEditKind::Silence, Part},
     [](auto& B, auto& A, auto R) {
         EXPECT_EQ(Peak(A, R), 0.0f);
         EXPECT_NE(Peak(A, {R.First - 10, 10}), 0.0f);
         ExpectOutsideUnchanged(B, A, R);
     }},
    {"Crop", {TEditKind::Crop, Part},
     [](auto& B, auto& A, auto R) {
         ASSERT_EQ(A.Frames(), R.Count);
         EXPECT_TRUE(SameFrames(A, 0, B, R.First, R.Count));
     }},
    {"CropToTheEnd", {TEditKind::Crop, {30000, Rate - 30000}},
     [](auto& B, auto& A, auto R) {
         ASSERT_EQ(A.Frames(), Rate - 30000);
         EXPECT_TRUE(SameFrames(A, 0, B, R.First, R.Count));
     }},
    {"Delete", {TEditKind::Delete, Part},
     [](auto& B, auto& A, auto R) {
         ASSERT_EQ(A.Frames(), B.Frames() - R.Count);
         EXPECT_TRUE(SameFrames(A, 0, B, 0, R.First));
         EXPECT_TRUE(SameFrames(A, R.First, B, R.End(), B.Frames() - R.End()));
     }},
    {"DeleteOneFrame", {TEditKind::Delete, {5, 1}},
     [](auto& B, auto& A, auto) {
         ASSERT_EQ(A.Frames(), B.Frames() - 1);
         EXPECT_TRUE(SameFrames(A, 5, B, 6, 10));
     }},
};

class EachEdit : public ::testing::TestWithParam<EditCase> {};

// Each edit does what it says; undo gives back the source bit for bit and redo the edit bit for bit.
TEST_P(EachEdit, MeasuresRightAndUndoesExactly) {
    const EditCase& c = GetParam();
    TSampleEditor editor;
    editor.Load(TwoTones());
    const TSampleBuffer before = editor.Buffer();
    ASSERT_TRUE(editor.Apply(c.Edit));
    const TSampleBuffer after = editor.Buffer();
    c.Check(before, after, EditRange(before, c.Edit.Range));
    EXPECT_TRUE(editor.Modified());
    ASSERT_NE(editor.Undo(), nullptr);
    EXPECT_EQ(editor.Buffer().Data, before.Data);
    EXPECT_FALSE(editor.Modified());
    ASSERT_NE(editor.Redo(), nullptr);
    EXPECT_EQ(editor.Buffer().Data, after.Data);
    editor.Undo();
    EXPECT_EQ(editor.Buffer().Data, before.Data);
}

INSTANTIATE_TEST_SUITE_P(SampleEdit, EachEdit, ::testing::ValuesIn(Cases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(SampleEdit, ReverseOfReverseIsTheSourceBitForBit) {
    TSampleBuffer b = TwoTones(12345);
    const auto source = b.Data;
    Reverse(b, {0, 12345});
    EXPECT_NE(b.Data, source);
    Reverse(b, {0, 12345});
    EXPECT_EQ(b.Data, source);
}

TEST(SampleEdit, EditsThatChangeNothingMakeNoHistory) {
    TSampleEditor editor;
    editor.Load(TwoTones(1000));
    EXPECT_FALSE(editor.Apply({TEditKind::Crop, {}}));          // nothing selected
    EXPECT_FALSE(editor.Apply({TEditKind::Delete, {}}));
    EXPECT_FALSE(editor.Apply({TEditKind::Delete, {0, 1000}})); // never an empty sample
    EXPECT_FALSE(editor.Apply({TEditKind::Crop, {0, 1000}}));
    EXPECT_FALSE(editor.Apply({TEditKind::Gain, {}, 0.0}));
    EXPECT_FALSE(editor.Apply({TEditKind::Gain, {}, std::nan("")}));
    EXPECT_FALSE(editor.Apply({TEditKind::FadeIn, {3, 1}}));
    EXPECT_FALSE(editor.Apply({TEditKind::Silence, {5000, 10}})); // past the end, not the whole sample
    EXPECT_EQ(editor.UndoCount(), 0u);
    // A silent range cannot be normalized.
    editor.Apply({TEditKind::Silence, {100, 50}});
    EXPECT_FALSE(editor.Apply({TEditKind::Normalize, {100, 50}, 0.0}));
    EXPECT_EQ(editor.UndoCount(), 1u);
}

TEST(SampleEdit, ANewEditDropsTheRedosAndTheCleanStateBehindThem) {
    TSampleEditor editor;
    editor.Load(TwoTones(2000));
    editor.Apply({TEditKind::Gain, {}, 3.0});
    editor.SetClean();
    editor.Undo();
    EXPECT_TRUE(editor.Modified());
    EXPECT_TRUE(editor.CanRedo());
    editor.Apply({TEditKind::Reverse, {}});
    EXPECT_FALSE(editor.CanRedo());
    EXPECT_TRUE(editor.Modified());
    editor.Undo();
    EXPECT_TRUE(editor.Modified()); // the saved state cannot be reached any more
}

TEST(SampleEdit, HistoryHoldsOnlyTheFramesAnEditReplacedWithinItsBudget) {
    TSampleEditor editor;
    editor.Load(TwoTones(10000));
    editor.Apply({TEditKind::Gain, {1000, 500}, 2.0});
    EXPECT_EQ(editor.HeldBytes(), 500u * 2 * sizeof(float));
    editor.Apply({TEditKind::Reverse, {}}); // its own inverse: nothing held
    EXPECT_EQ(editor.HeldBytes(), 500u * 2 * sizeof(float));
    // A crop keeps the whole sound it was made from: undo and redo exchange the two.
    editor.Apply({TEditKind::Crop, {2000, 3000}});
    EXPECT_EQ(editor.HeldBytes(), (500u + 10000u) * 2 * sizeof(float));
    // Over the budget the oldest edits go; the newest always stays undoable.
    editor.MemoryBudget = 13000 * 2 * sizeof(float);
    editor.Apply({TEditKind::Silence, {}}); // 3000 frames more: the gain's 500 go
    EXPECT_EQ(editor.HeldBytes(), 13000u * 2 * sizeof(float));
    EXPECT_EQ(editor.UndoCount(), 3u);
    editor.MemoryBudget = 1;
    editor.Apply({TEditKind::Gain, {}, 1.0});
    EXPECT_EQ(editor.UndoCount(), 1u);
    EXPECT_TRUE(editor.Modified());
}

TEST(SampleEdit, ZeroCrossingsAreFoundNearAFrame) {
    // 100 Hz at 48 kHz crosses zero every 240 frames.
    TSampleBuffer b;
    b.Rate = 48000;
    b.Channels = 1;
    for (int f = 0; f < 4800; ++f) b.Data.push_back(float(0.5 * std::sin(2 * std::numbers::pi * 100 * f / 48000 + 0.01)));
    // The sign changes between frames 236 and 237 (phase 0.01 rad ahead); 237 is nearer zero.
    const std::int64_t k = NearestZeroCrossing(b, 250, 100);
    EXPECT_TRUE(std::signbit(b.Data[std::size_t(k - 1)]) != std::signbit(b.Data[std::size_t(k)]) ||
                std::signbit(b.Data[std::size_t(k)]) != std::signbit(b.Data[std::size_t(k + 1)]));
    EXPECT_NEAR(double(k), 240 - 0.01 / (2 * std::numbers::pi * 100 / 48000), 1.0);
    EXPECT_EQ(NearestZeroCrossing(b, 250, 5), 250); // none that near
    // A constant sound never crosses.
    TSampleBuffer dc{48000, 2, std::vector<float>(2000, 0.25f)};
    EXPECT_EQ(NearestZeroCrossing(dc, 500, 400), 500);
    // Stereo: the channels' sum decides.
    TSampleBuffer st{48000, 2, {0.5f, -0.2f, 0.1f, -0.4f, 0.3f, 0.3f}};
    EXPECT_EQ(NearestZeroCrossing(st, 2, 2), 1);
}

TEST(SampleEdit, ImageFromTheBufferMatchesTheStoresRule) {
    // A mono 16-bit sound as floats: the image is the loudest sample of each window.
    const auto pcm = bt::SineTone(1234, 2.0, Rate, 1, 0.7);
    TSampleBuffer b{Rate, 1, {}};
    for (auto v : pcm) b.Data.push_back(float(v) / 32768.0f);
    const auto image = PeakImageOf(b, 441);
    ASSERT_EQ(image.size(), 882u);
    const auto peaks = bt::WindowPeaks(pcm, Rate, 441, 882);
    for (std::size_t i = 0; i < image.size(); ++i) ASSERT_EQ(std::abs(int(image[i])), peaks[i]) << i;
    EXPECT_EQ(Pcm16(b), pcm);
    EXPECT_EQ(MonoPcm16(b, 100, 50), std::vector<std::int16_t>(pcm.begin() + 100, pcm.begin() + 150));
}

TEST(SampleEdit, AnImageUpdatedWhereTheSoundChangedEqualsOneBuiltAfresh) {
    for (TFrameRange r : {TFrameRange{0, 1}, TFrameRange{1234, 5678}, TFrameRange{44000, 100}, TFrameRange{99, 1}}) {
        TSampleBuffer b = TwoTones();
        auto image = PeakImageOf(b, 441);
        Gain(b, r, 9.0);
        UpdatePeakImage(b, 441, r, image);
        EXPECT_EQ(image, PeakImageOf(b, 441)) << r.First << "+" << r.Count;
    }
    // A new length makes a new image.
    TSampleBuffer b = TwoTones();
    auto image = PeakImageOf(b, 441);
    Delete(b, {0, 4410});
    UpdatePeakImage(b, 441, {0, 1}, image);
    EXPECT_EQ(image.size(), 396u); // 39690 frames at 441 of 44100
    EXPECT_EQ(image, PeakImageOf(b, 441));
}

TEST(SampleEdit, UndoRecordsReuseTheMemoryOfRecordsDropped) {
    TSampleEditor editor;
    editor.Load(TwoTones(200000));
    editor.Apply({TEditKind::Gain, {}, 1.0});
    EXPECT_EQ(editor.SpareBytes(), 0u);
    editor.Undo();
    editor.Apply({TEditKind::Gain, {}, 2.0}); // drops the first record, then takes its memory back
    EXPECT_EQ(editor.SpareBytes(), 0u);
    editor.Undo();
    editor.Apply({TEditKind::Silence, {0, 100}}); // the whole-sound record goes spare; a small one is new
    EXPECT_EQ(editor.SpareBytes(), 200000u * 2 * sizeof(float));
    editor.Apply({TEditKind::Gain, {}, 1.5});
    EXPECT_EQ(editor.SpareBytes(), 0u);
    // Spare memory stays within twice the sound.
    for (int i = 0; i < 4; ++i) editor.AddSpare(std::vector<float>(400000));
    EXPECT_LE(editor.SpareBytes(), 2u * 400000 * sizeof(float));
}

// ---- files ----

// Writes Frames of a ramp that uses every bit of 24-bit samples.
fs::path WriteDeep(const fs::path& Path, int Format, std::vector<int>& Ints) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = Format;
    SNDFILE* f = sf_open(Path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    Ints.resize(2 * 6000);
    for (std::size_t i = 0; i < Ints.size(); ++i)
        Ints[i] = int((std::int64_t(i) * 2654435761LL % 16000001 - 8000000) * 256); // 24 significant bits
    sf_writef_int(f, Ints.data(), 6000);
    sf_close(f);
    return Path;
}

std::vector<int> ReadInts(const fs::path& Path, SF_INFO& Info) {
    SNDFILE* f = sf_open(Path.c_str(), SFM_READ, &Info);
    EXPECT_NE(f, nullptr);
    std::vector<int> ints(std::size_t(Info.frames * Info.channels));
    sf_readf_int(f, ints.data(), Info.frames);
    sf_close(f);
    return ints;
}

struct SaveCase {
    const char* Name;
    const char* Source;
    int Format;
    TSampleFormat Expected;
    int Saved; // libsndfile's format of the saved file
};

class SavedResolution : public ::testing::TestWithParam<SaveCase> {};

// Loaded, saved in the probed format: every sample comes back as it was, at its own resolution.
TEST_P(SavedResolution, RoundTripsBitForBit) {
    const SaveCase& c = GetParam();
    bt::TempDir dir;
    std::vector<int> ints;
    const fs::path source = WriteDeep(dir / c.Source, c.Format, ints);
    const TSampleFormat probed = brindle::soundlib::ProbeSampleFormat(source);
    EXPECT_EQ(probed, c.Expected);
    const TSampleBuffer b = LoadSampleBuffer(source);
    ASSERT_EQ(b.Frames(), 6000);
    const fs::path saved = dir / (std::string("saved.") + brindle::soundlib::Extension(probed.Container));
    brindle::soundlib::WriteSampleFile(saved, b.Data.data(), b.Frames(), b.Channels, b.Rate, probed);
    SF_INFO in{}, out{};
    const auto a = ReadInts(source, in), z = ReadInts(saved, out);
    EXPECT_EQ(out.format, c.Saved);
    EXPECT_EQ(out.samplerate, 48000);
    EXPECT_EQ(a, z);
}

INSTANTIATE_TEST_SUITE_P(
    SampleEdit, SavedResolution,
    ::testing::Values(
        SaveCase{"Wav24", "deep.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, {TSampleContainer::Wav, TSampleResolution::Pcm24}, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        SaveCase{"Flac24", "deep.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, {TSampleContainer::Flac, TSampleResolution::Pcm24}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        SaveCase{"Wav16", "plain.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, {TSampleContainer::Wav, TSampleResolution::Pcm16}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        SaveCase{"Flac16", "plain.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, {TSampleContainer::Flac, TSampleResolution::Pcm16}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        SaveCase{"WavFloat", "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, {TSampleContainer::Wav, TSampleResolution::Float}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        SaveCase{"AiffBecomesWav", "deep.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, {TSampleContainer::Wav, TSampleResolution::Pcm24}, SF_FORMAT_WAV | SF_FORMAT_PCM_24}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(SampleEdit, FloatSourcesKeepValuesNoIntegerFormatHolds) {
    bt::TempDir dir;
    TSampleBuffer b{48000, 1, {}};
    for (int i = 0; i < 1000; ++i) b.Data.push_back(float(i) * 1.2345e-7f - 3e-5f);
    b.Data[7] = 1.5f; // over full scale stays over in float
    brindle::soundlib::WriteSampleFile(dir / "f.wav", b.Data.data(), b.Frames(), 1, 48000,
                                       {TSampleContainer::Wav, TSampleResolution::Float});
    const TSampleBuffer back = LoadSampleBuffer(dir / "f.wav");
    EXPECT_EQ(back.Data, b.Data);
    // The same into 16 bits is held at full scale.
    brindle::soundlib::WriteSampleFile(dir / "s.wav", b.Data.data(), b.Frames(), 1, 48000, {});
    SF_INFO info{};
    EXPECT_EQ(ReadInts(dir / "s.wav", info)[7], 32767 << 16);
}

TEST(SampleEdit, ANormalizedSaveHitsItsLevelInTheFile) {
    bt::TempDir dir;
    bt::WriteSoundFile(dir / "quiet.wav", bt::SineTone(440, 1.0, Rate, 2, 0.1), Rate, 2);
    TSampleEditor editor;
    editor.Load(LoadSampleBuffer(dir / "quiet.wav"));
    ASSERT_TRUE(editor.Apply({TEditKind::Normalize, {}, -1.0}));
    const auto& b = editor.Buffer();
    brindle::soundlib::WriteSampleFile(dir / "loud.wav", b.Data.data(), b.Frames(), 2, Rate,
                                       brindle::soundlib::ProbeSampleFormat(dir / "quiet.wav"));
    const TSampleBuffer back = LoadSampleBuffer(dir / "loud.wav");
    EXPECT_NEAR(ToDb(Peak(back, {0, back.Frames()})), -1.0, 0.01);
}

TEST(SampleEdit, OggStaysOggAndUnknownSourcesBecomeWav) {
    bt::TempDir dir;
    bt::WriteSoundFile(dir / "tone.ogg", bt::SineTone(440, 1.0, Rate, 2, 0.5), Rate, 2);
    const TSampleFormat ogg = brindle::soundlib::ProbeSampleFormat(dir / "tone.ogg");
    EXPECT_EQ(ogg.Container, TSampleContainer::Ogg);
    const TSampleBuffer b = LoadSampleBuffer(dir / "tone.ogg");
    brindle::soundlib::WriteSampleFile(dir / "again.ogg", b.Data.data(), b.Frames(), 2, Rate, ogg);
    const TSampleBuffer back = LoadSampleBuffer(dir / "again.ogg");
    EXPECT_EQ(back.Frames(), b.Frames());
    EXPECT_NEAR(ToDb(Peak(back, {1000, 10000})), ToDb(0.5), 0.5); // lossy, but the level holds
    EXPECT_EQ(brindle::soundlib::ProbeSampleFormat(dir / "missing.mp3"), TSampleFormat{});
}

TEST(SampleEdit, AFailedSaveSaysWhyAndLeavesNoFile) {
    bt::TempDir dir;
    const TSampleBuffer b = TwoTones(100);
    const fs::path target = dir / "no-such-folder" / "x.wav";
    EXPECT_THROW(brindle::soundlib::WriteSampleFile(target, b.Data.data(), b.Frames(), 2, Rate, {}), brindle::Error);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_THROW(LoadSampleBuffer(dir / "missing.wav"), brindle::Error);
}

} // namespace
