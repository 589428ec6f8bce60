// The hot-key and fit-rows dialogs driven from the keyboard as a user meets them: the focus is in
// the field, Enter takes the answer, Escape cancels, and only the last key combination counts.
#include "ui/dialogs/InstrumentDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs the dialog modally while Keys are typed into whatever has the focus once it shows.
int RunWithKeys(QDialog& Dialog, std::function<void()> Keys) {
    bool typed = false;
    QTimer::singleShot(0, &Dialog, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Dialog));
        Keys();
        typed = true;
        // A dialog the keys did not close is closed here, as a refusal.
        if (Dialog.isVisible()) Dialog.done(-1);
    });
    const int result = Dialog.exec();
    EXPECT_TRUE(typed);
    return result;
}

QWidget* Focus() {
    return QApplication::focusWidget();
}

TEST(KeyDialog, EnterTakesTheLastCombinationTypedAndEscapeCancels) {
    Tdialog_Key dialog;
    EXPECT_EQ(dialog.windowTitle(), "Dialog");
    EXPECT_EQ(dialog.HotKey1->text(), "Ctrl+A");
    int result = RunWithKeys(dialog, [] {
        EXPECT_EQ(Focus() == nullptr, false);
        QTest::keyClick(Focus(), Qt::Key_1, Qt::ControlModifier);
        QTest::keyClick(Focus(), Qt::Key_2, Qt::AltModifier);
        QTest::keyClick(Focus(), Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.Key(), QKeySequence(Qt::AltModifier | Qt::Key_2));
    EXPECT_EQ(dialog.HotKey1->text(), "Alt+2");

    result = RunWithKeys(dialog, [] {
        QTest::keyClick(Focus(), Qt::Key_5, Qt::ControlModifier);
        QTest::keyClick(Focus(), Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
}

TEST(KeyDialog, APlainOrShiftedKeyCannotBeTaken) {
    Tdialog_Key dialog;
    const int result = RunWithKeys(dialog, [&] {
        QTest::keyClick(Focus(), Qt::Key_A);
        EXPECT_FALSE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QTest::keyClick(Focus(), Qt::Key_Return); // refused: the dialog stays open
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClick(Focus(), Qt::Key_B, Qt::ShiftModifier);
        EXPECT_FALSE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QTest::keyClick(Focus(), Qt::Key_B, Qt::ControlModifier);
        EXPECT_TRUE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QTest::keyClick(Focus(), Qt::Key_Enter, Qt::KeypadModifier);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.Key(), QKeySequence(Qt::ControlModifier | Qt::Key_B));
}

TEST(FitDialog, OffersPowersOfTwoFromFourAndAnswersTheKeys) {
    TRowsFitDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Fit");
    ASSERT_EQ(dialog.Rows->count(), 8);
    EXPECT_EQ(dialog.Rows->itemText(0), "2");
    EXPECT_EQ(dialog.Rows->itemText(7), "256");
    EXPECT_EQ(dialog.Rows->currentText(), "4");
    int result = RunWithKeys(dialog, [] {
        QTest::keyClick(Focus(), Qt::Key_Down);
        QTest::keyClick(Focus(), Qt::Key_Down);
        QTest::keyClick(Focus(), Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.RowCount(), 16.0);
    result = RunWithKeys(dialog, [] { QTest::keyClick(Focus(), Qt::Key_Escape); });
    EXPECT_EQ(result, QDialog::Rejected);
}

} // namespace
