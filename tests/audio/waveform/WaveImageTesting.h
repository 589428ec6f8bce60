#pragma once
// Known signals and their expected waveform images, worked out here independently of the store.
#include <cstdint>
#include <filesystem>
#include <vector>

namespace brindle::test {

// Mono mix of interleaved frames: the channels' sum divided by their count, toward zero.
std::vector<std::int16_t> MonoOf(const std::vector<std::int16_t>& Pcm, int Channels);
// For each of Samples image samples, the largest |value| of Mono in its window of source frames
// [i * SrcRate / ImgRate, (i + 1) * SrcRate / ImgRate).
std::vector<int> WindowPeaks(const std::vector<std::int16_t>& Mono, int SrcRate, int ImgRate, std::int64_t Samples);
std::vector<std::int16_t> ReadBytes16(const std::filesystem::path& Path);
void WriteBytes16(const std::filesystem::path& Path, const std::vector<std::int16_t>& Samples);

} // namespace brindle::test
