#pragma once
// Valid small files with one header field rewritten, as a damaged or hostile file would carry it.
#include <cstdint>
#include <filesystem>

namespace brindle::test {

// Rewrites a FLAC file's STREAMINFO: the sample rate and the total frame count (36 bits; 0 means
// "unknown"). A negative argument keeps that field.
void PatchFlacStreamInfo(const std::filesystem::path& Path, std::int64_t Rate, std::int64_t TotalFrames);
// Rewrites the sample rate of an Ogg Vorbis file's identification header, with the page checksum.
void PatchVorbisRate(const std::filesystem::path& Path, std::uint32_t Rate);

} // namespace brindle::test
