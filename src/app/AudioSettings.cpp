#include "app/AudioSettings.h"

#include "base/RegString.h"

#include <algorithm>

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
    soundDevice().SetInt(SoundDevice);
    buffer().SetInt(Buffer);
    externEdit().Set(ExternEdit);
    autosave().SetBool(Autosave);
    dither().SetBool(Dither);
    stretchQuality().Set(brindle::soundlib::StretchQualityName(StretchQuality));
}
