#include "audio/soundlib/PortAudioLibrary.h"

#include "audio/soundlib/PortAudioCalls.h"
#include "base/SharedLibrary.h"

#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace brindle::soundlib {

namespace {
std::mutex libraryLock;
int users = 0;

std::optional<PortAudioCalls> OpenPortAudio() {
    void* library = OpenSharedLibrary(PortAudioSoname);
    PortAudioCalls pa;
    const bool found =
        ResolveFunction(library, "Pa_Initialize", pa.Initialize) &&
        ResolveFunction(library, "Pa_Terminate", pa.Terminate) &&
        ResolveFunction(library, "Pa_GetErrorText", pa.ErrorText) &&
        ResolveFunction(library, "Pa_GetDeviceCount", pa.DeviceCount) &&
        ResolveFunction(library, "Pa_GetDeviceInfo", pa.DeviceInfo) &&
        ResolveFunction(library, "Pa_GetDefaultOutputDevice", pa.DefaultOutputDevice) &&
        ResolveFunction(library, "Pa_OpenStream", pa.OpenStream) &&
        ResolveFunction(library, "Pa_SetStreamFinishedCallback", pa.SetStreamFinishedCallback) &&
        ResolveFunction(library, "Pa_CloseStream", pa.CloseStream) &&
        ResolveFunction(library, "Pa_StartStream", pa.StartStream) &&
        ResolveFunction(library, "Pa_StopStream", pa.StopStream) &&
        ResolveFunction(library, "Pa_IsStreamActive", pa.IsStreamActive);
    if (!found) return std::nullopt;
    return pa;
}
} // namespace

const PortAudioCalls* LoadedPortAudio() {
    static const std::optional<PortAudioCalls> calls = OpenPortAudio();
    return calls ? &*calls : nullptr;
}

void PortAudioLibrary::Quietly(const std::function<void()>& work) {
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    try {
        work();
    } catch (...) {
        std::fflush(stderr);
        if (saved >= 0) ::dup2(saved, STDERR_FILENO);
        if (saved >= 0) ::close(saved);
        if (null >= 0) ::close(null);
        throw;
    }
    std::fflush(stderr);
    if (saved >= 0) {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    if (null >= 0) ::close(null);
}

PortAudioLibrary::PortAudioLibrary() : Pa(LoadedPortAudio()) {
    if (!Pa) {
        Failure =
            std::string("the sound system could not start (") + PortAudioSoname + " could not be loaded)";
        return;
    }
    std::lock_guard lock(libraryLock);
    if (users == 0) {
        PaError err = paNoError;
        Quietly([&] { err = Pa->Initialize(); });
        if (err != paNoError) {
            Failure = std::string("the sound system could not start (") + Pa->ErrorText(err) + ")";
            return;
        }
    }
    ++users;
    Initialised = true;
}

PortAudioLibrary::~PortAudioLibrary() {
    if (!Initialised) return;
    std::lock_guard lock(libraryLock);
    if (--users == 0) Pa->Terminate();
}

int PortAudioLibrary::OutputDeviceCount() const {
    if (!Initialised) return 0;
    int count = 0;
    const int all = Pa->DeviceCount();
    for (int i = 0; i < all; ++i) {
        const PaDeviceInfo* info = Pa->DeviceInfo(i);
        if (info && info->maxOutputChannels > 0) ++count;
    }
    return count;
}

int PortAudioLibrary::ResolveOutputDevice(int index) const {
    if (!Initialised || index < 0) return -1;
    if (index == 0) return DefaultOutputDevice();
    int seen = 0;
    const int all = Pa->DeviceCount();
    for (int i = 0; i < all; ++i) {
        const PaDeviceInfo* info = Pa->DeviceInfo(i);
        if (info && info->maxOutputChannels > 0 && ++seen == index) return i;
    }
    return -1;
}

int PortAudioLibrary::DefaultOutputDevice() const {
    if (!Initialised) return -1;
    const PaDeviceIndex device = Pa->DefaultOutputDevice();
    return device == paNoDevice ? -1 : device;
}

std::string PortAudioLibrary::OutputDeviceName(int index) const {
    if (index < 1) return {};
    const int device = ResolveOutputDevice(index);
    if (device < 0) return {};
    const PaDeviceInfo* info = Pa->DeviceInfo(device);
    return info && info->name ? info->name : std::string();
}

} // namespace brindle::soundlib
