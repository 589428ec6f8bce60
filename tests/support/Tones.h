#pragma once
// Synthesised test audio: sine tones, clicks and constant levels as 16-bit interleaved PCM,
// written to files with libsndfile (WAV/FLAC/OGG) or converted by the ffmpeg/lame programs.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace brindle::test {

// Frames of a sine at Hz, amplitude Amp (0..1 of full scale), same on every channel.
std::vector<std::int16_t> SineTone(double Hz, double Seconds, int Rate, int Channels, double Amp = 0.5);
// Frames of one constant value on every channel.
// The samples of a headerless 16-bit file (a .raw or .pcm render).
std::vector<std::int16_t> ReadRawPcm(const std::filesystem::path& Path);
std::vector<std::int16_t> ConstantTone(std::int16_t Value, std::int64_t Frames, int Channels);

// libsndfile major format by extension: .wav, .flac, .ogg. Bits: 8, 16 or 24 (WAV/FLAC).
void WriteSoundFile(const std::filesystem::path& Path, const std::vector<std::int16_t>& Pcm, int Rate,
                    int Channels, int Bits = 16);
// A WAV sine written at the given format; returns the path.
std::filesystem::path WriteSineWav(const std::filesystem::path& Path, double Hz, double Seconds, int Rate,
                                   int Channels, int Bits = 16, double Amp = 0.5);
// Runs the ffmpeg program to convert From into To (codec chosen by To's extension, extra arguments
// before To). Returns false when ffmpeg is missing or fails.
bool FfmpegConvert(const std::filesystem::path& From, const std::filesystem::path& To,
                   const std::string& Extra = "");

} // namespace brindle::test
