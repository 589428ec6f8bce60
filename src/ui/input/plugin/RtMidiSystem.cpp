// The MIDI plugin: TMidiSystem on RtMidi. Its one export hands out the system.
#include "ui/input/MidiSystem.h"

#include <RtMidi.h>

namespace {

// An interface that cannot start (no ALSA sequencer, no JACK server) throws from the constructor.
std::unique_ptr<RtMidiIn> NewMidiIn(RtMidi::Api Api) {
    try {
        auto in = std::make_unique<RtMidiIn>(Api, "Brindle");
        in->setErrorCallback([](RtMidiError::Type, const std::string&, void*) {}); // errors are results here
        return in;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

// RtMidi's own choice stops at the first interface that throws, so a machine without the ALSA
// sequencer never reached JACK's ports. Each interface is tried in turn instead; the first with
// ports serves (as RtMidi would choose), else the first that starts.
std::unique_ptr<RtMidiIn> FirstMidiInWithPorts() {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::unique_ptr<RtMidiIn> first;
    for (RtMidi::Api api : apis) {
        if (api == RtMidi::RTMIDI_DUMMY) continue;
        auto in = NewMidiIn(api);
        if (!in) continue;
        try {
            if (in->getPortCount() > 0) return in;
        } catch (const RtMidiError&) {
            continue;
        }
        if (!first) first = std::move(in);
    }
    return first;
}

class TRtMidiPortIn : public TMidiPortIn {
  public:
    TRtMidiPortIn(TMidiSystem::TBytesCallback Callback, void* UserData)
        : Callback(Callback), UserData(UserData) {}

    static void Forward(double, std::vector<unsigned char>* Message, void* Self) {
        const auto* port = static_cast<const TRtMidiPortIn*>(Self);
        if (Message) port->Callback(Message->data(), Message->size(), port->UserData);
    }

    TMidiSystem::TBytesCallback Callback;
    void* UserData;
    // Last, so it closes (and joins its callback thread) before the rest goes.
    std::unique_ptr<RtMidiIn> In;
};

class TRtMidiSystem : public TMidiSystem {
  public:
    TListing ListPorts() override {
        TListing listing;
        auto lister = FirstMidiInWithPorts();
        if (!lister) return listing;
        listing.Api = int(lister->getCurrentApi());
        try {
            const unsigned count = lister->getPortCount();
            for (unsigned i = 0; i < count; ++i)
                listing.Names.push_back(lister->getPortName(i));
        } catch (const RtMidiError&) {
        }
        return listing;
    }

    std::unique_ptr<TMidiPortIn> OpenPort(int Api, unsigned Index, TBytesCallback Callback,
                                          void* UserData) override {
        auto port = std::make_unique<TRtMidiPortIn>(Callback, UserData);
        port->In = NewMidiIn(RtMidi::Api(Api));
        if (!port->In) return nullptr;
        try {
            port->In->ignoreTypes(true, true, true);
            port->In->setCallback(&TRtMidiPortIn::Forward, port.get());
            port->In->openPort(Index, "Brindle input");
            if (!port->In->isPortOpen()) return nullptr;
        } catch (const RtMidiError&) {
            return nullptr;
        }
        return port;
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) TMidiSystem* BrindleMidiSystem() {
    static TRtMidiSystem system;
    return &system;
}
