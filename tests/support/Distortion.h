#pragma once
// Harmonic distortion of a sine, measured with the Goertzel filter on whole periods.
#include <cstddef>
#include <vector>

namespace brindle::test {

// Total harmonic distortion of X (a sine at Hz) in dB: the harmonics up to the Nyquist frequency
// against the fundamental, over [Begin, End) trimmed to whole periods.
double ThdDb(const std::vector<double>& X, double Hz, int Rate, std::size_t Begin, std::size_t End);

} // namespace brindle::test
