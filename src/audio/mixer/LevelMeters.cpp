#include "audio/mixer/LevelMeters.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace brindle {

namespace {

std::uint64_t packEnergy(float Sum, std::uint32_t Samples) {
    return std::uint64_t(std::bit_cast<std::uint32_t>(Sum)) | std::uint64_t(Samples) << 32;
}

} // namespace

void TLevelMeters::Feed(int Index, float Peak, float SumSquares, int Samples) noexcept {
    if (Index < 0 || Index >= Slots || Samples <= 0) return;
    // A block gone wrong shows as full scale rather than vanishing from the meter.
    if (!(Peak >= 0) || !std::isfinite(Peak)) Peak = 1.0f;
    if (!(SumSquares >= 0) || !std::isfinite(SumSquares)) SumSquares = float(Samples);
    TSlot& slot = Slot[static_cast<std::size_t>(Index)];
    // The reader only ever empties a slot, so these loops end as soon as no take falls in between.
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(Peak);
    std::uint32_t seen = slot.Peak.load(std::memory_order_relaxed);
    while (bits > seen && !slot.Peak.compare_exchange_weak(seen, bits, std::memory_order_relaxed)) {
    }
    std::uint64_t was = slot.Energy.load(std::memory_order_relaxed);
    for (;;) {
        const float sum = std::bit_cast<float>(static_cast<std::uint32_t>(was));
        const auto count = static_cast<std::uint32_t>(was >> 32);
        // Nobody read for a day: start again rather than wrap the count.
        const bool full = count > 0x7fffffffu;
        const std::uint64_t now =
            packEnergy((full ? 0.0f : sum) + SumSquares, (full ? 0u : count) + static_cast<std::uint32_t>(Samples));
        if (slot.Energy.compare_exchange_weak(was, now, std::memory_order_release, std::memory_order_relaxed)) break;
    }
}

void TLevelMeters::Measure(const float* Samples, int Count, float& Peak, float& SumSquares) noexcept {
    // Eight running lanes so the loop becomes vector code without reassociating a single sum.
    constexpr int Lanes = 8;
    float peak[Lanes] = {}, sum[Lanes] = {};
    int i = 0;
    for (; i + Lanes <= Count; i += Lanes)
        for (int k = 0; k < Lanes; ++k) {
            const float x = Samples[i + k];
            const float a = x < 0 ? -x : x;
            peak[k] = a > peak[k] ? a : peak[k];
            sum[k] += x * x;
        }
    for (int k = 0; i < Count; ++i, ++k) {
        const float x = Samples[i];
        const float a = x < 0 ? -x : x;
        peak[k] = a > peak[k] ? a : peak[k];
        sum[k] += x * x;
    }
    float p = 0, s = 0;
    for (int k = 0; k < Lanes; ++k) {
        p = peak[k] > p ? peak[k] : p;
        s += sum[k];
    }
    Peak = p;
    SumSquares = s;
}

void TLevelMeters::FeedBlock(int Index, const float* Samples, int Frames, int SamplesPerFrame, float Scale) noexcept {
    const int count = Frames * SamplesPerFrame;
    if (count <= 0) return;
    float peak = 0, sum = 0;
    Measure(Samples, count, peak, sum);
    Feed(Index, peak * Scale, sum * Scale * Scale, count);
}

void TLevelMeters::FeedBlock(int Index, const std::int16_t* Samples, int Frames, int SamplesPerFrame) noexcept {
    const int count = Frames * SamplesPerFrame;
    if (count <= 0) return;
    int peak = 0;
    std::int64_t sum = 0;
    for (int i = 0; i < count; ++i) {
        const int x = Samples[i];
        peak = std::max(peak, x < 0 ? -x : x);
        sum += std::int64_t(x) * x;
    }
    constexpr double scale = 1.0 / 32768.0;
    Feed(Index, float(peak * scale), float(double(sum) * scale * scale), count);
}

TLevel TLevelMeters::Take(int Index) noexcept {
    if (Index < 0 || Index >= Slots) return {};
    TSlot& slot = Slot[static_cast<std::size_t>(Index)];
    TLevel level;
    level.Peak = std::bit_cast<float>(slot.Peak.exchange(0, std::memory_order_relaxed));
    const std::uint64_t energy = slot.Energy.exchange(0, std::memory_order_acquire);
    level.Samples = static_cast<std::uint32_t>(energy >> 32);
    if (level.Samples > 0)
        level.MeanSquare = std::bit_cast<float>(static_cast<std::uint32_t>(energy)) / float(level.Samples);
    return level;
}

void TLevelMeters::TakeAll(std::array<TLevel, Slots>& Out) noexcept {
    for (int i = 0; i < Slots; ++i) Out[static_cast<std::size_t>(i)] = Take(i);
}

void TLevelMeters::Discard() noexcept {
    for (int i = 0; i < Slots; ++i) Take(i);
}

} // namespace brindle
