#include "ui/input/MidiSystem.h"

#include "base/SharedLibrary.h"

TMidiSystem* LoadedMidiSystem() {
    static TMidiSystem* const system = [] {
        TMidiSystem* (*entry)() = nullptr;
        return brindle::ResolvePluginFunction("libbrindle_midi.so", "BrindleMidiSystem", entry) ? entry()
                                                                                                : nullptr;
    }();
    return system;
}
