#pragma once
// One pattern cell: an instrument and a pitch offset, a stop marker, or nothing.
#include <atomic>
#include <cstdint>

// Eight bytes, aligned so that a whole cell is one lock-free load or store: the audio thread never
// sees an instrument of one edit with the pitch of another.
struct alignas(8) cStep {
    std::int32_t ins = 0; // 0 empty, 1..100 instrument, -1 stop marker
    float pitch = 0.0f;   // semitones added to the instrument's own pitch
};

// A cell as one whole value, for cells the audio thread may be reading.
inline cStep LoadStep(const cStep& Cell) {
    return std::atomic_ref<cStep>(const_cast<cStep&>(Cell)).load(std::memory_order_relaxed);
}
inline void StoreStep(cStep& Cell, cStep Value) {
    std::atomic_ref<cStep>(Cell).store(Value, std::memory_order_relaxed);
}
static_assert(std::atomic_ref<cStep>::is_always_lock_free);
