#include "ui/input/KeyPositions.h"
#include "ui/input/KeyboardNotes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using brindle::TScanCodeKind;

namespace {

// The X keycode (evdev code + 8) of the key at a position of the main block.
constexpr quint32 X(int Evdev) {
    return quint32(Evdev + 8);
}

// What an AZERTY keyboard under X11 sends: the position's keycode with the layout's character.
struct LayoutKey {
    quint32 ScanCode;
    Qt::Key Key;
    const char* Text;
};

class NoteSink : public QWidget {
  public:
    NoteSink() {
        Notes.OnNote = [this](TKeyboardNotes*, float pitch) {
            Played.push_back({Notes.Param_Key, int(pitch)});
        };
        Notes.OnRelease = [this](TKeyboardNotes*) { Released.push_back(Notes.Param_Key); };
    }
    void Send(const LayoutKey& k, QEvent::Type type) {
        QKeyEvent e(type, k.Key, Qt::NoModifier, k.ScanCode, 0, 0, QString::fromUtf8(k.Text));
        QApplication::sendEvent(this, &e);
    }
    TKeyboardNotes Notes;
    std::vector<std::pair<int, int>> Played; // key, pitch
    std::vector<int> Released;

  protected:
    void keyPressEvent(QKeyEvent* e) override { Notes.KeyEvent(*e); }
    void keyReleaseEvent(QKeyEvent* e) override { Notes.KeyEvent(*e); }
};

TEST(KeyPositions, ThePlatformSaysWhatAScanCodeIs) {
    EXPECT_EQ(brindle::ScanCodeKindOf("xcb"), TScanCodeKind::XKeycode);
    EXPECT_EQ(brindle::ScanCodeKindOf("wayland-egl"), TScanCodeKind::XKeycode);
    EXPECT_EQ(brindle::ScanCodeKindOf("windows"), TScanCodeKind::PcScanCode);
    EXPECT_EQ(brindle::ScanCodeKindOf("cocoa"), TScanCodeKind::None);
    // These tests run offscreen on Linux, where scan codes are X keycodes.
    EXPECT_EQ(brindle::CurrentScanCodeKind(), TScanCodeKind::XKeycode);
}

TEST(KeyPositions, PositionsGiveTheUsCodes) {
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(16), TScanCodeKind::XKeycode), 'Q');
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(16, TScanCodeKind::PcScanCode), 'Q');
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(44), TScanCodeKind::XKeycode), 'Z');
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(51), TScanCodeKind::XKeycode), 188);
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(26), TScanCodeKind::XKeycode), 219);
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(13), TScanCodeKind::XKeycode), 187);
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(27), TScanCodeKind::XKeycode), 221);
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(11), TScanCodeKind::XKeycode), '0');
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(2), TScanCodeKind::XKeycode), '1');
    // Keys that do not move between layouts are left to Qt's key.
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(71), TScanCodeKind::XKeycode), 0); // keypad 7
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(X(16), TScanCodeKind::None), 0);
    EXPECT_EQ(brindle::VirtualKeyFromScanCode(3, TScanCodeKind::XKeycode), 0);
}

TEST(KeyPositions, QtKeysMapAsOnAUsLayout) {
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_Q, {}), 'Q');
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_7, {}), '7');
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_Ampersand, Qt::ShiftModifier), '7');
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_BraceLeft, Qt::ShiftModifier), 219);
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_Plus, Qt::ShiftModifier), 187);
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_Less, Qt::ShiftModifier), 188);
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_Escape, {}), 27);
    // The keypad's digits are keys of their own and play nothing.
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_7, Qt::KeypadModifier), 103);
    EXPECT_EQ(TKeyboardNotes::KeyToPitch(103, -99), -99);
    EXPECT_EQ(brindle::VirtualKeyFromQtKey(Qt::Key_Eacute, {}), 0);
}

TEST(KeyPositions, AnAzertyKeyboardPlaysTheSamePianoUnderTheSameFingers) {
    NoteSink w;
    // Position of US key → what AZERTY prints there.
    const std::vector<LayoutKey> azerty = {
        {X(16), Qt::Key_A, "a"},              // US Q
        {X(17), Qt::Key_Z, "z"},              // US W
        {X(44), Qt::Key_W, "w"},              // US Z
        {X(50), Qt::Key_Comma, ","},          // US M
        {X(51), Qt::Key_Semicolon, ";"},      // US comma
        {X(3), Qt::Key_Eacute, "\xc3\xa9"},   // US 2
        {X(26), Qt::Key_Dead_Circumflex, ""}, // US [
        {X(30), Qt::Key_Q, "q"},              // US A: no note
    };
    for (const auto& k : azerty)
        w.Send(k, QEvent::KeyPress);
    const std::vector<std::pair<int, int>> expected = {{'Q', 0}, {'W', 2}, {'Z', -12}, {'M', -1},
                                                       {188, 0}, {'2', 1}, {219, 17}};
    EXPECT_EQ(w.Played, expected);
    EXPECT_TRUE(w.Notes.Pressed['A']);
    // The releases name the same keys, whatever the characters.
    w.Send(azerty[0], QEvent::KeyRelease);
    w.Send(azerty[3], QEvent::KeyRelease);
    EXPECT_EQ(w.Released, (std::vector<int>{'Q', 'M'}));
    EXPECT_FALSE(w.Notes.Pressed['Q']);
    EXPECT_TRUE(w.Notes.Pressed[188]);
}

TEST(KeyPositions, WithoutAScanCodeTheCharacterDecides) {
    NoteSink w;
    // Offscreen, or a platform that gives no position: the key is what its character is on a US
    // layout, so AZERTY's 'a' is the note-less A and its 'é' plays nothing.
    w.Send({0, Qt::Key_A, "a"}, QEvent::KeyPress);
    w.Send({0, Qt::Key_Eacute, "\xc3\xa9"}, QEvent::KeyPress);
    w.Send({0, Qt::Key_Semicolon, ";"}, QEvent::KeyPress);
    w.Send({0, Qt::Key_Q, "q"}, QEvent::KeyPress);
    EXPECT_EQ(w.Played, (std::vector<std::pair<int, int>>{{'Q', 0}}));
    EXPECT_TRUE(w.Notes.Pressed['A']);
    EXPECT_TRUE(w.Notes.Pressed[186]);
}

TEST(KeyPositions, AKeyOutsideTheTableFallsBackToQtsKey) {
    NoteSink w;
    // Keypad 2 under X11 (NumLock on): its position is not in the table, the keypad modifier is.
    QKeyEvent e(QEvent::KeyPress, Qt::Key_2, Qt::KeypadModifier, X(80), 0, 0, "2");
    QApplication::sendEvent(&w, &e);
    EXPECT_TRUE(w.Played.empty());
    EXPECT_TRUE(w.Notes.Pressed[98]);
    EXPECT_FALSE(w.Notes.Pressed['2']);
}

} // namespace
