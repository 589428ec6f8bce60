#include "audio/output/DeviceList.h"

#include "audio/soundlib/OutputBackend.h"
#include "audio/soundlib/PortAudioLibrary.h"

#include <memory>

TDeviceList::TDeviceList() = default;

void TDeviceList::GetDeviceNames() {
    Items.clear();
    Items.push_back("Default Device");
    TDeviceDescription source = Description;
    std::unique_ptr<brindle::soundlib::PortAudioLibrary> library;
    if (!source) {
        // The null device, or a library that cannot start, offers nothing beyond the default.
        if (!brindle::soundlib::NullAudioRequested()) library = std::make_unique<brindle::soundlib::PortAudioLibrary>();
        source = [&library](int index) {
            return library && library->Ok() ? library->OutputDeviceName(index) : std::string();
        };
    }
    // A guard against a source that never runs out of names.
    for (int i = 1; i < 1000; ++i) {
        std::string name = source(i);
        if (name.empty()) break;
        Items.push_back(std::move(name));
    }
    ItemIndex = 0;
}

void TDeviceList::SetItemIndex(int Value) {
    if (Value >= -1 && Value < static_cast<int>(Items.size())) ItemIndex = Value;
}
