#include "audio/soundlib/OutputStats.h"

#include <algorithm>
#include <cstdio>

namespace brindle::soundlib {

OutputStats::OutputStats() : Bins(std::make_unique<std::atomic<std::uint32_t>[]>(BinCount)) {}

void OutputStats::Record(std::int64_t computeNs, std::int64_t blockNs, bool missed) {
    const auto bin = static_cast<std::size_t>(std::clamp<std::int64_t>(computeNs / BinNs, 0, BinCount - 1));
    Bins[bin].fetch_add(1, std::memory_order_relaxed);
    Count.fetch_add(1, std::memory_order_relaxed);
    if (missed) MissCount.fetch_add(1, std::memory_order_relaxed);
    if (computeNs > MaxNs.load(std::memory_order_relaxed)) MaxNs.store(computeNs, std::memory_order_relaxed);
    LastBlockNs.store(blockNs, std::memory_order_relaxed);
    if (blockNs > 0) {
        const std::int64_t ppm = computeNs * 1'000'000 / blockNs;
        if (ppm > PeakLoadPpm.load(std::memory_order_relaxed)) PeakLoadPpm.store(ppm, std::memory_order_relaxed);
    }
}

double OutputStats::TakePeakLoad() const { return double(PeakLoadPpm.exchange(0, std::memory_order_relaxed)) / 1e6; }

void OutputStats::Reset() {
    for (std::size_t i = 0; i < BinCount; ++i) Bins[i].store(0, std::memory_order_relaxed);
    Count = 0;
    MissCount = 0;
    MaxNs = 0;
    LastBlockNs = 0;
    PeakLoadPpm = 0;
}

double OutputStats::PercentileMs(double fraction) const {
    const std::int64_t total = Callbacks();
    if (total == 0) return 0.0;
    // The smallest bin whose cumulative count reaches the wanted rank; its upper edge is reported,
    // so the figure never understates.
    const auto rank = std::max<std::int64_t>(1, static_cast<std::int64_t>(fraction * static_cast<double>(total) + 0.999999));
    std::int64_t seen = 0;
    for (std::size_t i = 0; i < BinCount; ++i) {
        seen += Bins[i].load(std::memory_order_relaxed);
        if (seen >= rank) {
            const double edgeMs = static_cast<double>((static_cast<std::int64_t>(i) + 1) * BinNs) / 1e6;
            return std::min(edgeMs, MaxMs());
        }
    }
    return MaxMs();
}

double OutputStats::MaxMs() const { return static_cast<double>(MaxNs.load(std::memory_order_relaxed)) / 1e6; }

double OutputStats::BlockMs() const { return static_cast<double>(LastBlockNs.load(std::memory_order_relaxed)) / 1e6; }

std::string OutputStats::Summary() const {
    char line[200];
    std::snprintf(line, sizeof line, "callbacks=%lld misses=%lld p50_ms=%.3f p99_ms=%.3f max_ms=%.3f block_ms=%.3f",
                  static_cast<long long>(Callbacks()), static_cast<long long>(Misses()), PercentileMs(0.50),
                  PercentileMs(0.99), MaxMs(), BlockMs());
    return line;
}

} // namespace brindle::soundlib
