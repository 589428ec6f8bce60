#include "ui/input/KeyboardNotes.h"

#include "ui/input/KeyPositions.h"

#include <QKeyEvent>

namespace {
constexpr int NoPitch = -1000;

bool InRange(int Key) {
    return Key >= 0 && Key < TKeyboardNotes::KeyCount;
}
} // namespace

TKeyboardNotes::TKeyboardNotes(QObject* Parent) : QObject(Parent) {
    ResetKeys();
}

void TKeyboardNotes::ResetKeys() {
    Pressed.fill(false);
}

int TKeyboardNotes::KeyToPitch(int Key, int Fallback) {
    switch (Key) {
    case 'Z':
        return -12;
    case 'S':
        return -11;
    case 'X':
        return -10;
    case 'D':
        return -9;
    case 'C':
        return -8;
    case 'V':
        return -7;
    case 'G':
        return -6;
    case 'B':
        return -5;
    case 'H':
        return -4;
    case 'N':
        return -3;
    case 'J':
        return -2;
    case 'M':
        return -1;
    case 'Q':
    case 188:
        return 0; // comma: the lower octave's next C, under its own tag
    case '2':
        return 1;
    case 'W':
        return 2;
    case '3':
        return 3;
    case 'E':
        return 4;
    case 'R':
        return 5;
    case '5':
        return 6;
    case 'T':
        return 7;
    case '6':
        return 8;
    case 'Y':
        return 9;
    case '7':
        return 10;
    case 'U':
        return 11;
    case 'I':
        return 12;
    case '9':
        return 13;
    case 'O':
        return 14;
    case '0':
        return 15;
    case 'P':
        return 16;
    case 219:
        return 17; // [
    case 187:
        return 18; // =
    case 221:
        return 19; // ]
    default:
        return Fallback;
    }
}

void TKeyboardNotes::OnKeyDown(int Key) {
    if (!InRange(Key) || Pressed[size_t(Key)]) return;
    Pressed[size_t(Key)] = true;
    const int pitch = KeyToPitch(Key, NoPitch);
    if (pitch != NoPitch && OnNote) {
        Param_Key = Key;
        OnNote(this, float(pitch));
    }
}

void TKeyboardNotes::OnKeyUp(int Key) {
    if (!InRange(Key) || !Pressed[size_t(Key)]) return;
    Pressed[size_t(Key)] = false;
    if (KeyToPitch(Key, NoPitch) != NoPitch && OnRelease) {
        Param_Key = Key;
        OnRelease(this);
    }
}

bool TKeyboardNotes::KeyEvent(const QKeyEvent& Event) {
    const int key = brindle::VirtualKeyOf(Event);
    if (!InRange(key) || key == 0) return false;
    const bool isNote = KeyToPitch(key, NoPitch) != NoPitch;
    if (Event.type() == QEvent::KeyPress)
        OnKeyDown(key);
    else if (Event.type() == QEvent::KeyRelease && !Event.isAutoRepeat())
        OnKeyUp(key);
    return isNote;
}

void TKeyboardNotes::ReleaseAll() {
    for (int key = 0; key < KeyCount; ++key)
        OnKeyUp(key);
}
