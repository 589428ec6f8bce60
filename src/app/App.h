#pragma once
// The application object: the editors' selection — the active pattern and instrument — the
// pattern clipboard, pointers to the document's song and live engine, and the transport helpers
// every editor uses. One lives for the whole program, before and after the main window.
#include "song/Pattern.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class cSequencer;
class TLiveMixer;

namespace brindle {
class SongEngine;
}

class cApp {
public:
    using TNotifyEvent = std::function<void(cApp* Sender)>;

    cApp();
    ~cApp();
    cApp(const cApp&) = delete;
    cApp& operator=(const cApp&) = delete;

    // Set by the song document when it creates the song and its live engine.
    cSequencer* seq = nullptr;
    brindle::SongEngine* Engine = nullptr;
    TLiveMixer* Mixer = nullptr;

    TNotifyEvent OnInstrumentChange;
    TNotifyEvent OnPatternChange;

    int GetActiveInstrument() const { return ActiveInstrument; }
    int GetActivePattern() const { return ActivePattern; }
    void SetActiveInstrument(int Value);
    void SetActivePattern(int Value);
    cPattern& ActivePatternData();

    // The pattern editor's clipboard.
    std::unique_ptr<cPattern> Clip;
    int ClipWidth = 0;
    int ClipHeight = 0;
    bool ClipFull = false;

    // Transport: every start clears the mixer and its clock.
    void PlayPatternFromRow(int GridRow);
    void PlaySongFromOrderRow(int Row);
    void Stop();
    bool Playing() const;
    void PreviewActiveInstrument(float PitchOffset, int Tag);

    void ToggleMute(int Channel);
    void Solo(int Channel);
    void UnmuteAll();

private:
    int ActiveInstrument = 1;
    int ActivePattern = 1;
};
