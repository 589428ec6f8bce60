#pragma once
// PortAudio's functions, taken from the library the first time a sound device is wanted. It is
// not linked: with the ALSA and JACK libraries it brings, linking cost every start about 3 ms,
// and the window opens its device only after it is on screen.
#include <portaudio.h>

namespace brindle::soundlib {

struct PortAudioCalls {
    decltype(&::Pa_Initialize) Initialize = nullptr;
    decltype(&::Pa_Terminate) Terminate = nullptr;
    decltype(&::Pa_GetErrorText) ErrorText = nullptr;
    decltype(&::Pa_GetDeviceCount) DeviceCount = nullptr;
    decltype(&::Pa_GetDeviceInfo) DeviceInfo = nullptr;
    decltype(&::Pa_GetDefaultOutputDevice) DefaultOutputDevice = nullptr;
    decltype(&::Pa_OpenStream) OpenStream = nullptr;
    decltype(&::Pa_SetStreamFinishedCallback) SetStreamFinishedCallback = nullptr;
    decltype(&::Pa_CloseStream) CloseStream = nullptr;
    decltype(&::Pa_StartStream) StartStream = nullptr;
    decltype(&::Pa_StopStream) StopStream = nullptr;
    decltype(&::Pa_IsStreamActive) IsStreamActive = nullptr;
};

// The library's soname: Debian's libportaudio2, the version portaudio-2.0's headers describe.
inline constexpr const char* PortAudioSoname = "libportaudio.so.2";

// Opened by the first caller and kept for the process's life; null when it cannot be.
const PortAudioCalls* LoadedPortAudio();

} // namespace brindle::soundlib
