#pragma once
// Turns key presses of the main window into notes: the lower letter row with the row above it
// plays the lower octave, the upper letter row with the digit row the upper octave and a half.
// Keys are virtual-key codes of a US layout (see KeyPositions.h). A key raises one note when it
// goes down and one release when it comes up; the keyboard's auto-repeat starts no second note.
#include <QObject>

#include <array>
#include <functional>

class QKeyEvent;

class TKeyboardNotes : public QObject {
    Q_OBJECT
  public:
    static constexpr int KeyCount = 255; // virtual-key codes 0 … 254
    using TNoteEvent = std::function<void(TKeyboardNotes* Sender, float Pitch)>;
    using TReleaseEvent = std::function<void(TKeyboardNotes* Sender)>;

    explicit TKeyboardNotes(QObject* Parent = nullptr);

    // True while that key is down.
    std::array<bool, KeyCount> Pressed{};
    // The key of the last note or release; handlers read it.
    int Param_Key = 0;
    TNoteEvent OnNote;
    TReleaseEvent OnRelease;

    void ResetKeys();
    // The key's semitone offset from the instrument's own pitch, or Fallback for a key without one.
    static int KeyToPitch(int Key, int Fallback);
    void OnKeyDown(int Key);
    void OnKeyUp(int Key);

    // A key press or release of the window, taken by its position. True when the key plays notes,
    // so the caller may consume it. The auto-repeat's releases (X11 sends one before every
    // repeated press) are ignored, or a held note would stop and start again.
    bool KeyEvent(const QKeyEvent& Event);
    // Every key still down comes up, each with its release: for when the window loses the focus,
    // since the key-up of a key released in another window never arrives here.
    void ReleaseAll();
};
