#include "ui/input/LiveNotes.h"

#include "app/App.h"
#include "audio/mixer/LiveMixer.h"
#include "song/Sequencer.h"
#include "song/VoiceTags.h"
#include "ui/dialogs/FormTrace.h"
#include "ui/input/KeyboardNotes.h"
#include "ui/input/MidiInput.h"
#include "ui/views/PianoKeys.h"

#include <cmath>

TLiveNotes::TLiveNotes(cApp& App, TPianoKeys& Piano, QObject* Parent)
    : QObject(Parent), PianoKeyboard(new TKeyboardNotes(this)), Midi(new TMidiInput(this)), App(App),
      Piano(Piano) {
    PianoKeyboard->OnNote = [this](TKeyboardNotes* Sender, float Pitch) {
        Note(KeyTag(Sender->Param_Key), Pitch, 1.0f, true);
        // The piano shows the key as pressed.
        this->Piano.NotePress(int(Pitch + 12));
        BRINDLE_TRACE_VALUE("PianoKeyboard->Param_Key", Sender->Param_Key);
    };
    PianoKeyboard->OnRelease = [this](TKeyboardNotes* Sender) {
        BRINDLE_TRACE_VALUE("PianoKeyboard->Param_Key", Sender->Param_Key);
        Release(KeyTag(Sender->Param_Key));
        this->Piano.NoteRelease(TKeyboardNotes::KeyToPitch(Sender->Param_Key, 0) + 12);
    };
    // Mouse notes on the piano are heard, never written.
    Piano.OnNoteDown = [this](TPianoKeys* Sender) {
        Note(PianoTag(Sender->NoteKey - 12), float(Sender->NoteKey - 12), 1.0f, false);
    };
    Piano.OnNoteUp = [this](TPianoKeys* Sender) { Release(PianoTag(Sender->NoteKey - 12)); };
    Midi->OnNote = [this](TMidiInput* Sender, float Pitch, float Volume) {
        Note(Sender->Param_Tag, Pitch, Volume, true);
    };
    Midi->OnRelease = [this](TMidiInput* Sender) { Release(Sender->Param_Tag); };
}

TLiveNotes::~TLiveNotes() = default;

bool TLiveNotes::KeyEvent(const QKeyEvent& Event) {
    return PianoKeyboard->KeyEvent(Event);
}

void TLiveNotes::ReleaseKeys() {
    PianoKeyboard->ReleaseAll();
}

void TLiveNotes::Note(int Tag, float Pitch, float Volume, bool FromKeys) {
    if (FromKeys && GridHasFocus && GridHasFocus() && EnterNote) EnterNote(Pitch);
    const std::string file = BrowserFile ? BrowserFile() : std::string();
    if (!file.empty()) {
        if (App.Mixer) App.Mixer->AddToMix(file, 1.0f, Volume, Pitch, 0.0f, Tag);
    } else if (App.seq) {
        App.seq->PreviewInstrument(App.GetActiveInstrument(), Pitch, Tag, Volume);
    }
}

void TLiveNotes::Release(int Tag) {
    if (App.Mixer) App.Mixer->RemoveByTag(Tag);
}
