#pragma once
// Spectral levels far below a strong tone (images, aliases at -90 dB and lower), and sources with
// more resolution than 16 bits.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace brindle::test {

// Amplitude of Hz in X[Begin, End) through a Blackman-Harris window, whose side lobes stay
// 92 dB down: a sine of amplitude A gives ~A, and a tone far from Hz adds next to nothing.
double WindowedAmplitude(const std::vector<double>& X, double Hz, int Rate, std::size_t Begin = 0,
                         std::size_t End = SIZE_MAX);
// 20 log10(Level / Reference), with silence at -400 dB.
double DbOf(double Level, double Reference);
// Where a component at Hz shows in a signal sampled at OutRate: folded into 0..OutRate/2.
double FoldedHz(double Hz, int OutRate);

// Interleaved samples (full scale ±1.0) written as a WAV of 24-bit integers (Bits 24) or 32-bit
// floats (Bits 32).
void WriteDeepWav(const std::filesystem::path& Path, const std::vector<double>& Samples, int Rate,
                  int Channels, int Bits);

} // namespace brindle::test
