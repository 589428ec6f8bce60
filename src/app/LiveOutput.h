#pragma once
// The audio initialisation shared by the main window and `brindle-cli play`: opens the sound
// library with the configured buffer, puts the speakers after the last node of the chain and
// starts them. A device that cannot be used is reported once and the null device plays instead.
#include "audio/output/AudioApplication.h"
#include "audio/output/SpeakersNode.h"

#include <functional>
#include <string>

class TLiveOutput {
public:
    using TLogEvent = std::function<void(TLiveOutput* Sender, const std::string& Text)>;

    TLiveOutput();
    ~TLiveOutput();
    TLiveOutput(const TLiveOutput&) = delete;
    TLiveOutput& operator=(const TLiveOutput&) = delete;

    // Device problems, once per reason (the application log in the window, stderr in the CLI).
    TLogEvent OnLog;

    // Audio initialisation: first start and after the audio settings change. Chain is the node
    // the speakers pull (the mixer, or the last enabled effect after it).
    void Initialise(int DeviceIndex, int BufferLenMs, TAudioX* Chain);
    // Stops the speakers and releases the library (closing the window).
    void Shutdown();
    // User-interface thread, from its periodic timer: runs the events the audio thread posted (the
    // speakers' time limit, a preview's end) and notices a device lost while playing.
    void Poll();

    TAudioApplication& GetAudioApplication() { return AudioApplication; }
    TSpeakersNode& GetSpeakers() { return Speakers; }

    static constexpr int UpdatePeriodMs = 6;

private:
    TAudioApplication AudioApplication;
    TSpeakersNode Speakers;
};
