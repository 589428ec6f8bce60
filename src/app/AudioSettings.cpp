#include "app/AudioSettings.h"

#include "base/RegString.h"

#include <algorithm>
#include <string>

namespace {
TRegString soundDevice() {
    return TRegString("SoundDevice", "0");
}
TRegString buffer() {
    return TRegString("Buffer", "60");
}
TRegString externEdit() {
    return TRegString("ExternEdit", "");
}
TRegString autosave() {
    return TRegString("Autosave", "0");
}
TRegString dither() {
    return TRegString("Dither", "0");
}
TRegString stretchQuality() {
    return TRegString("StretchQuality", "Standard");
}
} // namespace

int cAudioSettings::ClampBuffer(int Milliseconds) {
    return std::clamp(Milliseconds, MinBuffer, MaxBuffer);
}

cAudioSettings cAudioSettings::Read() {
    cAudioSettings Settings;
    Settings.SoundDevice = std::max(0, soundDevice().AsInt());
    Settings.Buffer = ClampBuffer(buffer().AsInt());
    Settings.ExternEdit = externEdit().Get();
    Settings.Autosave = autosave().AsBool();
    Settings.Dither = dither().AsBool();
    brindle::soundlib::ParseStretchQuality(stretchQuality().Get(), Settings.StretchQuality);
    return Settings;
}

void cAudioSettings::Write() const {
    // One write of the store for all of them: each waits for the disk.
    brindle::WriteRegStrings({soundDevice().Entry(std::to_string(SoundDevice)), buffer().Entry(std::to_string(Buffer)),
                              externEdit().Entry(ExternEdit), autosave().Entry(TRegString::BoolText(Autosave)),
                              dither().Entry(TRegString::BoolText(Dither)),
                              stretchQuality().Entry(brindle::soundlib::StretchQualityName(StretchQuality))});
}
