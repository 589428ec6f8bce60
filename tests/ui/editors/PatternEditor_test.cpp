// The pattern editor driven by keys and mouse: what the cells show, every grid command's effect on
// the song at the edges (first and last row, the hidden channel, the hidden tail), the length and
// number fields, and each edit undone and redone.
#include "app/App.h"
#include "song/Sequencer.h"
#include "ui/editors/PatternEditor.h"
#include "ui/views/NumberField.h"
#include "ui/editors/PatternGrid.h"
#include "ui/editors/PatternModel.h"
#include "ui/editors/SongUndo.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(PatternCells, ShowInstrumentAndTruncatedPitch) {
    EXPECT_EQ(TPatternModel::CellText({0, 5.0f}), "");
    EXPECT_EQ(TPatternModel::CellText({-1, 7.9f}), "===");
    EXPECT_EQ(TPatternModel::CellText({3, 0.0f}), "0 - 3");
    EXPECT_EQ(TPatternModel::CellText({7, -12.0f}), "-12 - 7");
    EXPECT_EQ(TPatternModel::CellText({5, -3.7f}), "-3 - 5");
    EXPECT_EQ(TPatternModel::CellText({100, 2.99f}), "2 - 100");
}

TEST(PatternCells, RowsAreStripedByBeatAndBar) {
    const QColor dark(170, 170, 170), light(204, 204, 204), white(Qt::white);
    EXPECT_EQ(TPatternModel::RowColour(0), dark);
    for (int row : {4, 8, 12, 20}) EXPECT_EQ(TPatternModel::RowColour(row), light) << row;
    for (int row : {1, 2, 3, 5, 15}) EXPECT_EQ(TPatternModel::RowColour(row), white) << row;
    EXPECT_EQ(TPatternModel::RowColour(16), dark);
}

class PatternEditorTest : public ::testing::Test {
protected:
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    cApp app;
    TSongUndo undo;
    std::unique_ptr<TPatternEditor> editor;
    TPatternGrid* grid = nullptr;
    std::vector<int> followed;

    void SetUp() override {
        song->Init();
        app.seq = song.get();
        editor = std::make_unique<TPatternEditor>(app, undo);
        app.OnPatternChange = [this](cApp*) { editor->ActPatNumChange(); };
        editor->OnFollowInstrument = [this](TPatternEditor*, int Ins) { followed.push_back(Ins); };
        grid = editor->PatGrid;
        editor->resize(900, 600);
        editor->show();
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
        editor->FocusGrid();
    }
    void TearDown() override { app.seq = nullptr; }
    cPattern& pattern() { return song->PatternAt(app.GetActivePattern()); }
    cStep cell(int Channel, int Row) { return pattern().Cell(Channel, Row); }
    void key(int Key, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
        QTest::keyClick(grid, Qt::Key(Key), Mods);
    }
    QImage shot() { return grid->viewport()->grab().toImage(); }
    QPoint cellCentre(int Row, int Channel) { return grid->visualRect(editor->Model->index(Row, Channel)).center(); }
};

TEST_F(PatternEditorTest, FirstShowPutsTheCursorOnTheFirstCellWithTheFocus) {
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->CursorRow(), 0);
    EXPECT_EQ(grid->CursorChannel(), 0);
    EXPECT_EQ(editor->GridRow(), 1);
    EXPECT_EQ(editor->Model->rowCount(), 16);
    EXPECT_EQ(editor->Model->columnCount(), 99);
}

TEST_F(PatternEditorTest, PaintsStripesSelectionAndText) {
    grid->SetCursor(5, 3);
    QApplication::processEvents();
    const QImage image = shot();
    // Sample a cell's left edge (text begins 2 px in, further right).
    auto colourAt = [&](int Row, int Channel) {
        const QRect r = grid->visualRect(editor->Model->index(Row, Channel));
        return image.pixelColor(r.left() + 1, r.bottom() - 1);
    };
    EXPECT_EQ(colourAt(0, 0), QColor(170, 170, 170));
    EXPECT_EQ(colourAt(4, 0), QColor(204, 204, 204));
    EXPECT_EQ(colourAt(1, 0), QColor(Qt::white));
    EXPECT_EQ(colourAt(5, 3), QColor(Qt::black)); // the cursor cell is drawn as selected
    // A note's text is black on white, white on black when selected.
    song->PatternAt(1).CellForWrite(1, 1) = {3, 0.0f};
    song->PatternAt(1).CellForWrite(3, 5) = {3, 0.0f};
    grid->Refresh();
    QApplication::processEvents();
    const QImage withText = shot();
    auto hasPixel = [&](int Row, int Channel, QColor Colour) {
        const QRect r = grid->visualRect(editor->Model->index(Row, Channel));
        for (int y = r.top() + 2; y < r.bottom(); ++y)
            for (int x = r.left() + 2; x < r.left() + 30; ++x)
                if (withText.pixelColor(x, y) == Colour) return true;
        return false;
    };
    EXPECT_TRUE(hasPixel(1, 1, Qt::black));
    EXPECT_FALSE(hasPixel(1, 2, Qt::black));
    EXPECT_TRUE(hasPixel(5, 3, Qt::white));
}

TEST_F(PatternEditorTest, HeadersShowMuteAndFirstInstrument) {
    song->InstrumentAt(2).Name = "kick";
    song->PatternAt(1).CellForWrite(0, 0) = {-1, 0.0f}; // stop markers are skipped
    song->PatternAt(1).CellForWrite(0, 3) = {2, 0.0f};
    song->PatternAt(1).CellForWrite(0, 7) = {4, 0.0f};
    EXPECT_EQ(editor->Model->FirstInstrumentOfChannel(0), 2);
    EXPECT_EQ(editor->Model->HeaderName(0), "kick");
    EXPECT_EQ(editor->Model->HeaderName(1), "");
    EXPECT_EQ(editor->Model->FirstInstrumentOfChannel(1), 0);
    // A note in the hidden tail is not the channel's first instrument.
    song->PatternAt(1).CellForWrite(1, 20) = {5, 0.0f};
    EXPECT_EQ(editor->Model->FirstInstrumentOfChannel(1), 0);

    const QHeaderView* top = grid->horizontalHeader();
    QTest::mouseClick(top->viewport(), Qt::LeftButton, {}, QPoint(top->sectionViewportPosition(0) + 30, 10));
    EXPECT_TRUE(song->ChannelMuted[0]);
    EXPECT_EQ(editor->Model->HeaderNumber(0), "(1)");
    key(Qt::Key_A, Qt::ControlModifier); // Play all
    EXPECT_FALSE(song->ChannelMuted[0]);
    EXPECT_EQ(editor->Model->HeaderNumber(0), "1");
}

TEST_F(PatternEditorTest, MuteSoloAndDoubleClickActOnTheCursorChannel) {
    grid->SetCursor(2, 4);
    key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(song->ChannelMuted[4]);
    key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_FALSE(song->ChannelMuted[4]);
    key(Qt::Key_S, Qt::ControlModifier);
    for (int c = 0; c < ChannelCount; ++c) EXPECT_EQ(song->ChannelMuted[c], c != 4) << c;
    key(Qt::Key_A, Qt::ControlModifier);
    // A user's double click: a click, then the second press arrives as a double click.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(1, 2));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(1, 2));
    EXPECT_TRUE(song->ChannelMuted[2]);
    // Mutes are stored in the song: each command is one step, and undoing walks back through them.
    EXPECT_EQ(undo.Stack()->count(), 5);
    undo.Undo(); // the double click
    EXPECT_FALSE(song->ChannelMuted[2]);
    undo.Undo(); // play all
    for (int c = 0; c < ChannelCount; ++c) EXPECT_EQ(song->ChannelMuted[c], c != 4) << c;
    undo.Undo(); // solo
    for (int c = 0; c < ChannelCount; ++c) EXPECT_FALSE(song->ChannelMuted[c]) << c;
    undo.Undo(); // the second Ctrl+M
    EXPECT_TRUE(song->ChannelMuted[4]);
    undo.Undo();
    EXPECT_FALSE(song->ChannelMuted[4]);
    EXPECT_FALSE(undo.Stack()->canUndo());
    undo.Redo();
    undo.Redo();
    undo.Redo();
    for (int c = 0; c < ChannelCount; ++c) EXPECT_EQ(song->ChannelMuted[c], c != 4) << c;
}

TEST_F(PatternEditorTest, UndoingAMuteKeepsTheChannelsVolumeAndBalance) {
    song->SetChannel(6, 0.5f, -0.25f, false);
    grid->SetCursor(0, 6);
    key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(song->IsMuted(6));
    EXPECT_EQ(song->GetChannelVolume(6), 0.5f);
    undo.Undo();
    EXPECT_FALSE(song->IsMuted(6));
    EXPECT_EQ(song->GetChannelVolume(6), 0.5f);
    EXPECT_EQ(song->GetChannelPan(6), -0.25f);
    EXPECT_EQ(editor->Model->HeaderNumber(6), "7") << "the header shows the channel playing again";
}

TEST_F(PatternEditorTest, ResizingTheFirstChannelResizesAllButAHeaderBorderMutesNothing) {
    QHeaderView* top = grid->horizontalHeader();
    const int border = top->sectionViewportPosition(0) + top->sectionSize(0) - 1;
    QTest::mousePress(top->viewport(), Qt::LeftButton, {}, QPoint(border, 10));
    QTest::mouseMove(top->viewport(), QPoint(border + 25, 10));
    QTest::mouseRelease(top->viewport(), Qt::LeftButton, {}, QPoint(border + 25, 10));
    EXPECT_FALSE(song->ChannelMuted[0]);
    EXPECT_FALSE(song->ChannelMuted[1]);
    const int width = top->sectionSize(0);
    EXPECT_GT(width, 65);
    EXPECT_EQ(top->sectionSize(1), width);
    EXPECT_EQ(top->sectionSize(98), width);
    // Another column alone.
    top->resizeSection(5, 40);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(0, 0));
    EXPECT_EQ(top->sectionSize(5), 40);
    EXPECT_EQ(top->sectionSize(6), width);
}

TEST_F(PatternEditorTest, ClearAndStopMarkerKeepThePitchAndMoveDown) {
    pattern().CellForWrite(0, 0) = {4, -5.0f};
    pattern().CellForWrite(0, 1) = {4, 7.0f};
    key(Qt::Key_Delete);
    EXPECT_EQ(cell(0, 0).ins, 0);
    EXPECT_EQ(cell(0, 0).pitch, -5.0f);
    EXPECT_EQ(grid->CursorRow(), 1);
    key(Qt::Key_QuoteLeft);
    EXPECT_EQ(cell(0, 1).ins, -1);
    EXPECT_EQ(cell(0, 1).pitch, 7.0f);
    EXPECT_EQ(grid->CursorRow(), 2);
    // A note replaces both; a stop marker then only the instrument.
    grid->SetCursor(0, 0);
    app.SetActiveInstrument(9);
    editor->EnterNote(3.0f);
    EXPECT_EQ(cell(0, 0).ins, 9);
    EXPECT_EQ(cell(0, 0).pitch, 3.0f);
    // At the last row the cursor stays.
    grid->SetCursor(15, 0);
    key(Qt::Key_QuoteLeft);
    EXPECT_EQ(cell(0, 15).ins, -1);
    EXPECT_EQ(grid->CursorRow(), 15);
    key(Qt::Key_Delete);
    EXPECT_EQ(cell(0, 15).ins, 0);
    EXPECT_EQ(grid->CursorRow(), 15);
}

TEST_F(PatternEditorTest, NoteEntryWritesTheActiveInstrumentAndTheListFollowsTheChannel) {
    pattern().CellForWrite(2, 0) = {2, 0.0f};
    app.SetActiveInstrument(5);
    grid->SetCursor(10, 2);
    followed.clear();
    editor->EnterNote(-12.0f);
    EXPECT_EQ(cell(2, 10).ins, 5);
    EXPECT_EQ(cell(2, 10).pitch, -12.0f);
    EXPECT_EQ(grid->CursorRow(), 11);
    ASSERT_FALSE(followed.empty());
    EXPECT_EQ(followed.back(), 2); // the channel's first instrument, for the next note
    // A mouse click on a cell reports too, once, on release.
    followed.clear();
    pattern().CellForWrite(6, 0) = {8, 0.0f};
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(3, 6));
    EXPECT_EQ(followed, std::vector<int>{8});
}

TEST_F(PatternEditorTest, InsertAndBackspaceShiftTheChannelOnly) {
    for (int r = 0; r < 16; ++r) pattern().CellForWrite(1, r) = {r + 1, 0.0f};
    pattern().CellForWrite(2, 3) = {50, 0.0f};
    grid->SetCursor(3, 1);
    key(Qt::Key_Insert);
    EXPECT_EQ(cell(1, 3).ins, 0);
    EXPECT_EQ(cell(1, 4).ins, 4);
    EXPECT_EQ(cell(1, 16).ins, 16); // pushed into the hidden tail
    EXPECT_EQ(cell(2, 3).ins, 50);
    EXPECT_EQ(grid->CursorRow(), 3);
    // Backspace deletes the cell above the cursor and moves onto it.
    grid->SetCursor(4, 1);
    key(Qt::Key_Backspace);
    EXPECT_EQ(grid->CursorRow(), 3);
    EXPECT_EQ(cell(1, 3).ins, 4);
    EXPECT_EQ(cell(1, 15).ins, 16); // back from the tail
    // On the first row it deletes that row's cell and stays.
    grid->SetCursor(0, 1);
    key(Qt::Key_Backspace);
    EXPECT_EQ(grid->CursorRow(), 0);
    EXPECT_EQ(cell(1, 0).ins, 2);
}

TEST_F(PatternEditorTest, PageKeysMoveSixteenRowsAndExtendFromTheTopLeft) {
    editor->RowNumSpin->setValue(40);
    ASSERT_EQ(editor->Model->rowCount(), 40);
    grid->SetCursor(0, 0);
    key(Qt::Key_PageDown);
    EXPECT_EQ(grid->CursorRow(), 16);
    key(Qt::Key_PageDown);
    key(Qt::Key_PageDown);
    EXPECT_EQ(grid->CursorRow(), 39);
    key(Qt::Key_PageUp);
    EXPECT_EQ(grid->CursorRow(), 23);
    key(Qt::Key_PageUp);
    key(Qt::Key_PageUp);
    EXPECT_EQ(grid->CursorRow(), 0);
    // Shift: anchored at the selection's top-left corner.
    grid->SetCursor(2, 3);
    key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectionRect(), QRect(QPoint(3, 2), QPoint(4, 18)));
    key(Qt::Key_PageDown, Qt::ShiftModifier);
    key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectionRect(), QRect(QPoint(3, 2), QPoint(4, 39)));
    key(Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectionRect(), QRect(QPoint(3, 2), QPoint(4, 23)));
}

TEST_F(PatternEditorTest, CopyCutAndPasteBlocksReachTheHiddenChannelAndTail) {
    pattern().CellForWrite(0, 0) = {1, 1.0f};
    pattern().CellForWrite(1, 0) = {2, 2.0f};
    pattern().CellForWrite(0, 2) = {3, 3.0f};
    pattern().CellForWrite(1, 2) = {4, 4.0f};
    // Empty clipboard: nothing.
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(undo.Stack()->count(), 0);
    // Select 2 x 3 and copy.
    grid->SetCursor(0, 0);
    key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_Down, Qt::ShiftModifier);
    key(Qt::Key_Down, Qt::ShiftModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(app.ClipFull);
    EXPECT_EQ(app.ClipWidth, 2);
    EXPECT_EQ(app.ClipHeight, 3);
    // Paste with the cursor on the last column: the second column lands in channel 99.
    grid->SetCursor(5, 98);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(98, 5).ins, 1);
    EXPECT_EQ(cell(99, 5).ins, 2);
    EXPECT_EQ(cell(99, 7).ins, 4);
    EXPECT_EQ(cell(99, 6).ins, 0);
    // Into the hidden tail (rows 16, 17 of a 16-row pattern), and again: the clipboard stays.
    grid->SetCursor(15, 10);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(10, 15).ins, 1);
    EXPECT_EQ(cell(11, 17).ins, 4);
    // Beyond the 512 stored rows, nothing.
    editor->RowNumSpin->setValue(500);
    grid->SetCursor(499, 20);
    app.ClipHeight = 20;
    app.Clip->CellForWrite(0, 19) = {77, 0.0f};
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(20, 499).ins, 1);
    EXPECT_EQ(cell(20, 511).ins, 0);
    // Cut empties the block.
    grid->SetCursor(0, 0);
    key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 0).ins, 0);
    EXPECT_EQ(cell(1, 0).ins, 0);
    EXPECT_EQ(cell(0, 2).ins, 3);
    EXPECT_EQ(app.ClipWidth, 2);
    EXPECT_EQ(app.ClipHeight, 1);
    EXPECT_EQ(app.Clip->Cell(1, 0).ins, 2);
}

TEST_F(PatternEditorTest, LengthFieldKeepsWhatWasTypedAndClampsOnEnterWithAMessage) {
    pattern().CellForWrite(0, 20) = {6, 0.0f};
    QLineEdit* field = editor->RowNumSpin->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    // Typed whole (999 is not cut to 99), shown in red, brought into range on Enter with a message.
    QStringList messages;
    QObject::connect(static_cast<TNumberField*>(editor->RowNumSpin), &TNumberField::clamped,
                     [&](const QString& Text) { messages << Text; });
    struct Case {
        const char* typed;
        int length;
        const char* message;
    } cases[] = {{"999", 500, "Len: 999 is out of range (1 to 500); using 500"},
                 {"0", 1, "Len: 0 is out of range (1 to 500); using 1"},
                 {"99999", 500, "Len: 99999 is out of range (1 to 500); using 500"},
                 {"64", 64, nullptr}};
    for (const auto& c : cases) {
        messages.clear();
        editor->RowNumSpin->setFocus();
        field->selectAll();
        QTest::keyClicks(field, c.typed);
        EXPECT_EQ(field->text(), c.typed);
        EXPECT_EQ(field->styleSheet().isEmpty(), c.message == nullptr) << c.typed;
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(pattern().RowCount, c.length) << c.typed;
        EXPECT_EQ(messages, c.message ? QStringList{c.message} : QStringList{}) << c.typed;
    }
    // Shorten, then lengthen: the hidden row's note is back.
    editor->RowNumSpin->setValue(8);
    EXPECT_EQ(editor->Model->rowCount(), 8);
    editor->RowNumSpin->setValue(32);
    EXPECT_EQ(editor->Model->rowCount(), 32);
    EXPECT_EQ(cell(0, 20).ins, 6);
}

TEST_F(PatternEditorTest, PatternNumberAndLengthFollowTheActivePattern) {
    song->PatternAt(7).RowCount = 48;
    editor->PatNumSpin->setValue(7);
    EXPECT_EQ(app.GetActivePattern(), 7);
    EXPECT_EQ(editor->RowNumSpin->value(), 48);
    EXPECT_EQ(editor->Model->rowCount(), 48);
    // New or a load makes pattern 1 active: "#" names it too, and "Len:" edits pattern 1.
    app.SetActivePattern(1);
    EXPECT_EQ(editor->PatNumSpin->value(), 1);
    editor->RowNumSpin->setValue(20);
    EXPECT_EQ(song->PatternAt(1).RowCount, 20);
    EXPECT_EQ(song->PatternAt(7).RowCount, 48);
}

TEST_F(PatternEditorTest, PlayMarkerRepaintsOnlyTheRowsItLeavesAndEnters) {
    editor->RowNumSpin->setValue(64);
    QTest::qWait(50);
    song->CurRow = 3;
    editor->PlayRowChanged(3);
    QTest::qWait(50);
    grid->Painted = {};
    song->CurRow = 4;
    editor->PlayRowChanged(4);
    QTest::qWait(50);
    EXPECT_EQ(grid->Painted.Cells, 0);
    EXPECT_EQ(grid->Painted.Headers, 0);
    EXPECT_GE(grid->Painted.RowNumbers, 1);
    EXPECT_LE(grid->Painted.RowNumbers, 2);
    EXPECT_EQ(editor->Model->headerData(4, Qt::Vertical).toString(), "-->");
    EXPECT_EQ(editor->Model->headerData(3, Qt::Vertical).toString(), "4");
    // An unchanged row paints nothing.
    grid->Painted = {};
    editor->PlayRowChanged(4);
    QTest::qWait(30);
    EXPECT_EQ(grid->Painted.RowNumbers, 0);
}

TEST_F(PatternEditorTest, EveryEditUndoesAndRedoesAsOneStep) {
    auto* stack = undo.Stack();
    pattern().CellForWrite(0, 0) = {1, 1.0f};
    pattern().CellForWrite(0, 1) = {2, 2.0f};
    // A clear, a stop marker, a note, an insert, a delete: five steps.
    key(Qt::Key_Delete);
    key(Qt::Key_QuoteLeft);
    app.SetActiveInstrument(3);
    editor->EnterNote(5.0f);
    grid->SetCursor(0, 0);
    key(Qt::Key_Insert);
    key(Qt::Key_Backspace);
    EXPECT_EQ(stack->count(), 5);
    // Paste of a block is one step.
    grid->SetCursor(0, 0);
    key(Qt::Key_Down, Qt::ShiftModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    grid->SetCursor(8, 4);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(stack->count(), 6);
    editor->RowNumSpin->setValue(24);
    EXPECT_EQ(stack->count(), 7);

    const cStep before0 = {1, 1.0f}, before1 = {2, 2.0f};
    while (stack->canUndo()) stack->undo();
    EXPECT_EQ(cell(0, 0).ins, before0.ins);
    EXPECT_EQ(cell(0, 1).ins, before1.ins);
    EXPECT_EQ(cell(0, 2).ins, 0);
    EXPECT_EQ(cell(4, 8).ins, 0);
    EXPECT_EQ(pattern().RowCount, 16);
    while (stack->canRedo()) stack->redo();
    EXPECT_EQ(cell(0, 0).ins, 0);
    EXPECT_EQ(cell(0, 1).ins, -1);
    EXPECT_EQ(cell(0, 2).ins, 3);
    EXPECT_EQ(cell(4, 8).ins, 0);
    EXPECT_EQ(cell(4, 9).ins, -1);
    EXPECT_EQ(pattern().RowCount, 24);
    // A command that changes nothing leaves no step.
    grid->SetCursor(20, 50);
    key(Qt::Key_Delete);
    EXPECT_EQ(stack->count(), 7);
}

} // namespace
