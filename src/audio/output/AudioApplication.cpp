#include "audio/output/AudioApplication.h"

#include "audio/soundlib/OutputBackend.h"

TAudioApplication::~TAudioApplication() { OnClose(); }

void TAudioApplication::Loaded() {
    Library.reset();
    LastError.clear();
    if (!brindle::soundlib::NullAudioRequested()) {
        auto library = std::make_unique<brindle::soundlib::PortAudioLibrary>();
        if (library->Ok())
            Library = std::move(library);
        else
            LastError = library->Error();
    }
    Init(BufferLenMs, UpdatePeriod);
}

void TAudioApplication::Init(int BufferLen, int Period) {
    brindle::soundlib::OutputConfig config;
    // Nonsense values fall back to the library's own defaults rather than a dead stream.
    config.BufferLenMs = BufferLen > 0 ? BufferLen : config.BufferLenMs;
    config.UpdatePeriodMs = Period > 0 ? Period : config.UpdatePeriodMs;
    brindle::soundlib::SetOutputConfig(config);
}

void TAudioApplication::Reinit() {
    OnClose();
    Loaded();
}

void TAudioApplication::OnClose() { Library.reset(); }
