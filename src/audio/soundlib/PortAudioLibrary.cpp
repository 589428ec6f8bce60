#include "audio/soundlib/PortAudioLibrary.h"

#include <portaudio.h>

#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace brindle::soundlib {

namespace {
std::mutex libraryLock;
int users = 0;
} // namespace

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

PortAudioLibrary::PortAudioLibrary() {
    std::lock_guard lock(libraryLock);
    if (users == 0) {
        PaError err = paNoError;
        Quietly([&] { err = Pa_Initialize(); });
        if (err != paNoError) {
            Failure = std::string("the sound system could not start (") + Pa_GetErrorText(err) + ")";
            return;
        }
    }
    ++users;
    Initialised = true;
}

PortAudioLibrary::~PortAudioLibrary() {
    if (!Initialised) return;
    std::lock_guard lock(libraryLock);
    if (--users == 0) Pa_Terminate();
}

int PortAudioLibrary::OutputDeviceCount() const {
    if (!Initialised) return 0;
    int count = 0;
    const int all = Pa_GetDeviceCount();
    for (int i = 0; i < all; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxOutputChannels > 0) ++count;
    }
    return count;
}

int PortAudioLibrary::ResolveOutputDevice(int index) const {
    if (!Initialised || index < 0) return -1;
    if (index == 0) return DefaultOutputDevice();
    int seen = 0;
    const int all = Pa_GetDeviceCount();
    for (int i = 0; i < all; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxOutputChannels > 0 && ++seen == index) return i;
    }
    return -1;
}

int PortAudioLibrary::DefaultOutputDevice() const {
    if (!Initialised) return -1;
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    return device == paNoDevice ? -1 : device;
}

std::string PortAudioLibrary::OutputDeviceName(int index) const {
    if (index < 1) return {};
    const int device = ResolveOutputDevice(index);
    if (device < 0) return {};
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    return info && info->name ? info->name : std::string();
}

} // namespace brindle::soundlib
