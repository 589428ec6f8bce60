#pragma once
// Opens the sound library and sets its buffering for every output stream opened afterwards.
#include "audio/soundlib/PortAudioLibrary.h"

#include <memory>
#include <string>

class TAudioApplication {
public:
    TAudioApplication() = default;
    ~TAudioApplication();
    TAudioApplication(const TAudioApplication&) = delete;
    TAudioApplication& operator=(const TAudioApplication&) = delete;

    int GetUpdatePeriod() const { return UpdatePeriod; }
    void SetUpdatePeriod(int Value) { UpdatePeriod = Value; }
    int GetBufferLenMs() const { return BufferLenMs; }
    void SetBufferLenMs(int Value) { BufferLenMs = Value; }

    // Opens the library, then Init(BufferLenMs, UpdatePeriod). Done once the owner is ready.
    void Loaded();
    // Sets the update period and buffer length of streams opened from now on.
    void Init(int BufferLen, int Period);
    // Releases the library and opens it again (new devices become visible).
    void Reinit();
    void OnClose();

    // Why the sound library could not be opened; empty when it opened or the null device was asked for.
    const std::string& GetError() const { return LastError; }
    bool GetOpen() const { return Library != nullptr; }

private:
    int UpdatePeriod = 6;
    int BufferLenMs = 40;
    std::unique_ptr<brindle::soundlib::PortAudioLibrary> Library;
    std::string LastError;
};
