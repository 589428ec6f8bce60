#pragma once
// The output devices offered to the user: item 0 is "Default Device", item i the i-th output device,
// so an item index is a device number. The list widget shows these items.
#include <functional>
#include <string>
#include <vector>

class TDeviceList {
public:
    // Answers the name of output device i (from 1), empty past the last one.
    using TDeviceDescription = std::function<std::string(int Index)>;

    TDeviceList();

    void GetDeviceNames();
    const std::vector<std::string>& GetItems() const { return Items; }
    int GetItemIndex() const { return ItemIndex; }
    void SetItemIndex(int Value);
    // Replaces where the names come from (the sound library by default).
    void SetDeviceDescription(TDeviceDescription Source) { Description = std::move(Source); }

private:
    std::vector<std::string> Items;
    int ItemIndex = -1;
    TDeviceDescription Description; // empty: ask the sound library
};
