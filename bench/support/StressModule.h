#pragma once
// A heavy module for measuring the engine: 64 channels, a note on every fourth row of every
// channel, 0.25 s samples, 140 BPM, 20 order entries, all three master effects on.
#include <string>

namespace brindle::bench {

struct StressOptions {
    bool stretched = false; // half of the instruments stretched or transposed
    int channels = 64;
    int orders = 20;
};

// Writes the samples and the module into folder; returns the module's path.
std::string WriteStressModule(const std::string& folder, const StressOptions& options);

} // namespace brindle::bench
