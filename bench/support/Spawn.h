#pragma once
// Runs a program without a shell and measures it: wall time and peak resident memory.
#include <string>
#include <vector>

namespace brindle::bench {

struct SpawnResult {
    int exitCode = -1;
    double wallSeconds = 0;
    double peakMB = 0; // the child's maximum resident set
};

SpawnResult Spawn(const std::vector<std::string>& argv, bool quiet = true);

} // namespace brindle::bench
