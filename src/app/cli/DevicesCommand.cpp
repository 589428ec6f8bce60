#include "app/cli/Command.h"
#include "audio/output/DeviceList.h"
#include "audio/soundlib/OutputBackend.h"
#include "audio/soundlib/PortAudioLibrary.h"

#include <iostream>

namespace brindle::cli {
namespace {

int runDevices(const std::vector<std::string>& args) {
    const auto& self = FindCommand("devices");
    if (!args.empty()) return UsageError(self, "unexpected argument " + args[0]);
    if (soundlib::NullAudioRequested()) {
        std::cerr << "brindle-cli: BRINDLE_AUDIO=null: no sound card is used\n";
    } else {
        soundlib::PortAudioLibrary library;
        if (!library.Ok())
            std::cerr << "brindle-cli: " << library.Error() << "\n";
        else if (library.OutputDeviceCount() == 0)
            std::cerr << "brindle-cli: no sound output device was found\n";
    }
    TDeviceList list;
    list.GetDeviceNames();
    const auto& items = list.GetItems();
    for (size_t i = 0; i < items.size(); ++i) std::cout << i << ": " << items[i] << "\n";
    return ExitOk;
}

const bool registered = RegisterCommand({
    "devices",
    "list the sound output devices",
    "usage: brindle-cli devices\n\n"
    "Lists the output devices by number, as 'play --device N' and the audio settings take them.\n"
    "Number 0 is the system's default device.",
    runDevices,
});

} // namespace
} // namespace brindle::cli
