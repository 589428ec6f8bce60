#pragma once
// The file formats a render can write, chosen by the output's extension, and the sink that
// writes each of them.
#include "audio/soundlib/AudioSink.h"

#include <filesystem>
#include <memory>
#include <string>

namespace brindle::soundlib {

enum class FileFormat { Wav, Flac, Ogg, Opus, Mp3, Pcm };
enum class SampleBits { Int16, Int24, Float32 };

struct OutputFormat {
    FileFormat Format = FileFormat::Wav;
    SampleBits Bits = SampleBits::Int16;
    int Quality = -1; // Ogg Vorbis and Opus, 0..10; -1 takes the encoder's default
    int Mp3KBitRate = 256;
    std::string LameProgram = "lame";
};

// By the lower-cased extension: .wav, .flac, .ogg, .opus, .mp3, .pcm, .raw. Throws brindle::Error
// "File type - .<ext> not supported." for any other.
FileFormat FormatOfPath(const std::filesystem::path& Path);
// The same for a bare name such as "flac" (as --format takes it); false when unknown.
bool ParseFileFormat(const std::string& Name, FileFormat& Out);
// "16", "24" or "32f".
bool ParseSampleBits(const std::string& Text, SampleBits& Out);
const char* Extension(FileFormat Format); // with its dot
const char* FormatName(FileFormat Format);
// Throws brindle::Error saying why the combination cannot be written (float FLAC, 24 bits for a
// lossy or raw format, an encoder this libsndfile lacks).
void CheckOutputFormat(const OutputFormat& Format);
// Whether the installed libsndfile can write Ogg Opus.
bool OpusAvailable();
// The rate a file of Format stores when the sound is at Rate (Opus only takes 48 kHz and a few
// lower rates, so it is resampled).
int FileRate(FileFormat Format, int Rate);

// Opens the writer for Path; throws brindle::Error when it cannot be written. Nothing appears at
// Path until Finish.
std::unique_ptr<TAudioSink> OpenSink(const std::filesystem::path& Path, int SampleRate, int Channels,
                                     const OutputFormat& Format);

} // namespace brindle::soundlib
