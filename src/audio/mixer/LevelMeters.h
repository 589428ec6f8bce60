#pragma once
// Levels of the mix for the meters: one slot per pattern channel and one for the master output.
// The audio thread feeds each slot once per block with the block's peak and sum of squares; a
// reader takes what gathered since its last take. Feeding and taking are a few atomic operations
// on fixed slots: no lock, no allocation, no system call, so the audio thread never waits for a
// meter being drawn. One reader at a time (the window's meter timer): a take empties the slots.
#include <array>
#include <atomic>
#include <cstdint>

namespace brindle {

// What a reader sees of one slot, full scale 1.0.
struct TLevel {
    float Peak = 0;       // the largest |sample| on either side
    float MeanSquare = 0; // over both sides and every frame since the last take
    std::uint32_t Samples = 0; // samples measured since the last take (0: nothing was fed)
};

class TLevelMeters {
  public:
    static constexpr int Channels = 100;
    static constexpr int Master = Channels; // the output after the master effects
    static constexpr int Slots = Channels + 1;
    // The 16-bit path saturates at 32767: a master peak this high has clipped.
    static constexpr float ClipLevel = 32767.0f / 32768.0f;

    // Audio thread: one block of Slot measured. SumSquares sums the Samples samples of the block
    // (both sides). A peak that is not a number counts as full scale.
    void Feed(int Index, float Peak, float SumSquares, int Samples) noexcept;
    // Audio thread: measures a block of interleaved samples (multiplied by Scale) and feeds it to
    // Slot.
    void FeedBlock(int Index, const float* Samples, int Frames, int SamplesPerFrame, float Scale = 1.0f) noexcept;
    void FeedBlock(int Index, const std::int16_t* Samples, int Frames, int SamplesPerFrame) noexcept;

    // The reader: what gathered in slot Index since its last take, and the slot starts again.
    TLevel Take(int Index) noexcept;
    // Every slot at once.
    void TakeAll(std::array<TLevel, Slots>& Out) noexcept;
    // Forgets what gathered (a reader that starts after a pause wants no stale peak).
    void Discard() noexcept;

    // Peak and sum of squares of Count samples, in one pass the compiler vectorises.
    static void Measure(const float* Samples, int Count, float& Peak, float& SumSquares) noexcept;

  private:
    struct alignas(64) TSlot {
        std::atomic<std::uint32_t> Peak{0};       // float bits: non-negative floats order as integers
        std::atomic<std::uint64_t> Energy{0};     // sum of squares (float bits, low half), samples (high half)
    };
    std::array<TSlot, Slots> Slot;
};

} // namespace brindle
