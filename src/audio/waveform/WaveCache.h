#pragma once
// Files that keep finished waveform images between runs, in the application's data folder.
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle::waveform {

// FNV-1a, 64 bits: stable across runs and builds, unlike std::hash.
std::uint64_t Fnv1a64(std::string_view Text);

// The folder beside the log and the recovery file.
std::string WaveCacheFolder();
// "<Frequency>-<file name>" with "\" as "-sl-", ":" as "-cl-", "." as "-dot-", then the source's
// size in bytes and "-" + the FNV-1a hash of its absolute path (16 hex digits), lower-cased, with
// ".cache": one file per source file and image rate, even for same-named files in two folders.
std::string WaveCacheName(const std::string& Source, int Frequency);
std::string WaveCachePath(const std::string& Source, int Frequency);

// Removes the cache file when it is older than the source, which has changed since.
void DropStaleCache(const std::string& Cache, const std::string& Source);

// Writes Bytes of Data to Path through a temporary file renamed over it, so a crash never leaves a
// truncated image. Returns false, having written nothing at Path, when that fails.
bool WriteWaveCache(const std::string& Path, const void* Data, std::int64_t Bytes) noexcept;

} // namespace brindle::waveform
