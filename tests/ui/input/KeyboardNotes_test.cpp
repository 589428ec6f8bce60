#include "ui/input/KeyboardNotes.h"

#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

// A window that plays notes from its keys the way the main window does, and lets every held
// key go when it loses the focus.
class NoteWindow : public QWidget {
  public:
    NoteWindow() {
        setFocusPolicy(Qt::StrongFocus);
        resize(100, 60);
        Notes.OnNote = [this](TKeyboardNotes* sender, float pitch) {
            EXPECT_EQ(sender, &Notes);
            Events.push_back("note " + std::to_string(Notes.Param_Key) + " " + std::to_string(int(pitch)));
        };
        Notes.OnRelease = [this](TKeyboardNotes* sender) {
            EXPECT_EQ(sender, &Notes);
            Events.push_back("release " + std::to_string(Notes.Param_Key));
        };
    }
    TKeyboardNotes Notes;
    std::vector<std::string> Events;
    std::vector<bool> Consumed;

  protected:
    void keyPressEvent(QKeyEvent* e) override { Consumed.push_back(Notes.KeyEvent(*e)); }
    void keyReleaseEvent(QKeyEvent* e) override { Consumed.push_back(Notes.KeyEvent(*e)); }
    void changeEvent(QEvent* e) override {
        if (e->type() == QEvent::ActivationChange && !isActiveWindow()) Notes.ReleaseAll();
        QWidget::changeEvent(e);
    }
};

using Events = std::vector<std::string>;

TEST(KeyboardNotes, EveryKeyOfTheMapHasItsPitchAndOthersNone) {
    const std::string keys = "ZSXDCVGBHNJMQ2W3ER5T6Y7UI9O0P";
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(TKeyboardNotes::KeyToPitch(keys[i], 99), int(i) - 12) << keys[i];
    EXPECT_EQ(TKeyboardNotes::KeyToPitch(188, 99), 0);  // comma
    EXPECT_EQ(TKeyboardNotes::KeyToPitch(219, 99), 17); // [
    EXPECT_EQ(TKeyboardNotes::KeyToPitch(187, 99), 18); // =
    EXPECT_EQ(TKeyboardNotes::KeyToPitch(221, 99), 19); // ]
    for (int key : std::initializer_list<int>{'A', 'F', 'K', 'L', '1', '4', '8', 189, 190, 27, 0, 254})
        EXPECT_EQ(TKeyboardNotes::KeyToPitch(key, 99), 99) << key;
}

TEST(KeyboardNotes, NewComponentHasNoKeyDown) {
    TKeyboardNotes notes;
    for (bool down : notes.Pressed)
        EXPECT_FALSE(down);
    notes.OnKeyDown('Q');
    notes.OnKeyDown('A');
    notes.ResetKeys();
    EXPECT_FALSE(notes.Pressed['Q']);
    EXPECT_FALSE(notes.Pressed['A']);
}

TEST(KeyboardNotes, AutoRepeatPlaysOneNoteAndTheReleaseStopsIt) {
    NoteWindow w;
    QTest::keyPress(&w, Qt::Key_Q);
    // X11's auto-repeat: a release and a press marked as repeated, again and again.
    for (int i = 0; i < 5; ++i) {
        QTest::simulateEvent(&w, false, Qt::Key_Q, Qt::NoModifier, "q", true);
        QTest::simulateEvent(&w, true, Qt::Key_Q, Qt::NoModifier, "q", true);
    }
    EXPECT_EQ(w.Events, (Events{"note 81 0"}));
    EXPECT_TRUE(w.Notes.Pressed['Q']);
    QTest::keyRelease(&w, Qt::Key_Q);
    EXPECT_EQ(w.Events, (Events{"note 81 0", "release 81"}));
    EXPECT_FALSE(w.Notes.Pressed['Q']);
    // A press repeated without releases (as other systems repeat) is no new note either.
    QTest::keyPress(&w, Qt::Key_P);
    QTest::simulateEvent(&w, true, Qt::Key_P, Qt::NoModifier, "p", true);
    QTest::keyRelease(&w, Qt::Key_P);
    EXPECT_EQ(w.Events, (Events{"note 81 0", "release 81", "note 80 16", "release 80"}));
}

TEST(KeyboardNotes, CommaPlaysPitchZeroUnderItsOwnCode) {
    NoteWindow w;
    QTest::keyPress(&w, Qt::Key_Comma);
    QTest::keyPress(&w, Qt::Key_Z);
    QTest::keyPress(&w, Qt::Key_BracketRight);
    QTest::keyRelease(&w, Qt::Key_Comma);
    EXPECT_EQ(w.Events, (Events{"note 188 0", "note 90 -12", "note 221 19", "release 188"}));
}

TEST(KeyboardNotes, ReleaseWithoutPressDoesNothing) {
    NoteWindow w;
    QTest::keyRelease(&w, Qt::Key_W);
    EXPECT_TRUE(w.Events.empty());
    EXPECT_FALSE(w.Notes.Pressed['W']);
}

TEST(KeyboardNotes, OtherKeysAreMarkedDownButPlayNothing) {
    NoteWindow w;
    QTest::keyPress(&w, Qt::Key_A);
    EXPECT_TRUE(w.Notes.Pressed['A']);
    QTest::keyRelease(&w, Qt::Key_A);
    EXPECT_FALSE(w.Notes.Pressed['A']);
    EXPECT_TRUE(w.Events.empty());
    // Only note keys are reported as consumed.
    QTest::keyClick(&w, Qt::Key_E);
    EXPECT_EQ(w.Consumed, (std::vector<bool>{false, false, true, true}));
}

TEST(KeyboardNotes, EventsAreRaisedOnlyWhenAssigned) {
    TKeyboardNotes notes;
    notes.Param_Key = -5;
    notes.OnKeyDown('R');
    notes.OnKeyUp('R');
    EXPECT_EQ(notes.Param_Key, -5);
    EXPECT_FALSE(notes.Pressed['R']);
    // Codes outside 0 … 254 are no keys at all.
    notes.OnKeyDown(255);
    notes.OnKeyDown(-1);
    notes.OnKeyUp(1000);
}

TEST(KeyboardNotes, AKeyUpMissedStaysDownUntilReleaseAll) {
    TKeyboardNotes notes;
    int played = 0, released = 0;
    notes.OnNote = [&](TKeyboardNotes*, float) { ++played; };
    notes.OnRelease = [&](TKeyboardNotes*) { ++released; };
    notes.OnKeyDown('T');
    // Its release went to another window: the next press is taken for a repeat.
    notes.OnKeyDown('T');
    EXPECT_EQ(played, 1);
    notes.ReleaseAll();
    EXPECT_EQ(released, 1);
    EXPECT_FALSE(notes.Pressed['T']);
    notes.OnKeyDown('T');
    EXPECT_EQ(played, 2);
    notes.ReleaseAll();
    notes.ReleaseAll(); // nothing left down: no second release
    EXPECT_EQ(released, 2);
}

TEST(KeyboardNotes, LosingTheFocusReleasesEveryHeldKey) {
    NoteWindow w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyPress(&w, Qt::Key_Q);
    QTest::keyPress(&w, Qt::Key_2);
    QTest::keyPress(&w, Qt::Key_F); // no note, but down
    QWidget other;
    other.resize(50, 50);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    // Both notes end although their key-ups went to the other window.
    ASSERT_EQ(w.Events.size(), 4u);
    EXPECT_EQ(w.Events[0], "note 81 0");
    EXPECT_EQ(w.Events[1], "note 50 1");
    EXPECT_EQ((Events{w.Events[2], w.Events[3]}), (Events{"release 50", "release 81"}));
    EXPECT_FALSE(w.Notes.Pressed['F']);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // So the next press plays at once.
    QTest::keyPress(&w, Qt::Key_Q);
    EXPECT_EQ(w.Events.back(), "note 81 0");
}

} // namespace
