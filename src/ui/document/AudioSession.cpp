#include "ui/document/AudioSession.h"

#include "app/AudioSettings.h"

TAudioSession::TAudioSession(TAudioX& Chain, QObject* Parent) : QObject(Parent), Chain(Chain) {
    Live.OnLog = [this](TLiveOutput*, const std::string& Text) { emit problem(QString::fromStdString(Text)); };
}

TAudioSession::~TAudioSession() { Shutdown(); }

void TAudioSession::Start() {
    // A stored buffer outside the settings dialog's range is used at its nearest end.
    const auto settings = cAudioSettings::Read();
    Live.Initialise(settings.SoundDevice, settings.Buffer, &Chain);
    Open = true;
}

void TAudioSession::Poll() {
    if (Open) Live.Poll();
}

void TAudioSession::Shutdown() {
    if (!Open) return;
    Open = false;
    Live.Shutdown();
}

std::string TAudioSession::StatsSummary() { return Live.GetSpeakers().GetStatsSummary(); }
