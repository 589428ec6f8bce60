#pragma once
// One pattern cell: an instrument and a pitch offset, a stop marker, or nothing.
#include <cstdint>

struct cStep {
    std::int32_t ins = 0; // 0 empty, 1..100 instrument, -1 stop marker
    float pitch = 0.0f;   // semitones added to the instrument's own pitch
};
