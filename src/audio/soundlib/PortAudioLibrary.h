#pragma once
// Keeps PortAudio initialised while any instance lives (initialisation is counted), and answers
// questions about its output devices. The only place besides PortAudioOutput that calls PortAudio.
#include <functional>
#include <string>

namespace brindle::soundlib {

struct PortAudioCalls;

class PortAudioLibrary {
  public:
    PortAudioLibrary();
    ~PortAudioLibrary();
    PortAudioLibrary(const PortAudioLibrary&) = delete;
    PortAudioLibrary& operator=(const PortAudioLibrary&) = delete;

    bool Ok() const { return Initialised; }
    const std::string& Error() const { return Failure; }
    // PortAudio's functions; only while Ok().
    const PortAudioCalls& Calls() const { return *Pa; }

    // Name of the i-th output device (from 1); empty past the last one.
    std::string OutputDeviceName(int index) const;
    int OutputDeviceCount() const;
    // PortAudio's device number for a device-list index (0 = the default output device);
    // -1 when there is no such device.
    int ResolveOutputDevice(int index) const;
    int DefaultOutputDevice() const;

    // Runs `work` with the process's stderr silenced: the host APIs print pages of probing noise
    // when there is no sound card, and we report the outcome ourselves.
    static void Quietly(const std::function<void()>& work);

  private:
    const PortAudioCalls* Pa = nullptr;
    bool Initialised = false;
    std::string Failure;
};

} // namespace brindle::soundlib
