// The cut editor's edits driven as a user would: select with the mouse or keys, press an edit's
// button or key, undo and redo, zoom, snap, save; results read from the edited sound and the
// saved files.
#include "audio/nodes/PlayStream.h"
#include "audio/waveform/SampleEdit.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "support/ui/Eventually.h"
#include "ui/dialogs/SampleCutForm.h"
#include "ui/views/AudioView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QToolButton>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <deque>
#include <functional>
#include <numbers>

using namespace brindle::test;
using namespace brindle::waveform;
namespace fs = std::filesystem;

namespace {

constexpr int Rate = 44100;
constexpr std::int64_t Frames = Rate * 2;

class SampleEditForm : public ::testing::Test {
protected:
    TempDir dir;
    TSampleCutForm form;
    std::vector<std::string> messages;
    std::string saveAs;
    std::deque<double> decibels; // answers to the level questions
    std::vector<std::string> replaceAsked;
    bool replaceAnswer = false;
    TSampleBuffer source;

    void SetUp() override {
        form.ShowMessage = [this](const std::string& Text) { messages.push_back(Text); };
        form.AskSaveFileName = [this] { return saveAs; };
        form.AskDecibels = [this](const std::string&, double, double, double) -> std::optional<double> {
            if (decibels.empty()) return std::nullopt;
            const double v = decibels.front();
            decibels.pop_front();
            return v;
        };
        form.ConfirmReplaceSource = [this](const std::string& Path) {
            replaceAsked.push_back(Path);
            return replaceAnswer;
        };
        // Stereo, the channels different, quiet enough to have room for gain.
        std::vector<std::int16_t> pcm(std::size_t(Frames) * 2);
        for (std::int64_t f = 0; f < Frames; ++f) {
            pcm[std::size_t(2 * f)] = std::int16_t(std::lround(8000 * std::sin(2 * std::numbers::pi * 220 * f / Rate + 0.3)));
            pcm[std::size_t(2 * f + 1)] = std::int16_t(std::lround(5000 * std::sin(2 * std::numbers::pi * 331 * f / Rate + 1)));
        }
        WriteSoundFile(dir / "rec.wav", pcm, Rate, 2);
        source = LoadSampleBuffer(dir / "rec.wav");
        open(dir / "rec.wav");
    }
    void open(const fs::path& Path) {
        form.AskOpenFileName = [Path] { return Path.string(); };
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        form.Open();
    }
    TAudioView& view() { return *form.AudioView; }
    const TSampleBuffer& sound() { return *form.Sound(); }
    int xOf(double Pos) { return view().WavPosToX(Pos); }
    void drag(double From, double To) {
        QTest::mousePress(&view(), Qt::LeftButton, {}, QPoint(xOf(From), 80));
        QTest::mouseMove(&view(), QPoint(xOf(To), 80));
        QTest::mouseRelease(&view(), Qt::LeftButton, {}, QPoint(xOf(To), 80));
    }
    bool framesEqual(const TSampleBuffer& A, std::int64_t AFirst, const TSampleBuffer& B, std::int64_t BFirst,
                     std::int64_t Count) {
        return std::equal(A.Data.begin() + AFirst * 2, A.Data.begin() + (AFirst + Count) * 2, B.Data.begin() + BFirst * 2);
    }
};

TEST_F(SampleEditForm, NormalizeASelectionThenUndoAndRedoWithTheKeys) {
    drag(0.25, 0.5);
    const TFrameRange sel = form.SelectionFrames();
    ASSERT_GT(sel.Count, Rate / 3);
    decibels = {-3.0};
    QTest::mouseClick(form.NormalizeBtn, Qt::LeftButton);
    EXPECT_NEAR(ToDb(Peak(sound(), sel)), -3.0, 0.01);
    EXPECT_TRUE(framesEqual(sound(), 0, source, 0, sel.First));
    EXPECT_TRUE(framesEqual(sound(), sel.End(), source, sel.End(), Frames - sel.End()));
    EXPECT_EQ(form.windowTitle(), "rec.wav *");
    EXPECT_EQ(form.SelectionFrames(), sel);
    const auto normalized = sound().Data;

    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(sound().Data, source.Data);
    EXPECT_EQ(form.windowTitle(), "rec.wav");
    EXPECT_FALSE(form.UndoBtn->isEnabled());
    QTest::keyClick(&form, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(sound().Data, normalized);
    // The view draws the edited sound: its image follows the new peak.
    ASSERT_EQ(view().EditedSound(), &sound());
    const auto image = PeakImageOf(sound(), 441);
    ASSERT_EQ(view().GetMemLen(), std::int64_t(image.size()) * 2);
    // A cancelled level question changes nothing.
    QTest::mouseClick(form.NormalizeBtn, Qt::LeftButton);
    EXPECT_EQ(form.Editor().UndoCount(), 1u);
}

struct ButtonCase {
    const char* Name;
    std::function<QAbstractButton*(TSampleCutForm&)> Button;
    std::deque<double> Answers;
    int FadeShape; // index in the fade shape box
    // Checks the saved file against the source, the selection the edit acted on.
    std::function<void(const TSampleBuffer& Saved, const TSampleBuffer& Source, TFrameRange Sel)> Check;
};

class EachButton : public SampleEditForm, public ::testing::WithParamInterface<ButtonCase> {};

// Select, press the button, save the whole edited sample (nothing selected), read the file.
TEST_P(EachButton, EditsTheSelectionAndSavesIt) {
    const ButtonCase& c = GetParam();
    drag(0.2, 0.6);
    const TFrameRange sel = form.SelectionFrames();
    decibels = c.Answers;
    form.FadeShapeBox->setCurrentIndex(c.FadeShape);
    QTest::mouseClick(c.Button(form), Qt::LeftButton);
    ASSERT_TRUE(messages.empty()) << messages.front();
    ASSERT_EQ(form.Editor().UndoCount(), 1u);
    QTest::mouseClick(&view(), Qt::LeftButton, {}, QPoint(2, 80)); // nothing selected: the whole sample
    ASSERT_EQ(view().GetSelLen(), 0);
    saveAs = (dir / "edited.wav").string();
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(form.result(), QDialog::Accepted) << (messages.empty() ? "" : messages.front());
    const TSampleBuffer saved = LoadSampleBuffer(saveAs);
    EXPECT_EQ(saved.Rate, Rate);
    EXPECT_EQ(saved.Channels, 2);
    c.Check(saved, source, sel);
}

auto pressed(QToolButton* TSampleCutForm::*Button) {
    return [Button](TSampleCutForm& F) { return F.*Button; };
}

const ButtonCase ButtonCases[] = {
    {"Gain", pressed(&TSampleCutForm::GainBtn), {6.0}, 0,
     [](auto& S, auto& Src, auto Sel) {
         EXPECT_NEAR(ToDb(Peak(S, Sel)) - ToDb(Peak(Src, Sel)), 6.0, 0.01);
         EXPECT_EQ(Peak(S, {0, Sel.First}), Peak(Src, {0, Sel.First}));
     }},
    {"FadeInEqualPower", pressed(&TSampleCutForm::FadeInBtn), {}, 1,
     [](auto& S, auto& Src, auto Sel) {
         EXPECT_EQ(S.Data[std::size_t(Sel.First * 2)], 0.0f);
         EXPECT_EQ(S.Data[std::size_t(Sel.End() * 2 - 1)], Src.Data[std::size_t(Sel.End() * 2 - 1)]);
         const std::int64_t mid = Sel.First + (Sel.Count - 1) / 2;
         const double g = S.Data[std::size_t(mid * 2)] / Src.Data[std::size_t(mid * 2)];
         EXPECT_NEAR(g, std::sin(std::numbers::pi / 4), 2e-3); // within a 16-bit step of the curve
     }},
    {"FadeOutLinear", pressed(&TSampleCutForm::FadeOutBtn), {}, 0,
     [](auto& S, auto& Src, auto Sel) {
         EXPECT_EQ(S.Data[std::size_t(Sel.First * 2)], Src.Data[std::size_t(Sel.First * 2)]);
         EXPECT_EQ(S.Data[std::size_t(Sel.End() * 2 - 2)], 0.0f);
         EXPECT_EQ(S.Data[std::size_t(Sel.End() * 2 - 1)], 0.0f);
     }},
    {"Reverse", pressed(&TSampleCutForm::ReverseBtn), {}, 0,
     [](auto& S, auto& Src, auto Sel) {
         for (std::int64_t i = 0; i < Sel.Count; i += 37)
             ASSERT_EQ(S.Data[std::size_t((Sel.First + i) * 2)], Src.Data[std::size_t((Sel.End() - 1 - i) * 2)]) << i;
     }},
    {"Silence", pressed(&TSampleCutForm::SilenceBtn), {}, 0,
     [](auto& S, auto& Src, auto Sel) {
         EXPECT_EQ(Peak(S, Sel), 0.0f);
         EXPECT_EQ(S.Data[std::size_t(Sel.End() * 2)], Src.Data[std::size_t(Sel.End() * 2)]);
     }},
    {"Crop", pressed(&TSampleCutForm::CropBtn), {}, 0,
     [](auto& S, auto& Src, auto Sel) {
         ASSERT_EQ(S.Frames(), Sel.Count);
         EXPECT_TRUE(std::equal(S.Data.begin(), S.Data.end(), Src.Data.begin() + Sel.First * 2));
     }},
    {"Delete", pressed(&TSampleCutForm::DeleteBtn), {}, 0,
     [](auto& S, auto& Src, auto Sel) {
         ASSERT_EQ(S.Frames(), Src.Frames() - Sel.Count);
         EXPECT_TRUE(std::equal(S.Data.begin() + Sel.First * 2, S.Data.end(), Src.Data.begin() + Sel.End() * 2));
     }},
};

INSTANTIATE_TEST_SUITE_P(SampleEditForm, EachButton, ::testing::ValuesIn(ButtonCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(SampleEditForm, CropAndDeleteNeedASelectionAndTheDeleteKeyDeletes) {
    QTest::mouseClick(form.CropBtn, Qt::LeftButton);
    QTest::keyClick(&form, Qt::Key_Delete);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Please make a selection first.");
    EXPECT_EQ(form.Editor().UndoCount(), 0u);
    drag(0.5, 0.75);
    const TFrameRange sel = form.SelectionFrames();
    QTest::keyClick(&form, Qt::Key_Delete);
    EXPECT_EQ(sound().Frames(), Frames - sel.Count);
    // The cursor waits where the cut was; undo brings the frames back, selected.
    EXPECT_EQ(view().GetSelLen(), 0);
    EXPECT_EQ(form.SelectionFrames().First, sel.First);
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(sound().Data, source.Data);
    EXPECT_EQ(form.SelectionFrames(), sel);
    // Ctrl+A selects everything, and then a whole-sample delete is refused.
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form.SelectionFrames(), (TFrameRange{0, Frames}));
    QTest::keyClick(&form, Qt::Key_Delete);
    EXPECT_EQ(sound().Frames(), Frames);
}

TEST_F(SampleEditForm, CtrlPlusMinusAndZeroZoomAroundTheCursorDownToSingleSamples) {
    QTest::mouseClick(&view(), Qt::LeftButton, {}, QPoint(xOf(0.3), 80));
    const double cursor = view().EditCursor();
    const int x = xOf(cursor);
    QTest::keyClick(&form, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_NEAR(view().GetViewLen(), 1 / 1.4, 1e-9);
    EXPECT_NEAR(xOf(cursor), x, 1);
    for (int i = 0; i < 60; ++i) QTest::keyClick(&form, Qt::Key_Plus, Qt::ControlModifier);
    // As far as it goes: a few frames across the whole width, the cursor still in view.
    EXPECT_NEAR(view().GetViewLen() * double(Frames), TMemWavView::MinViewFrames, 1e-6);
    EXPECT_NE(xOf(cursor), -1);
    QTest::keyClick(&form, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_NEAR(view().GetViewLen() * double(Frames), TMemWavView::MinViewFrames * 1.4, 1e-6);
    // Deep in, the view draws the frames themselves, read from the edited sound in memory (the
    // image has less than one sample across the view): each column stands at its frame's level.
    QTest::mouseClick(form.ReverseBtn, Qt::LeftButton);
    const auto mono = MonoPcm16(sound(), 0, sound().Frames());
    auto matching = [&] {
        const QImage& image = view().Bitmap();
        const int w = image.width(), half = (image.height() - 2 * view().GetViewMargin()) / 2;
        int columns = 0, right = 0;
        for (int x = 0; x < w; ++x) {
            const double a = (view().GetViewStart() + view().GetViewLen() * x / w) * double(Frames);
            const double b = (view().GetViewStart() + view().GetViewLen() * (x + 1) / w) * double(Frames);
            if (std::int64_t(std::ceil(b)) - std::int64_t(std::floor(a)) != 1) continue; // one frame only
            ++columns;
            const int v = mono[std::size_t(std::floor(a))];
            const int top = view().GetViewMargin() + half + v * half / 32767;
            right += image.pixelColor(x, top) == view().ColorPCM && image.pixelColor(x, top - 1) != view().ColorPCM;
        }
        return columns > w / 2 && right > columns * 9 / 10;
    };
    ASSERT_EVENTUALLY(matching(), 2000);
    QTest::keyClick(&form, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(view().GetViewLen(), 1.0);
    EXPECT_EQ(view().GetViewStart(), 0.0);
}

TEST_F(SampleEditForm, TheWheelZoomsAroundTheMouse) {
    const QPoint at(view().width() / 4, 60);
    const double pos = view().XToWavPos(at.x());
    auto wheel = [&](int Delta) {
        QWheelEvent event(at, view().mapToGlobal(at), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view(), &event);
    };
    wheel(120);
    wheel(120);
    EXPECT_NEAR(view().GetViewLen(), 1 / 1.96, 1e-9);
    EXPECT_NEAR(view().XToWavPos(at.x()), pos, 1e-9);
    wheel(-240);
    EXPECT_NEAR(view().GetViewLen(), 1.0, 1e-9);
}

TEST_F(SampleEditForm, SnappedSelectionsStartAndEndAtZeroCrossings) {
    form.SnapBox->setChecked(true);
    EXPECT_TRUE(form.SnapAct->isChecked());
    drag(0.3, 0.55);
    const TFrameRange sel = form.SelectionFrames();
    auto sum = [&](std::int64_t F) { return double(source.Data[std::size_t(2 * F)]) + source.Data[std::size_t(2 * F + 1)]; };
    // Each end is at a frame next to a sign change of the channels' sum, or at zero.
    for (std::int64_t f : {sel.First, sel.End()}) {
        const bool crossing = sum(f) == 0 || (sum(f - 1) < 0) != (sum(f) < 0) || (sum(f) < 0) != (sum(f + 1) < 0);
        EXPECT_TRUE(crossing) << "frame " << f;
    }
    EXPECT_NEAR(double(sel.First) / Frames, 0.3, 0.02);
    // The zone follows the snapped selection.
    EXPECT_NEAR(form.Zone().BeginMarker->MarkerPos, view().GetSelStart(), 1e-12);
}

TEST_F(SampleEditForm, TheSourceIsReplacedOnlyWhenTheUserConfirms) {
    QTest::mouseClick(form.ReverseBtn, Qt::LeftButton);
    const std::string before = ReadAll(dir / "rec.wav");
    saveAs = (dir / "rec.wav").string();
    replaceAnswer = false;
    form.SaveToInstrument();
    ASSERT_EQ(replaceAsked.size(), 1u);
    EXPECT_EQ(ReadAll(dir / "rec.wav"), before);
    EXPECT_TRUE(form.isVisible());
    EXPECT_NE(form.result(), QDialog::Accepted);
    replaceAnswer = true;
    form.SaveToInstrument();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    const TSampleBuffer saved = LoadSampleBuffer(dir / "rec.wav");
    ASSERT_EQ(saved.Frames(), Frames);
    EXPECT_EQ(saved.Data[0], source.Data[std::size_t(Frames * 2 - 2)]);
    // Another name is never asked about.
    form.show();
    saveAs = (dir / "other.wav").string();
    form.SaveToInstrument();
    EXPECT_EQ(replaceAsked.size(), 2u);
}

TEST_F(SampleEditForm, OpeningAnotherFileAsksBeforeDroppingEdits) {
    std::vector<std::string> asked;
    bool discard = false;
    form.AskDiscardEdits = [&](const std::string& Path) {
        asked.push_back(Path);
        return discard;
    };
    form.Open(); // nothing edited: no question
    EXPECT_TRUE(asked.empty());
    QTest::mouseClick(form.SilenceBtn, Qt::LeftButton);
    form.Open();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(Peak(sound(), {0, Frames}), 0.0f); // kept
    EXPECT_FALSE(form.OpenFile((dir / "rec.wav").string())); // as the file browser opens one
    ASSERT_EQ(asked.size(), 2u);
    discard = true;
    form.Open();
    EXPECT_EQ(sound().Data, source.Data);
    EXPECT_EQ(view().EditedSound(), nullptr);
    EXPECT_FALSE(form.UndoBtn->isEnabled());
}

TEST_F(SampleEditForm, PlaybackPlaysTheEditedSound) {
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_TRUE(view().Playing());
    drag(0.5, 0.75);
    QTest::mouseClick(form.CropBtn, Qt::LeftButton);
    EXPECT_FALSE(view().Playing()); // an edit stops what played the old sound
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_TRUE(view().Playing());
    EXPECT_NEAR(view().Stream().LenSec(), 0.5, 0.01);
    EXPECT_NEAR(view().LenSec(), 0.5, 0.01);
    QTest::keyClick(&form, Qt::Key_Space);
}

TEST_F(SampleEditForm, TwentyFourBitSourcesAreSavedAtTwentyFourBits) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    const fs::path deep = dir / "deep.wav";
    std::vector<int> ints(48000);
    for (std::size_t i = 0; i < ints.size(); ++i) ints[i] = int(std::lround(3e6 * std::sin(i * 0.01)) + 1) * 256;
    SNDFILE* f = sf_open(deep.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_int(f, ints.data(), 48000);
    sf_close(f);
    open(deep);
    drag(0.1, 0.9);
    const TFrameRange sel = form.SelectionFrames();
    saveAs = (dir / "deep-cut.wav").string();
    QTest::mouseClick(form.SaveBtn, Qt::LeftButton);
    ASSERT_EQ(form.result(), QDialog::Accepted);
    SF_INFO out{};
    SNDFILE* g = sf_open(saveAs.c_str(), SFM_READ, &out);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    std::vector<int> back(std::size_t(out.frames));
    sf_readf_int(g, back.data(), out.frames);
    sf_close(g);
    ASSERT_EQ(std::int64_t(back.size()), sel.Count);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), ints.begin() + sel.First));
}

} // namespace
