#pragma once
// Timing of the output callback: how long each block took to compute, against how long it plays.
// Recording allocates nothing (the histogram is sized once), so it is safe on the audio thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace brindle::soundlib {

class OutputStats {
public:
    OutputStats();

    // One callback: its compute time, the duration of the block it produced, and whether its
    // deadline was missed. Called from the audio thread only.
    void Record(std::int64_t computeNs, std::int64_t blockNs, bool missed);
    void Reset();

    std::int64_t Callbacks() const { return Count.load(std::memory_order_relaxed); }
    std::int64_t Misses() const { return MissCount.load(std::memory_order_relaxed); }
    // Compute time (ms) below which the given fraction of callbacks finished.
    double PercentileMs(double fraction) const;
    double MaxMs() const;
    double BlockMs() const;
    // "callbacks=N misses=M p50_ms=A p99_ms=B max_ms=C block_ms=D"
    std::string Summary() const;
    // The largest share of a block's playing time spent computing one since the last call
    // (0.25: a quarter of the budget), for a load meter.
    double TakePeakLoad() const;

private:
    static constexpr std::int64_t BinNs = 1000;      // 1 µs resolution
    static constexpr std::size_t BinCount = 200'000; // up to 200 ms, longer ones land in the last bin
    // Read by the UI while the audio thread records.
    std::unique_ptr<std::atomic<std::uint32_t>[]> Bins;
    std::atomic<std::int64_t> Count{0};
    std::atomic<std::int64_t> MissCount{0};
    std::atomic<std::int64_t> MaxNs{0};
    std::atomic<std::int64_t> LastBlockNs{0};
    mutable std::atomic<std::int64_t> PeakLoadPpm{0};
};

} // namespace brindle::soundlib
