#pragma once
// The MIDI systems (ALSA's sequencer, JACK) behind a small interface, built as a plugin that is
// loaded when MIDI is first looked at, on a worker thread after the window is up. Linked into the
// window, the MIDI library and the sound-system libraries it brings cost every start about 3 ms.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// An open input port. Destroying it closes the port and joins its callback thread.
class TMidiPortIn {
  public:
    virtual ~TMidiPortIn() = default;
};

class TMidiSystem {
  public:
    // Runs on the port's callback thread with each message's bytes.
    using TBytesCallback = void (*)(const unsigned char* Bytes, std::size_t Size, void* UserData);
    struct TListing {
        int Api = 0; // 0: no MIDI system started
        std::vector<std::string> Names;
    };

    virtual ~TMidiSystem() = default;
    // The ports of the first interface that has any, else of the first that starts.
    virtual TListing ListPorts() = 0;
    // Port Index of interface Api, passing note messages only (no system exclusive, clock or
    // active sensing); null when it cannot be opened.
    virtual std::unique_ptr<TMidiPortIn> OpenPort(int Api, unsigned Index, TBytesCallback Callback,
                                                  void* UserData) = 0;
};

// The plugin's MIDI system, loaded by the first caller (any thread) and kept; null when the plugin
// cannot be loaded, which leaves the window without MIDI ports.
TMidiSystem* LoadedMidiSystem();
