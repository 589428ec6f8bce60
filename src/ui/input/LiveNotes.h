#pragma once
// Live playing: notes from the computer keyboard, the on-screen piano and MIDI keyboards become
// voices of the active instrument (or of the file selected in the browser while it has the focus),
// each source under its own tags, and keyboard and MIDI notes are written into the pattern while
// its grid has the focus.
#include <QObject>

#include <functional>
#include <string>

class QKeyEvent;
class TKeyboardNotes;
class TMidiInput;
class TPianoKeys;
class cApp;

class TLiveNotes : public QObject {
    Q_OBJECT

  public:
    TLiveNotes(cApp& App, TPianoKeys& Piano, QObject* Parent = nullptr);
    ~TLiveNotes() override;

    TKeyboardNotes* PianoKeyboard;
    TMidiInput* Midi;

    // The window's key preview: true when the key is a note key.
    bool KeyEvent(const QKeyEvent& Event);
    // The window lost the focus, so key releases go elsewhere: every held computer key is
    // released. MIDI notes sound on; their note-offs arrive wherever the focus is.
    void ReleaseKeys();

    // Whether the pattern grid has the focus, and writing a note there.
    std::function<bool()> GridHasFocus;
    std::function<void(float Pitch)> EnterNote;
    // The browser's selected file while the browser has the focus, else empty.
    std::function<std::string()> BrowserFile;

  private:
    void Note(int Tag, float Pitch, float Volume, bool FromKeys);
    void Release(int Tag);

    cApp& App;
    TPianoKeys& Piano;
};
