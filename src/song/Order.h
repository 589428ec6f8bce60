#pragma once
// One order-list entry: the pattern played at this position (0 = none).
#include <cstdint>
#include <string>

struct cOrder {
    std::int32_t PatternIndex = 0;
    std::string Text; // always empty here; only travels with the entry

    bool IsEmpty() const { return PatternIndex == 0 && Text.empty(); }
};
