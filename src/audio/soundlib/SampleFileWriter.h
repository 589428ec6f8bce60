#pragma once
// Whole edited samples to files at the resolution their source had: 16/24/32-bit PCM or float WAV,
// 16/24-bit FLAC, Ogg Vorbis. Samples come as floats (full scale ±1.0, as SoundFile::ReadFloat
// gives them), so a 16-bit value v read as v / 32768 is written back as v, and a 24-bit one the same.
#include <cstdint>
#include <string>

namespace brindle::soundlib {

enum class TSampleContainer { Wav, Flac, Ogg };
enum class TSampleResolution { Pcm16, Pcm24, Pcm32, Float, Double };

struct TSampleFormat {
    TSampleContainer Container = TSampleContainer::Wav;
    TSampleResolution Resolution = TSampleResolution::Pcm16;
    bool operator==(const TSampleFormat&) const = default;
};

// The format Path is in, brought to what can be written: WAV, FLAC and Ogg keep their container,
// anything else (MP3, AIFF, a file libsndfile does not read) becomes WAV. The resolution is the
// source's (8-bit and companded sources become 16-bit; lossy ones 16-bit, or Vorbis for Ogg).
TSampleFormat ProbeSampleFormat(const std::string& Path);
// What a container can hold of Resolution: FLAC has no float or 32-bit (24 then), Ogg is Vorbis.
TSampleFormat Writable(TSampleFormat Format);
// "wav", "flac" or "ogg".
const char* Extension(TSampleContainer Container);

// Writes Frames interleaved frames beside Target and renames them over it only when complete
// (see TStagedFile). PCM is rounded to the nearest step and held within full scale. Throws
// brindle::Error naming Target when it can't be written.
void WriteSampleFile(const std::string& Target, const float* Samples, std::int64_t Frames, int Channels, int Rate,
                     TSampleFormat Format);

} // namespace brindle::soundlib
