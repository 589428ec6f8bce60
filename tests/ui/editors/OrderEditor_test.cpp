// The Order page: keys and clicks on the real grid edit the song's order list through the undo
// history, the pattern number box refuses what it cannot hold, Clone copies into the first empty
// pattern, and the "-->" marker repaints only the rows it leaves and reaches.
#include "app/App.h"
#include "song/Sequencer.h"
#include "support/ui/Eventually.h"
#include "ui/dialogs/OrdPatNumForm.h"
#include "ui/editors/OrderEditor.h"
#include "ui/editors/OrderGrid.h"
#include "ui/editors/SongUndo.h"

#include <QLabel>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// ---- the pattern number box ----

class OrdPatNumFormTest : public ::testing::Test {
  protected:
    TOrdPatNumForm form;
    void SetUp() override {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    void Type(const QString& Text) {
        form.PatNumEdit->selectAll();
        QTest::keyClick(form.PatNumEdit, Qt::Key_Backspace);
        QTest::keyClicks(form.PatNumEdit, Text);
    }
};

TEST_F(OrdPatNumFormTest, OpensWithOneSelectedInTheFocusedFieldAndAFixedSize) {
    EXPECT_EQ(form.windowTitle(), "Order Edit");
    EXPECT_EQ(form.PatNumEdit->text(), "1");
    EXPECT_EQ(form.Value(), 1);
    EXPECT_EQ(QApplication::focusWidget(), form.PatNumEdit);
    EXPECT_EQ(form.PatNumEdit->selectedText(), "1");
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_TRUE(form.OKBtn->isDefault());
}

TEST_F(OrdPatNumFormTest, TypedNumbersStayAsTypedAndEnterBringsThemIntoRange) {
    // 150 is not cut to 15: it shows in red, and Enter makes it 100 with a note.
    Type("150");
    EXPECT_EQ(form.PatNumEdit->text(), "150");
    EXPECT_TRUE(form.PatNumEdit->styleSheet().contains("#c03030"));
    QTest::keyClick(form.PatNumEdit, Qt::Key_Return);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.PatNumEdit->text(), "100");
    EXPECT_TRUE(form.PatNumEdit->styleSheet().isEmpty());
    EXPECT_EQ(form.RangeNote->text(), "Pattern number: 150 is out of range (0 to 100); using 100");
    QTest::keyClick(form.PatNumEdit, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Value(), 100);
    form.show();
    Type("-1");
    EXPECT_EQ(form.PatNumEdit->text(), "1");
    Type("1x00");
    EXPECT_EQ(form.PatNumEdit->text(), "100");
    EXPECT_EQ(form.Value(), 100);
    Type("0");
    EXPECT_EQ(form.Value(), 0);
}

TEST_F(OrdPatNumFormTest, ArrowsStepWithin1To100AndANonNumberCountsAsZero) {
    form.SetValue(99);
    QTest::mouseClick(form.UpBtn, Qt::LeftButton);
    EXPECT_EQ(form.PatNumEdit->text(), "100");
    QTest::mouseClick(form.UpBtn, Qt::LeftButton);
    EXPECT_EQ(form.PatNumEdit->text(), "100");
    QTest::mouseClick(form.DownBtn, Qt::LeftButton);
    EXPECT_EQ(form.PatNumEdit->text(), "99");
    form.SetValue(1);
    QTest::mouseClick(form.DownBtn, Qt::LeftButton);
    EXPECT_EQ(form.PatNumEdit->text(), "1");
    form.SetValue(0);
    QTest::mouseClick(form.DownBtn, Qt::LeftButton);
    EXPECT_EQ(form.PatNumEdit->text(), "1");

    form.PatNumEdit->setText("");
    EXPECT_EQ(form.Value(), 1);
    QTest::mouseClick(form.UpBtn, Qt::LeftButton);
    EXPECT_EQ(form.PatNumEdit->text(), "1");
    form.PatNumEdit->setText("abc");
    EXPECT_EQ(form.Value(), 1);
    QTest::mouseClick(form.DownBtn, Qt::LeftButton);
    EXPECT_EQ(form.PatNumEdit->text(), "1");
}

TEST_F(OrdPatNumFormTest, EscapeCancelsAndReturnAccepts) {
    QTest::keyClick(form.PatNumEdit, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    form.show();
    QTest::keyClick(form.PatNumEdit, Qt::Key_Return);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

// ---- the Order page ----

class OrderEditorTest : public ::testing::Test {
  protected:
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    cApp app;
    TSongUndo undo;
    std::unique_ptr<TOrderEditor> editor;

    std::vector<int> played, gotos, shown;
    int stops = 0;
    std::vector<std::string> messages;
    int dialogs = 0;
    QString dialogText; // the field as the dialog opened
    QPoint dialogPos;
    std::function<bool(TOrdPatNumForm*)> answer = [](TOrdPatNumForm*) { return false; };

    void SetUp() override {
        song->Init();
        app.seq = song.get();
        editor = std::make_unique<TOrderEditor>(app, undo);
        editor->OnPlaySong = [this](int Row) { played.push_back(Row); };
        editor->OnStop = [this] { ++stops; };
        editor->OnGotoPattern = [this](int P) { gotos.push_back(P); };
        editor->OnShowPattern = [this](int P) { shown.push_back(P); };
        editor->ShowMessage = [this](const std::string& Text) { messages.push_back(Text); };
        editor->RunDialog = [this](TOrdPatNumForm* Form) {
            ++dialogs;
            dialogText = Form->PatNumEdit->text();
            dialogPos = Form->pos();
            return answer(Form);
        };
        editor->resize(400, 400);
    }
    void TearDown() override {
        editor.reset();
        app.seq = nullptr;
    }
    void Show(QWidget* Window = nullptr) {
        QWidget* w = Window ? Window : editor.get();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        editor->FocusGrid();
    }
    QTableView* grid() const { return editor->ordgrid; }
    void Key(Qt::Key K, Qt::KeyboardModifiers M = {}) { QTest::keyClick(grid(), K, M); }
    QPoint RowPoint(int Row) const { return grid()->visualRect(grid()->model()->index(Row, 1)).center(); }
    void SetOrders(const std::vector<int>& Patterns) {
        for (size_t i = 0; i < Patterns.size(); ++i)
            song->Orders[i].PatternIndex = Patterns[i];
    }
    std::vector<int> Orders(int Count) const {
        std::vector<int> v;
        for (int i = 0; i < Count; ++i)
            v.push_back(song->Orders[i].PatternIndex);
        return v;
    }
    void Note(int Pattern, int Channel, int Row, int Ins) {
        StoreStep(song->PatternAt(Pattern).CellForWrite(Channel, Row), cStep{Ins, float(Row)});
    }
    // Answers the dialog by typing into its field, then OK.
    void AnswerTyping(const QString& Text) {
        answer = [Text](TOrdPatNumForm* Form) {
            Form->PatNumEdit->selectAll();
            QTest::keyClick(Form->PatNumEdit, Qt::Key_Backspace);
            QTest::keyClicks(Form->PatNumEdit, Text);
            return true;
        };
    }
};

TEST_F(OrderEditorTest, GridShapeAndTexts) {
    Show();
    EXPECT_EQ(grid()->objectName(), "ordgrid");
    EXPECT_EQ(grid()->width(), 149);
    EXPECT_EQ(grid()->model()->rowCount(), 100);
    EXPECT_EQ(grid()->model()->columnCount(), 2);
    EXPECT_EQ(grid()->rowHeight(42), 16);
    EXPECT_GE(grid()->columnWidth(0), 20);
    EXPECT_GE(grid()->columnWidth(0), grid()->fontMetrics().horizontalAdvance("100") + 2);
    EXPECT_EQ(grid()->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    EXPECT_EQ(editor->OrdEditBtn->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(editor->OrdEditBtn->text(), "[ v ]  Edit");
    EXPECT_EQ(editor->GotoPattern->text(), "-->  Goto");
    EXPECT_EQ(editor->ClonePatternBtn->text(), "I>II  Clone");
    EXPECT_GE(editor->OrdEditBtn->x(), grid()->geometry().right());
    QStringList menu;
    for (QAction* a : editor->OrdPopup->actions())
        menu << a->text() + "|" + a->shortcut().toString();
    EXPECT_EQ(menu.join(","),
              "Edit|Ctrl+Return,Goto Pattern|Return,Play/stop|Space,Delete|Del,Insert|Ins,Clone|Ctrl+C");

    SetOrders({3, 0, 250});
    song->CurOrder = 0;
    EXPECT_EQ(TOrderModel::CellText(*song, 0, 0), "1");
    EXPECT_EQ(TOrderModel::CellText(*song, 99, 0), "100");
    EXPECT_EQ(TOrderModel::CellText(*song, 0, 1), "3");
    EXPECT_EQ(TOrderModel::CellText(*song, 1, 1), "");
    // A number a hand-edited file brought in is never shown as a pattern.
    EXPECT_EQ(TOrderModel::CellText(*song, 2, 1), "");
    EXPECT_EQ(grid()->model()->index(0, 1).data().toString(), "3");
}

TEST_F(OrderEditorTest, InsertOnTheLastPositionDropsItsEntryAndDeleteThereEmptiesIt) {
    Show();
    song->Orders[98].PatternIndex = 6;
    song->Orders[99].PatternIndex = 7;
    editor->SetCurrentRow(97);
    Key(Qt::Key_Down);
    ASSERT_EQ(editor->CurrentRow(), 98);
    Key(Qt::Key_Insert);
    EXPECT_EQ(song->Orders[98].PatternIndex, 0);
    EXPECT_EQ(song->Orders[99].PatternIndex, 6);
    Key(Qt::Key_Down);
    ASSERT_EQ(editor->CurrentRow(), 99);
    Key(Qt::Key_Delete);
    EXPECT_EQ(song->Orders[99].PatternIndex, 0);
    EXPECT_EQ(undo.Stack()->count(), 2);
}

TEST_F(OrderEditorTest, DeleteAndInsertShiftEntriesAndUndoRestoresThem) {
    Show();
    SetOrders({1, 2, 3, 4});
    Key(Qt::Key_Down);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Orders(5), (std::vector<int>{1, 3, 4, 0, 0}));
    Key(Qt::Key_Down);
    Key(Qt::Key_Insert);
    EXPECT_EQ(Orders(5), (std::vector<int>{1, 3, 0, 4, 0}));
    undo.Stack()->undo();
    EXPECT_EQ(Orders(5), (std::vector<int>{1, 3, 4, 0, 0}));
    undo.Stack()->undo();
    EXPECT_EQ(Orders(5), (std::vector<int>{1, 2, 3, 4, 0}));
    undo.Stack()->redo();
    EXPECT_EQ(Orders(5), (std::vector<int>{1, 3, 4, 0, 0}));
    // Deleting an empty tail changes nothing and leaves no step.
    editor->SetCurrentRow(50);
    Key(Qt::Key_Delete);
    EXPECT_EQ(undo.Stack()->count(), 2);
}

TEST_F(OrderEditorTest, CtrlReturnEditsTheEntryAndOkStoresItAsOneStep) {
    Show();
    SetOrders({0, 12});
    Key(Qt::Key_Down);
    AnswerTyping("34");
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(dialogText, "12");
    EXPECT_EQ(song->Orders[1].PatternIndex, 34);
    EXPECT_EQ(undo.Stack()->count(), 1);
    // The keypad's Enter too.
    AnswerTyping("35");
    QTest::keyClick(grid(), Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(dialogText, "34");
    EXPECT_EQ(song->Orders[1].PatternIndex, 35);
    undo.Stack()->undo();
    EXPECT_EQ(song->Orders[1].PatternIndex, 34);
    undo.Stack()->undo();
    EXPECT_EQ(song->Orders[1].PatternIndex, 12);
    undo.Stack()->redo();
    EXPECT_EQ(song->Orders[1].PatternIndex, 34);
    EXPECT_TRUE(gotos.empty());
}

TEST_F(OrderEditorTest, CancelChangesNothingAndZeroEmptiesTheEntry) {
    Show();
    SetOrders({9});
    answer = [](TOrdPatNumForm* Form) {
        Form->SetValue(50);
        return false;
    };
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(song->Orders[0].PatternIndex, 9);
    EXPECT_EQ(undo.Stack()->count(), 0);
    AnswerTyping("0");
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(dialogText, "9");
    EXPECT_TRUE(song->Orders[0].IsEmpty());
    EXPECT_EQ(TOrderModel::CellText(*song, 0, 1), "");
}

TEST_F(OrderEditorTest, ANumberTheFieldCannotHoldIsRefusedWithAMessage) {
    Show();
    SetOrders({9});
    answer = [](TOrdPatNumForm* Form) {
        Form->PatNumEdit->setText("250"); // set directly: typing could not
        return true;
    };
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(song->Orders[0].PatternIndex, 9);
    EXPECT_EQ(messages, (std::vector<std::string>{"The pattern number must be 0 to 100."}));
    EXPECT_EQ(undo.Stack()->count(), 0);
}

TEST_F(OrderEditorTest, TheContextMenusActionsRunTheCommandsOnTheCursorRow) {
    Show();
    SetOrders({1, 2});
    editor->SetCurrentRow(1);
    const auto action = [&](const QString& Text) {
        for (QAction* a : editor->OrdPopup->actions())
            if (a->text() == Text) return a;
        return static_cast<QAction*>(nullptr);
    };
    ASSERT_NE(action("Insert"), nullptr);
    action("Insert")->trigger();
    EXPECT_EQ(Orders(3), (std::vector<int>{1, 0, 2}));
    action("Delete")->trigger();
    EXPECT_EQ(Orders(3), (std::vector<int>{1, 2, 0}));
    action("Goto Pattern")->trigger();
    EXPECT_EQ(gotos, (std::vector<int>{2}));
}

TEST_F(OrderEditorTest, AnEmptyEntryOpensWithTheTextLastClosedAndOkStoresIt) {
    Show();
    SetOrders({0, 0, 0});
    AnswerTyping("17");
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(dialogText, "1");
    EXPECT_EQ(song->Orders[0].PatternIndex, 17);
    Key(Qt::Key_Down);
    answer = [](TOrdPatNumForm*) { return true; };
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(dialogText, "17");
    EXPECT_EQ(song->Orders[1].PatternIndex, 17);
    // Text left in the field by a cancel is what the next empty entry opens with.
    answer = [](TOrdPatNumForm* Form) {
        Form->SetValue(23);
        return false;
    };
    Key(Qt::Key_Down);
    Key(Qt::Key_Return, Qt::ControlModifier);
    answer = [](TOrdPatNumForm*) { return true; };
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(dialogText, "23");
    EXPECT_EQ(song->Orders[2].PatternIndex, 23);
}

TEST_F(OrderEditorTest, DoubleClickEditsTheClickedRowAndTheBoxOpensBelowTheEditButton) {
    Show();
    SetOrders({4, 5, 6});
    AnswerTyping("60");
    // A double click's first press and release come first, as from a real mouse.
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, RowPoint(2));
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, RowPoint(2));
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(dialogText, "6");
    EXPECT_EQ(song->Orders[2].PatternIndex, 60);
    EXPECT_EQ(Orders(2), (std::vector<int>{4, 5}));
    EXPECT_EQ(dialogPos, editor->OrdEditBtn->mapToGlobal(QPoint(0, editor->OrdEditBtn->height())));
    QTest::mouseClick(editor->OrdEditBtn, Qt::LeftButton);
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(dialogText, "60");
}

TEST_F(OrderEditorTest, CloneCopiesIntoTheFirstEmptyPatternAsOneStep) {
    Show();
    for (int p : {1, 2, 4})
        Note(p, 0, 0, 1);
    song->PatternAt(2).RowCount = 8;
    Note(2, 0, 7, 5);
    Note(2, 99, 3, 6);
    Note(2, 5, 8, 9); // in the source's hidden tail: not copied
    song->PatternAt(3).RowCount = 32;
    SetOrders({1, 2});
    Key(Qt::Key_Down);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(song->Orders[1].PatternIndex, 3);
    const cPattern& to = song->PatternAt(3);
    EXPECT_EQ(to.RowCount, 8);
    EXPECT_EQ(to.Cell(0, 0).ins, 1);
    EXPECT_EQ(to.Cell(0, 7).ins, 5);
    EXPECT_EQ(to.Cell(99, 3).ins, 6);
    EXPECT_EQ(to.Cell(99, 3).pitch, 3.0f);
    EXPECT_EQ(to.Cell(5, 8).ins, 0);
    EXPECT_EQ(undo.Stack()->count(), 1);
    EXPECT_EQ(gotos, (std::vector<int>{3}));
    undo.Stack()->undo();
    EXPECT_EQ(song->Orders[1].PatternIndex, 2);
    EXPECT_TRUE(song->IsPatternEmpty(3));
    EXPECT_EQ(song->PatternAt(3).RowCount, 32);
    undo.Stack()->redo();
    EXPECT_EQ(song->Orders[1].PatternIndex, 3);
    EXPECT_EQ(song->PatternAt(3).Cell(0, 7).ins, 5);
}

TEST_F(OrderEditorTest, CloneButtonFindsTheLastPatternWhenOnlyItIsEmpty) {
    Show();
    // Only pattern 100 is empty.
    for (int p = 1; p <= 99; ++p)
        Note(p, 0, 0, 2);
    song->PatternAt(7).RowCount = 4;
    Note(7, 1, 3, 8);
    SetOrders({7});
    ASSERT_TRUE(song->IsPatternEmpty(100));
    editor->ClonePatternBtn->click();
    EXPECT_EQ(song->Orders[0].PatternIndex, 100);
    EXPECT_EQ(song->PatternAt(100).Cell(1, 3).ins, 8);
    EXPECT_EQ(song->PatternAt(100).RowCount, 4);
}

TEST_F(OrderEditorTest, CloneWithEveryPatternInUseSaysSoAndChangesNothing) {
    Show();
    for (int p = 1; p <= 100; ++p)
        Note(p, 3, 0, 1);
    SetOrders({5});
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(messages, (std::vector<std::string>{"Sorry, no empty pattern found."}));
    EXPECT_EQ(song->Orders[0].PatternIndex, 5);
    EXPECT_EQ(undo.Stack()->count(), 0);
    EXPECT_TRUE(gotos.empty());
}

TEST_F(OrderEditorTest, CloneOfTheFirstEmptyPatternCopiesOntoItselfAndAnEmptyEntryIsIgnored) {
    Show();
    Note(1, 0, 0, 1);
    SetOrders({2, 0, 300});
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(song->Orders[0].PatternIndex, 2);
    EXPECT_EQ(undo.Stack()->count(), 0);
    EXPECT_EQ(gotos, (std::vector<int>{2}));
    Key(Qt::Key_Down);
    Key(Qt::Key_C, Qt::ControlModifier);
    Key(Qt::Key_Down);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(song->Orders[2].PatternIndex, 300);
    EXPECT_EQ(gotos.size(), 1u);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(undo.Stack()->count(), 0);
}

TEST_F(OrderEditorTest, SpacePlaysTheSongFromTheCursorUnlessTheSongPlaysAndBeatsTheWindowShortcut) {
    QMainWindow window;
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* other = new QPushButton("other");
    layout->addWidget(other);
    editor->setParent(central);
    layout->addWidget(editor.get());
    window.setCentralWidget(central);
    int toggles = 0;
    auto* toggle = window.addAction("Toggle play");
    toggle->setShortcut(QKeySequence(Qt::Key_Space));
    toggle->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(toggle, &QAction::triggered, [&] { ++toggles; });
    window.resize(500, 500);
    Show(&window);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // The window's shortcut works where the grid is not focused, so a miss below is the grid's doing.
    other->setFocus();
    QTest::keyClick(other, Qt::Key_Space);
    ASSERT_EQ(toggles, 1);

    editor->FocusGrid();
    ASSERT_EQ(QApplication::focusWidget(), grid());
    editor->SetCurrentRow(4);
    song->PlayMode = PlayPatternLoop;
    QTest::keyClick(grid(), Qt::Key_Space);
    EXPECT_EQ(played, (std::vector<int>{4}));
    EXPECT_EQ(stops, 0);
    song->PlayMode = PlaySongMode;
    QTest::keyClick(grid(), Qt::Key_Space);
    EXPECT_EQ(stops, 1);
    song->PlayMode = PlayStopped;
    QTest::keyClick(grid(), Qt::Key_Space);
    EXPECT_EQ(played, (std::vector<int>{4, 4}));
    EXPECT_EQ(toggles, 1);
    // Delete too stays with the grid while the window has a Delete shortcut of its own.
    int deletes = 0;
    auto* del = window.addAction("Delete");
    del->setShortcut(QKeySequence(Qt::Key_Delete));
    QObject::connect(del, &QAction::triggered, [&] { ++deletes; });
    SetOrders({1, 2, 3, 4, 5, 6});
    QTest::keyClick(grid(), Qt::Key_Delete);
    EXPECT_EQ(deletes, 0);
    EXPECT_EQ(song->Orders[4].PatternIndex, 6);
    editor->setParent(nullptr);
}

TEST_F(OrderEditorTest, EnterGoesToTheEntrysPatternAndTheGotoButtonToo) {
    Show();
    SetOrders({8, 0, 101});
    Key(Qt::Key_Return);
    QTest::keyClick(grid(), Qt::Key_Enter, Qt::KeypadModifier);
    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    Key(Qt::Key_Down);
    editor->GotoPattern->click();
    EXPECT_EQ(gotos, (std::vector<int>{8, 8, 0, 0}));
    EXPECT_EQ(editor->CurrentRow(), 2);
    EXPECT_EQ(dialogs, 0);
}

TEST_F(OrderEditorTest, CursorMovesByKeyAndClicksShowTheRowsPattern) {
    Show();
    SetOrders({11, 22, 0, 44});
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    Key(Qt::Key_Up);
    Key(Qt::Key_Up);
    Key(Qt::Key_Up); // at the top: no move
    EXPECT_EQ(shown, (std::vector<int>{22, 0, 22, 11}));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, RowPoint(3));
    EXPECT_EQ(editor->CurrentRow(), 3);
    EXPECT_EQ(shown.back(), 44);
    EXPECT_EQ(shown.size(), 5u);
}

TEST_F(OrderEditorTest, MarkerStaysOnTheLastPlayedPositionAndTheSelectedRowIsBlack) {
    Show();
    SetOrders({1, 2, 3});
    song->CurOrder = 2;
    song->PlayMode = PlayStopped;
    editor->Refresh();
    EXPECT_EQ(TOrderModel::CellText(*song, 1, 0), "-->");
    EXPECT_EQ(TOrderModel::CellText(*song, 0, 0), "1");
    EXPECT_EQ(TOrderModel::CellText(*song, 2, 0), "3");
    EXPECT_EQ(grid()->model()->index(1, 0).data().toString(), "-->");

    editor->SetCurrentRow(2);
    const QImage image = grid()->viewport()->grab().toImage();
    const auto at = [&](int Row, int Column) {
        const QRect r = grid()->visualRect(grid()->model()->index(Row, Column));
        // Far from the text and the focus frame.
        return image.pixelColor(r.right() - 4, r.center().y());
    };
    EXPECT_EQ(at(2, 1), QColor(Qt::black));
    EXPECT_EQ(at(2, 0), QColor(Qt::black));
    EXPECT_EQ(at(0, 1), grid()->palette().color(QPalette::Window));
    EXPECT_EQ(at(0, 0), grid()->palette().color(QPalette::Button));
    // Light text on the black row (anti-aliased, so no pixel need be pure white), dark elsewhere.
    const auto lightest = [&](int Row) {
        const QRect text = grid()->visualRect(grid()->model()->index(Row, 1));
        int most = 0;
        for (int x = text.left(); x < text.left() + 14; ++x)
            for (int y = text.top(); y <= text.bottom(); ++y)
                most = std::max(most, image.pixelColor(x, y).lightness());
        return most;
    };
    EXPECT_GT(lightest(2), 160);
    int darkest = 255;
    const QRect other = grid()->visualRect(grid()->model()->index(0, 1));
    for (int x = other.left(); x < other.left() + 14; ++x)
        for (int y = other.top(); y <= other.bottom(); ++y)
            darkest = std::min(darkest, image.pixelColor(x, y).lightness());
    EXPECT_LT(darkest, 100);
}

// Counts the cells painted per row.
class TCountingDelegate : public TOrderDelegate {
  public:
    using TOrderDelegate::TOrderDelegate;
    mutable std::map<int, int> Painted;
    void paint(QPainter* P, const QStyleOptionViewItem& O, const QModelIndex& I) const override {
        ++Painted[I.row()];
        TOrderDelegate::paint(P, O, I);
    }
};

TEST_F(OrderEditorTest, CurOrderChangedRepaintsOnlyTheRowsTheMarkerLeftAndReached) {
    auto* counter = new TCountingDelegate(grid());
    grid()->setItemDelegate(counter);
    song->CurOrder = 3;
    editor->Refresh();
    Show();
    ASSERT_EVENTUALLY(!counter->Painted.empty(), 5000);
    QApplication::processEvents();
    counter->Painted.clear();

    // No change: nothing repainted.
    editor->CurOrderChanged();
    QApplication::processEvents();
    QTest::qWait(30);
    EXPECT_TRUE(counter->Painted.empty());

    song->CurOrder = 6;
    editor->CurOrderChanged();
    ASSERT_EVENTUALLY(counter->Painted.size() >= 2, 5000);
    QApplication::processEvents();
    std::vector<int> rows;
    for (const auto& [row, count] : counter->Painted)
        rows.push_back(row);
    EXPECT_EQ(rows, (std::vector<int>{2, 5}));
    EXPECT_EQ(TOrderModel::CellText(*song, 5, 0), "-->");
    EXPECT_EQ(TOrderModel::CellText(*song, 2, 0), "3");
}

TEST_F(OrderEditorTest, FocusGridKeepsTheCurrentRow) {
    Show();
    editor->SetCurrentRow(7);
    grid()->clearFocus();
    editor->FocusGrid();
    EXPECT_TRUE(grid()->hasFocus());
    EXPECT_EQ(editor->CurrentRow(), 7);
    grid()->setCurrentIndex({});
    editor->FocusGrid();
    EXPECT_TRUE(grid()->currentIndex().isValid());
}

} // namespace
