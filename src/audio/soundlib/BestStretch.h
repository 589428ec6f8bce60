#pragma once
// Tempo and pitch change of a whole sample with Rubber Band's finer (R3) engine, offline: two
// passes over the sample, cleaner than the live stretcher on sustained and gliding tones, for
// notes prepared before they play.
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace brindle::soundlib {

enum class StretchQuality { Standard, Best };
// "Standard" / "Best"; false for anything else (Out unchanged).
bool ParseStretchQuality(std::string_view Text, StretchQuality& Out);
const char* StretchQualityName(StretchQuality Quality);

// Thrown by a render whose cancel flag was set; it stops at its next block.
struct StretchCancelled : std::runtime_error {
    StretchCancelled() : std::runtime_error("Stretching cancelled") {}
};

// Pcm is interleaved at Rate with Channels; Speed a tempo factor, Pitch semitones (both playable).
// Returns OutFrames frames, every point of the source at its position / Speed. Cancel, when
// given, is checked before every block.
std::vector<float> StretchBest(const std::int16_t* Pcm, std::int64_t Frames, int Channels, int Rate,
                               float Speed, float Pitch, std::int64_t OutFrames,
                               const std::atomic<bool>* Cancel = nullptr);

} // namespace brindle::soundlib
