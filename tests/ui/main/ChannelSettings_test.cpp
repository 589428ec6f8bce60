// Channel volume, balance and mute set through the document: one step per drag, undone and redone,
// kept by a save and cleared by New.
#include "app/App.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/ui/TestWindow.h"
#include "ui/MainForm.h"
#include "ui/document/SongDocument.h"
#include "ui/editors/SongUndo.h"

#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <memory>

using namespace brindle::test;

namespace {

class ChannelWindow : public ::testing::Test {
  protected:
    TempDir dir;
    cApp app;
    std::unique_ptr<TMainForm> form;

    void SetUp() override {
        cSequencer song;
        song.Init();
        form = OpenTestWindowOn(app, song, dir / "song.hym");
        ASSERT_FALSE(form->isWindowModified());
    }
    void TearDown() override { CloseTestWindow(form); }
    TSongDocument& doc() { return form->Document(); }
    cSequencer& song() { return form->Song(); }
};

TEST_F(ChannelWindow, ADraggedFaderIsOneStepAndUndoesToWhereItStarted) {
    QSignalSpy changed(&doc(), &TSongDocument::channelsChanged);
    auto* stack = doc().UndoStack();
    const int before = stack->count();
    for (float v = 0.9f; v > 0.25f; v -= 0.1f) doc().SetChannel(3, v, 0.0f, false);
    doc().SetChannel(3, 0.25f, -0.5f, false);
    EXPECT_EQ(stack->count(), before + 1) << "moves of one channel within a moment merge";
    EXPECT_EQ(song().GetChannelVolume(3), 0.25f);
    EXPECT_EQ(song().GetChannelPan(3), -0.5f);
    EXPECT_TRUE(form->isWindowModified());
    EXPECT_GE(changed.count(), 1);

    doc().SetChannel(8, 1.0f, 0.0f, true); // another channel: a step of its own
    EXPECT_EQ(stack->count(), before + 2);
    doc().SetChannel(8, 1.0f, 0.0f, true); // nothing changes: no step
    EXPECT_EQ(stack->count(), before + 2);

    form->Undo->Undo();
    EXPECT_FALSE(song().IsMuted(8));
    EXPECT_EQ(song().GetChannelVolume(3), 0.25f);
    form->Undo->Undo();
    EXPECT_EQ(song().GetChannelVolume(3), 1.0f);
    EXPECT_EQ(song().GetChannelPan(3), 0.0f);
    EXPECT_FALSE(form->isWindowModified()) << "back at the saved state";
    form->Undo->Redo();
    EXPECT_EQ(song().GetChannelVolume(3), 0.25f);
    EXPECT_EQ(song().GetChannelPan(3), -0.5f);
}

TEST_F(ChannelWindow, AbsurdValuesAreClampedAndAChannelOutsideIsIgnored) {
    doc().SetChannel(0, 100.0f, -7.0f, false);
    EXPECT_EQ(song().GetChannelVolume(0), 2.0f);
    EXPECT_EQ(song().GetChannelPan(0), -1.0f);
    const int steps = doc().UndoStack()->count();
    doc().SetChannel(-1, 0.5f, 0.0f, true);
    doc().SetChannel(ChannelCount, 0.5f, 0.0f, true);
    EXPECT_EQ(doc().UndoStack()->count(), steps);
}

TEST_F(ChannelWindow, SavedChannelsComeBackAndNewClearsThem) {
    doc().SetChannel(5, 0.5f, 1.0f, true);
    const auto path = (dir / "saved.hym").string();
    ASSERT_TRUE(doc().SaveTo(path));
    ASSERT_TRUE(form->New());
    EXPECT_TRUE(song().IsChannelDefault(5));
    ASSERT_TRUE(form->OpenFile(path));
    EXPECT_EQ(song().GetChannelVolume(5), 0.5f);
    EXPECT_EQ(song().GetChannelPan(5), 1.0f);
    EXPECT_TRUE(song().IsMuted(5));
    EXPECT_FALSE(form->isWindowModified());
}

} // namespace
