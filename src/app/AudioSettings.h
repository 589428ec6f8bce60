#pragma once
// The stored choices of the audio settings dialog, read and written through the settings store in
// one place, so the main window's audio start, autosave timer and instrument editor agree with it.
#include "audio/soundlib/BestStretch.h"

#include <string>

struct cAudioSettings {
    static constexpr int MinBuffer = 10; // ms, the dialog's range
    static constexpr int MaxBuffer = 100;

    int SoundDevice = 0;    // "SoundDevice": 0 is the default device
    int Buffer = 60;        // "Buffer": output buffer in milliseconds
    std::string ExternEdit; // "ExternEdit": empty opens files with the desktop's default application
    bool Autosave = false;  // "Autosave"
    bool Dither = false;    // "Dither": TPDF dither at an export's final conversion to 16 bits
    // "StretchQuality": "Standard" or "Best", the stretcher that prepares stretched notes
    brindle::soundlib::StretchQuality StretchQuality = brindle::soundlib::StretchQuality::Standard;

    // A device number below 0 reads as the default device and a buffer outside 10..100 ms as
    // the nearest end, so a damaged setting never reaches the device; an unknown stretch quality
    // reads as Standard.
    static cAudioSettings Read();
    void Write() const;
    static int ClampBuffer(int Milliseconds);
};
