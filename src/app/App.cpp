#include "app/App.h"

#include "app/SongEngine.h"
#include "base/FileLog.h"
#include "song/Sequencer.h"

cApp::cApp() : Clip(std::make_unique<cPattern>()) {
    brindle::FileLog("app create");
}

cApp::~cApp() {
    brindle::FileLog("close");
}

void cApp::SetActiveInstrument(int Value) {
    ActiveInstrument = Value;
    if (OnInstrumentChange) OnInstrumentChange(this);
}

void cApp::SetActivePattern(int Value) {
    ActivePattern = Value;
    if (OnPatternChange) OnPatternChange(this);
}

cPattern& cApp::ActivePatternData() {
    return seq->PatternAt(ActivePattern);
}

// Notes written or instruments changed since the last preload are prepared first, so every
// note starts on its row.
void cApp::PlayPatternFromRow(int GridRow) {
    if (!Engine) return;
    Engine->PrepareNewNotes();
    Engine->PlayPatternFrom(ActivePattern, GridRow);
}

void cApp::PlaySongFromOrderRow(int Row) {
    if (!Engine) return;
    Engine->PrepareNewNotes();
    Engine->PlaySongFrom(Row + 1);
}

void cApp::Stop() {
    if (Engine) Engine->Stop();
}

bool cApp::Playing() const {
    return Engine && Engine->Playing();
}

void cApp::PreviewActiveInstrument(float PitchOffset, int Tag) {
    if (seq) seq->PreviewInstrument(ActiveInstrument, PitchOffset, Tag);
}

void cApp::ToggleMute(int Channel) {
    seq->ToggleMute(Channel);
}

void cApp::Solo(int Channel) {
    seq->Solo(Channel);
}

void cApp::UnmuteAll() {
    seq->UnmuteAll();
}
