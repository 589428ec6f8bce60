#pragma once
// Measurements on 16-bit interleaved PCM: levels, frequencies and where sound starts and stops.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindle::test {

// One channel of interleaved PCM as doubles.
std::vector<double> ChannelOf(const std::vector<std::int16_t>& Pcm, int Channels, int Channel);
double Rms(const std::vector<double>& X, std::size_t Begin = 0, std::size_t End = SIZE_MAX);
// Relative power of Hz in X (Goertzel), normalised so a full-period sine of amplitude A gives ~A.
double GoertzelAmplitude(const std::vector<double>& X, double Hz, int Rate, std::size_t Begin = 0,
                         std::size_t End = SIZE_MAX);
// Frequency from rising zero crossings, interpolated between samples.
double ZeroCrossingHz(const std::vector<double>& X, int Rate, std::size_t Begin = 0,
                      std::size_t End = SIZE_MAX);
// First index whose absolute value exceeds Threshold, or -1.
std::int64_t FirstAbove(const std::vector<double>& X, double Threshold);
// Last index whose absolute value exceeds Threshold, or -1.
std::int64_t LastAbove(const std::vector<double>& X, double Threshold);

} // namespace brindle::test
