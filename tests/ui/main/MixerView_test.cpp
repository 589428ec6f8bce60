// The mixer page driven like a user: strips for the channels with notes, faders and buttons that
// change the song as undo steps, meters and the master's clip light fed from the meter slots.
#include "app/App.h"
#include "app/SongEdit.h"
#include "app/SongEngine.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/ui/Eventually.h"
#include "support/ui/TestWindow.h"
#include "ui/MainForm.h"
#include "ui/document/SongDocument.h"
#include "ui/document/Transport.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternGrid.h"
#include "ui/views/ChannelStrip.h"
#include "ui/views/LevelFeed.h"
#include "ui/views/MixerView.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace brindle::test;

namespace {

class MixerWindow : public ::testing::Test {
  protected:
    TempDir dir;
    cApp app;
    std::unique_ptr<TMainForm> form;

    void SetUp() override {
        cSequencer song;
        song.Init();
        // Notes on channels 2, 5 and 40 (1-based), with different first instruments.
        song.InstrumentAt(3).Name = "Snare";
        song.InstrumentAt(7).Name = "Pad";
        song.PatternAt(1).SetCell(1, 4, {3, 0});
        song.PatternAt(1).SetCell(1, 8, {7, 0});
        song.PatternAt(2).SetCell(4, 0, {7, 0});
        song.PatternAt(9).SetCell(39, 2, {3, 0});
        song.PatternAt(2).SetCell(6, 3, {-1, 0}); // a stop marker is no note
        form = OpenTestWindowOn(app, song, dir / "song.hym");
        form->ShowPage(TMainForm::MixerPage);
        ASSERT_EVENTUALLY(view()->isVisible(), 2000);
    }
    void TearDown() override { CloseTestWindow(form); }
    TSongDocument& doc() { return form->Document(); }
    cSequencer& song() { return form->Song(); }
    TMixerView* view() { return form->MixerView; }
    brindle::TLevelMeters& meters() { return form->Engine().Mixer().Meters(); }
};

TEST_F(MixerWindow, AStripForEachChannelWithNotesNamedAfterItsFirstInstrument) {
    ASSERT_EQ(view()->Strips().size(), 3u);
    const struct {
        int Channel;
        const char* Title;
    } want[] = {{1, "2\nSnare"}, {4, "5\nPad"}, {39, "40\nSnare"}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(view()->Strips()[i]->Channel(), want[i].Channel);
        EXPECT_EQ(view()->Strips()[i]->Title->text(), want[i].Title);
    }
    // A note written on another channel adds its strip.
    doc().Edit("Note", cSongEdit(song()).Cells(3, 70, 70, 0, 0), [&] { song().PatternAt(3).SetCell(70, 0, {7, 0}); });
    emit doc().patternChanged(3);
    ASSERT_EQ(view()->Strips().size(), 4u);
    EXPECT_EQ(view()->Strips()[3]->Title->text(), "71\nPad");
}

TEST_F(MixerWindow, TheFaderAndBalanceKeysSetTheChannelAsOneUndoStep) {
    TChannelStrip* strip = view()->StripOf(4);
    ASSERT_NE(strip, nullptr);
    auto* stack = doc().UndoStack();
    const int before = stack->count();
    strip->Fader->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(strip->Fader, Qt::Key_PageDown);
    EXPECT_FLOAT_EQ(song().GetChannelVolume(4), 0.7f);
    EXPECT_EQ(strip->Gain->text(), "-3.1 dB");
    EXPECT_EQ(stack->count(), before + 1) << "a fader moved in one go is one step";
    // Home pulls it to the foot: silence.
    QTest::keyClick(strip->Fader, Qt::Key_Home);
    EXPECT_EQ(song().GetChannelVolume(4), 0.0f);
    EXPECT_EQ(strip->Gain->text(), "-inf dB");
    // Balance by key, on the same channel.
    strip->Balance->setFocus();
    QTest::keyClick(strip->Balance, Qt::Key_PageUp);
    EXPECT_FLOAT_EQ(song().GetChannelPan(4), 0.1f);

    form->findChild<QAction*>("UndoAction")->trigger();
    EXPECT_EQ(song().GetChannelVolume(4), 1.0f) << "back to where the moves began";
    EXPECT_EQ(song().GetChannelPan(4), 0.0f);
    EXPECT_EQ(strip->Fader->value(), 100) << "the strip follows the undo";
    EXPECT_EQ(strip->Balance->value(), 0);
}

TEST_F(MixerWindow, MuteAndSoloButtonsChangeTheSongAndTheGridHeaders) {
    TChannelStrip* two = view()->StripOf(1);
    TChannelStrip* five = view()->StripOf(4);
    QTest::mouseClick(two->MuteButton, Qt::LeftButton);
    EXPECT_TRUE(song().IsMuted(1));
    EXPECT_TRUE(two->MuteButton->isChecked());
    QTest::mouseClick(five->SoloButton, Qt::LeftButton);
    for (int c = 0; c < ChannelCount; ++c) ASSERT_EQ(song().IsMuted(c), c != 4) << c;
    EXPECT_TRUE(five->SoloButton->isChecked());
    EXPECT_TRUE(two->MuteButton->isChecked());
    EXPECT_FALSE(five->MuteButton->isChecked());
    // Solo again: everything back.
    QTest::mouseClick(five->SoloButton, Qt::LeftButton);
    for (int c = 0; c < ChannelCount; ++c) ASSERT_FALSE(song().IsMuted(c)) << c;
    EXPECT_FALSE(five->SoloButton->isChecked());
    // Undo twice: channel 2 muted alone, as after the first click.
    auto* undo = form->findChild<QAction*>("UndoAction");
    undo->trigger();
    undo->trigger();
    EXPECT_TRUE(song().IsMuted(1));
    EXPECT_FALSE(song().IsMuted(4));
    EXPECT_TRUE(two->MuteButton->isChecked());
    // The grid's own mute key, used while the mixer was hidden, shows on return.
    form->ShowPage(TMainForm::PatternPage);
    form->PatternEditor->PatGrid->SetCursor(1, 4);
    form->PatternEditor->Mute();
    EXPECT_TRUE(song().IsMuted(4));
    form->ShowPage(TMainForm::MixerPage);
    EXPECT_TRUE(five->MuteButton->isChecked());
}

TEST_F(MixerWindow, MetersShowTheSlotsAndTheClipLightStaysLitUntilClicked) {
    auto* feed = form->Levels;
    const struct {
        float Peak;
        bool Clips;
    } masters[] = {{0.5f, false}, {0.99f, false}, {1.0f, true}, {0.3f, true}, {1.7f, true}};
    for (const auto& m : masters) {
        SCOPED_TRACE(m.Peak);
        meters().Feed(4, 0.5f, 0.125f * 512, 512); // a sine of amplitude 0.5
        meters().Feed(brindle::TLevelMeters::Master, m.Peak, m.Peak * m.Peak * 256, 512);
        feed->Tick();
        EXPECT_EQ(view()->Master->ClipLight->isChecked(), m.Clips);
        EXPECT_NEAR(view()->StripOf(4)->Meter->Level().Rms, 0.5 / std::sqrt(2.0), 1e-4);
        EXPECT_GE(view()->StripOf(4)->Meter->Level().Hold, 0.5f);
    }
    QTest::mouseClick(view()->Master->ClipLight, Qt::LeftButton);
    EXPECT_FALSE(view()->Master->ClipLight->isChecked());
    EXPECT_FALSE(feed->Clipped());
    meters().Feed(brindle::TLevelMeters::Master, 0.4f, 1, 512);
    feed->Tick();
    EXPECT_FALSE(view()->Master->ClipLight->isChecked()) << "only a new clip lights it again";
    EXPECT_EQ(view()->StripOf(1)->Meter->Level().Peak, 0.0f) << "a channel with nothing fed stays dark";
}

TEST_F(MixerWindow, TheMeterTimerRunsOnlyWhileLevelsAreShownAndSomethingPlays) {
    auto* feed = form->Levels;
    feed->Wake();
    EXPECT_FALSE(feed->Running()) << "nothing plays";
    song().Orders[0].PatternIndex = 1;
    song().PatternAt(1).StoreRowCount(400); // long enough to outlast the page changes
    form->Play();
    ASSERT_TRUE(form->Transport().Playing());
    ASSERT_EVENTUALLY(feed->Running(), 2000);
    form->ShowPage(TMainForm::OrderPage);
    ASSERT_EVENTUALLY(!feed->Running(), 2000);
    form->ShowPage(TMainForm::PatternPage);
    ASSERT_TRUE(form->Transport().Playing());
    ASSERT_EVENTUALLY(feed->Running(), 2000) << "the grid's headers show levels too";
    form->Stop();
    ASSERT_EVENTUALLY(!feed->Running(), 5000);
}

} // namespace
