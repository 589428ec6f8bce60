// Editing in the main window without the mouse: the pattern page's grid takes the keys, Ctrl+S
// there solos instead of saving, and every edit — cells, effects, tempo — undoes and redoes from
// the Edit menu's keys, with the modified flag following the saved state.
#include "app/App.h"
#include "app/LiveOutput.h"
#include "app/MasterEffects.h"
#include "app/ProjectFiles.h"
#include "app/SongEngine.h"
#include "base/AppInfo.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "support/ui/Eventually.h"
#include "support/ui/TestWindow.h"
#include "ui/MainForm.h"
#include "ui/InstrumentCommands.h"
#include "ui/dialogs/ExportForm.h"
#include "ui/editors/EffectsPanel.h"
#include "ui/editors/InstrumentPanel.h"
#include "ui/editors/OrderEditor.h"
#include "ui/editors/OrderGrid.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternGrid.h"
#include "ui/editors/SongUndo.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <memory>

using namespace brindle::test;

namespace {

class Editing : public ::testing::Test {
  protected:
    TempDir dir;
    cApp app;
    std::unique_ptr<TMainForm> form;
    int saveAsked = 0;

    void SetUp() override {
        // A saved song with a note in every fourth row of channel 0.
        auto song = std::make_unique<cSequencer>();
        song->Init();
        song->SetBPM(140);
        song->Orders[0].PatternIndex = 1;
        for (int r = 0; r < 16; r += 4)
            song->PatternAt(1).CellForWrite(0, r) = {1, 0};
        song->SaveFile((dir / "song.hym").string());
        form = OpenTestWindow(app, {"brindle", (dir / "song.hym").string()});
        form->Document().AskSaveFileName = [this] {
            ++saveAsked;
            return std::string();
        };
        ASSERT_FALSE(form->isWindowModified());
    }
    void TearDown() override { CloseTestWindow(form); }
    TPatternGrid* grid() { return form->PatternEditor->PatGrid; }
    cStep cell(int Channel, int Row) { return form->Song().PatternAt(1).Cell(Channel, Row); }
    void key(int Key, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
        QTest::keyClick(target, Qt::Key(Key), Mods);
    }
};

// Every change of the song is a step of the history, instruments too: the mark, the prompts and
// undo agree with what the song holds.
TEST_F(Editing, InstrumentEditsAreStepsAndTheModifiedMarkFollowsTheHistory) {
    WriteSoundFile(dir / "kick.wav", ConstantTone(1000, 4410, 2), 44100, 2);
    auto& ins = form->Song().InstrumentAt(1);
    // A sample set, then New with Discard, then a note: the note is unsaved work.
    form->Instruments->AssignFiles(0, {(dir / "kick.wav").string()});
    EXPECT_TRUE(form->isWindowModified());
    ASSERT_TRUE(form->New());
    EXPECT_FALSE(form->isWindowModified());
    key(Qt::Key_F3);
    form->PatternEditor->EnterNote(0);
    EXPECT_TRUE(form->UndoAction->isEnabled());
    EXPECT_TRUE(form->isWindowModified());
    EXPECT_TRUE(form->windowTitle().contains("[*]"));
    int asked = 0;
    form->Document().AskSaveChanges = [&](const std::string&) {
        ++asked;
        return TSongDocument::TSaveAnswer::Cancel;
    };
    EXPECT_FALSE(form->close());
    EXPECT_EQ(asked, 1);

    // A cell deleted, then a volume dragged in several moves, then undo: one step takes the
    // volume back and the deleted cell still counts as unsaved.
    form->Document().AskSaveChanges = [](const std::string&) { return TSongDocument::TSaveAnswer::Discard; };
    ASSERT_TRUE(form->OpenFile((dir / "song.hym").string()));
    form->Instruments->AssignFiles(0, {(dir / "kick.wav").string()});
    ASSERT_TRUE(form->Save());
    key(Qt::Key_F3);
    grid()->SetCursor(0, 0);
    key(Qt::Key_Delete);
    ASSERT_EQ(cell(0, 0).ins, 0);
    form->ShowPage(TMainForm::InstrumentPage);
    for (int position : {900, 700, 500}) form->InstrumentPanel->VolumeScroll->setValue(position);
    EXPECT_FLOAT_EQ(ins.LoadVolume(), 0.5f);
    const int steps = form->Undo->Stack()->count();
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(ins.LoadVolume(), 1.0f);
    EXPECT_EQ(form->InstrumentPanel->VolumeScroll->value(), 1000);
    EXPECT_EQ(cell(0, 0).ins, 0);
    EXPECT_TRUE(form->isWindowModified());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 0).ins, 1);
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(steps, form->Undo->Stack()->count());

    // Clearing and fitting a slot are steps too; undo brings the file back into the cache.
    form->Instruments->Clear();
    EXPECT_FALSE(ins.HasFile());
    EXPECT_TRUE(form->isWindowModified());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ins.GetFileName(), (dir / "kick.wav").string());
    EXPECT_TRUE(form->Engine().Mixer().GetSampleCache()->Contains(ins.GetFileName()));
    EXPECT_FALSE(form->isWindowModified());
}

TEST_F(Editing, F3AndThePatternTabPutTheFocusOnTheGrid) {
    key(Qt::Key_F3);
    EXPECT_EQ(form->CurrentPage(), TMainForm::PatternPage);
    EXPECT_EQ(QApplication::focusWidget(), grid());
    EXPECT_TRUE(grid()->currentIndex().isValid());
    // Keys work at once: a stop marker lands on the first cell.
    key(Qt::Key_QuoteLeft);
    EXPECT_EQ(cell(0, 0).ins, -1);
    // Back to the Order page and again by the tab: the cursor stays where it was.
    key(Qt::Key_F2);
    auto* tabs = form->pag->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(TMainForm::PatternPage).center());
    EXPECT_EQ(QApplication::focusWidget(), grid());
    EXPECT_EQ(grid()->CursorRow(), 1);
}

TEST_F(Editing, CtrlSInTheGridSolosAndDoesNotSave) {
    form->Song().FileName.clear(); // an untitled song: a save would ask for a name
    key(Qt::Key_F3);
    grid()->SetCursor(0, 3);
    key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saveAsked, 0);
    for (int c = 0; c < ChannelCount; ++c)
        EXPECT_EQ(form->Song().ChannelMuted[c], c != 3) << c;
    // Elsewhere Ctrl+S saves.
    form->ShowPage(TMainForm::OutputPage);
    form->setFocus();
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saveAsked, 1);
}

TEST_F(Editing, UndoAndRedoKeysFollowTheSavedState) {
    key(Qt::Key_F3);
    key(Qt::Key_Delete); // clears the note in row 0
    EXPECT_EQ(cell(0, 0).ins, 0);
    EXPECT_TRUE(form->isWindowModified());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 0).ins, 1);
    EXPECT_FALSE(form->isWindowModified()); // back at the saved state
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 0).ins, 0);
    EXPECT_TRUE(form->isWindowModified());
    key(Qt::Key_Z, Qt::ControlModifier);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(cell(0, 0).ins, 0);
    // Saved here: undoing past it is a change again, redoing back is not.
    ASSERT_TRUE(form->Save());
    EXPECT_FALSE(form->isWindowModified());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(form->isWindowModified());
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_FALSE(form->isWindowModified());
    // Opening a song starts a new history.
    ASSERT_TRUE(form->OpenFile((dir / "song.hym").string()));
    EXPECT_FALSE(form->Undo->Stack()->canUndo());
    EXPECT_FALSE(form->UndoAction->isEnabled());
}

TEST_F(Editing, EffectMovesAndTempoUndoToTheirValuesAndNodes) {
    TEffectsPanel* panel = form->EffectsPanel;
    form->ShowPage(TMainForm::OutputPage);
    const int level = panel->ReverbLevel->value();
    // A drag of one slider is one step.
    for (int p = -500; p >= -3000; p -= 500)
        panel->Eq[0]->setValue(p);
    panel->ReverbLevel->setValue(400);
    EXPECT_EQ(form->Undo->Stack()->count(), 2);
    form->Undo->Undo();
    EXPECT_EQ(panel->ReverbLevel->value(), level);
    EXPECT_FLOAT_EQ(form->Engine().Effects().GetReverb().Params.Level, level * 0.001f);
    EXPECT_EQ(panel->Eq[0]->value(), -3000);
    form->Undo->Undo();
    EXPECT_EQ(panel->Eq[0]->value(), 0);
    EXPECT_FLOAT_EQ(form->Engine().Effects().GetEqualizer().Bands[0]->Gain, 0.0f);
    EXPECT_EQ(panel->EqCap[0]->text(), "60Hz");
    EXPECT_FALSE(form->isWindowModified());
    form->Undo->Redo();
    EXPECT_FLOAT_EQ(form->Engine().Effects().GetEqualizer().Bands[0]->Gain, 3.0f);
    // A check box is its own step and rebuilds the chain on undo.
    const TAudioX* chainEnd = form->Engine().Effects().Output().GetInput();
    panel->ReverbCheck->click();
    EXPECT_NE(form->Engine().Effects().Output().GetInput(), chainEnd);
    EXPECT_TRUE(form->GetPanelEffects().ReverbEnabled);
    form->Undo->Undo();
    EXPECT_FALSE(panel->ReverbCheck->isChecked());
    EXPECT_FALSE(form->GetPanelEffects().ReverbEnabled);
    EXPECT_EQ(form->Engine().Effects().Output().GetInput(), chainEnd);

    // The tempo, typed into its field.
    QLineEdit* field = form->BPMSpin->findChild<QLineEdit*>();
    form->BPMSpin->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "96");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(form->Song().BPM.load(), 96.0f);
    form->Undo->Undo();
    EXPECT_EQ(form->Song().BPM.load(), 140.0f);
    EXPECT_EQ(form->BPMSpin->value(), 140);
}

TEST_F(Editing, UndoNeverRunsWhileAnExportRenders) {
    key(Qt::Key_F3);
    key(Qt::Key_Delete);
    ASSERT_EQ(cell(0, 0).ins, 0);
    int undoneDuring = -1;
    const auto before = form->ExportForm->BeforeExport;
    form->ExportForm->BeforeExport = [&](TExportForm* Sender) {
        before(Sender);
        form->Undo->Undo();
        undoneDuring = cell(0, 0).ins;
    };
    form->ExportForm->Edit1->setText(QString::fromStdString((dir / "out.wav").string()));
    form->ExportForm->SetFormat(TExportForm::FormatWAV);
    form->ExportForm->SaveClick();
    EXPECT_EQ(undoneDuring, 0);
    form->Undo->Undo();
    EXPECT_EQ(cell(0, 0).ins, 1);
}

TEST_F(Editing, UndoShowsThePatternItChanges) {
    key(Qt::Key_F3);
    form->PatternEditor->PatNumSpin->setValue(4);
    key(Qt::Key_QuoteLeft);
    form->PatternEditor->PatNumSpin->setValue(1);
    form->Undo->Undo();
    EXPECT_EQ(app.GetActivePattern(), 4);
    EXPECT_EQ(form->PatternEditor->PatNumSpin->value(), 4);
    EXPECT_EQ(form->Song().PatternAt(4).Cell(0, 0).ins, 0);
}

TEST_F(Editing, MovingOntoAChannelMakesItsFirstInstrumentActive) {
    form->Song().PatternAt(1).CellForWrite(5, 2) = {7, 0};
    key(Qt::Key_F3);
    app.SetActiveInstrument(2);
    grid()->SetCursor(9, 5);
    EXPECT_EQ(app.GetActiveInstrument(), 7);
    // A channel without notes leaves the active instrument alone.
    key(Qt::Key_Right);
    EXPECT_EQ(app.GetActiveInstrument(), 7);
}

TEST_F(Editing, TheOrderPageWorksFromTheKeyboard) {
    cSequencer& song = form->Song();
    song.Orders[1].PatternIndex = 3;
    song.PatternAt(3).CellForWrite(0, 0) = {1, 0};
    form->OrderEditor->Refresh();
    key(Qt::Key_F2);
    EXPECT_EQ(QApplication::focusWidget(), form->OrderEditor->ordgrid);
    // Moving onto an entry shows its pattern in the pattern editor.
    key(Qt::Key_Down);
    EXPECT_EQ(form->GetOrderRow(), 1);
    EXPECT_EQ(app.GetActivePattern(), 3);
    EXPECT_EQ(form->PatternEditor->PatNumSpin->value(), 3);
    // Space plays the song from the cursor, even while a pattern loops.
    form->ShowPage(TMainForm::PatternPage);
    form->Play();
    ASSERT_EQ(song.PlayMode.load(), PlayPatternLoop);
    key(Qt::Key_F2);
    key(Qt::Key_Space);
    EXPECT_EQ(song.PlayMode.load(), PlaySongMode);
    EXPECT_EQ(song.CurOrder.load(), 2);
    key(Qt::Key_Space);
    EXPECT_FALSE(app.Playing());
    EXPECT_EQ(song.CurOrder.load(), 2); // the marker stays on the last played entry
    // Clone: the entry now plays a copy in the first empty pattern, shown on the pattern page.
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(song.Orders[1].PatternIndex, 2);
    EXPECT_EQ(song.PatternAt(2).Cell(0, 0).ins, 1);
    EXPECT_EQ(form->CurrentPage(), TMainForm::PatternPage);
    EXPECT_EQ(form->PatternEditor->PatNumSpin->value(), 2);
    EXPECT_TRUE(form->isWindowModified());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(song.Orders[1].PatternIndex, 3);
    EXPECT_EQ(song.PatternAt(2).Cell(0, 0).ins, 0);
    EXPECT_FALSE(form->isWindowModified());
    // Enter goes to the entry's pattern.
    key(Qt::Key_F2);
    key(Qt::Key_Return);
    EXPECT_EQ(form->CurrentPage(), TMainForm::PatternPage);
    EXPECT_EQ(form->PatternEditor->PatNumSpin->value(), 3);
}

TEST_F(Editing, RecordAndTheEffectsWorkWithoutTheMouse) {
    // Ctrl+R loops the pattern from the cursor; again, it stops and the cursor returns.
    key(Qt::Key_F3);
    grid()->SetCursor(4, 0);
    key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(form->GetRecording());
    EXPECT_EQ(form->Song().PlayMode.load(), PlayPatternLoop);
    ASSERT_EVENTUALLY(form->GetGridRow() > 6, 5000);
    key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(form->GetRecording());
    EXPECT_EQ(form->GetGridRow(), 5);
    // F5 shows the effects; Space toggles the focused box while the song plays on.
    form->Play();
    key(Qt::Key_F5);
    TEffectsPanel* panel = form->EffectsPanel;
    ASSERT_EQ(QApplication::focusWidget(), panel->CompressorCheck);
    const bool wasOn = panel->CompressorCheck->isChecked();
    key(Qt::Key_Space);
    EXPECT_NE(panel->CompressorCheck->isChecked(), wasOn);
    EXPECT_NE(form->GetPanelEffects().CompressorEnabled, wasOn);
    EXPECT_TRUE(app.Playing());
    // Tab reaches the threshold bar; an arrow moves it by 10.
    key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), panel->CompressorThreshold);
    const int threshold = panel->CompressorThreshold->value();
    key(Qt::Key_Right);
    EXPECT_EQ(panel->CompressorThreshold->value(), threshold + 10);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(panel->CompressorThreshold->value(), threshold);
    form->Stop();
}

} // namespace
