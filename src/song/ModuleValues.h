#pragma once
// Numbers read from a module reach the song finite and inside the ranges the engine plays in
// bounded time and memory. Every value that had to be changed is named once in the load's
// warnings, so a hand-edited module never silently plays differently from what it says.
#include <limits>
#include <string>
#include <vector>

namespace brindle::module {

struct TValueRange {
    float Min;
    float Max;
    float Default; // replaces a value that is not a finite number
    // Old modules store 0 for a value that was never set; such a value plays as the default.
    bool NonPositiveIsDefault = false;
    // Integer text forms (a cell's pitch) are truncated toward zero first.
    bool WholeNumber = false;
};

// The ranges are wider than the instrument panel's sliders: a song that holds a value beyond a
// slider keeps it.
constexpr TValueRange VolumeRange{0.0f, 16.0f, 1.0f};
constexpr TValueRange StretchRange{0.01f, 100.0f, 1.0f, true};
constexpr TValueRange PitchRange{-48.0f, 48.0f, 0.0f};
constexpr TValueRange CellPitchRange{-48.0f, 48.0f, 0.0f, false, true};
constexpr TValueRange TempoRange{1.0f, 500.0f, 120.0f, true};
constexpr TValueRange ChannelVolumeRange{0.0f, 2.0f, 1.0f};
constexpr TValueRange ChannelPanRange{-1.0f, 1.0f, 0.0f};
// The effect values have no range of their own, but must be finite.
constexpr TValueRange FiniteRange{std::numeric_limits<float>::lowest(), std::numeric_limits<float>::max(),
                                  0.0f};

struct TCheckedValue {
    float Value = 0;
    // Empty when the text was taken as it is; otherwise why it changed, starting with the text
    // ("200 is out of range; using 48").
    std::string Change;
};

// An absent or blank attribute reads as Absent and is not a change.
TCheckedValue CheckValue(const char* Text, const TValueRange& Range, float Absent);

// The warnings of one load. Past a limit they are counted, not kept, so a module with thousands
// of odd cells says so in a few lines.
class TLoadWarnings {
  public:
    void Add(std::string Text);
    // The warnings in file order, and a closing count of those left out.
    std::vector<std::string> Take();

    static constexpr std::size_t Limit = 50;

  private:
    std::vector<std::string> Texts;
    std::size_t LeftOut = 0;
};

} // namespace brindle::module
