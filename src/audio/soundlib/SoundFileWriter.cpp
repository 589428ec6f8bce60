#include "audio/soundlib/SoundFileWriter.h"

#include "audio/soundlib/LameEncoder.h"
#include "audio/soundlib/PcmWriter.h"
#include "audio/soundlib/Resampler.h"
#include "audio/soundlib/WavWriter.h"
#include "base/Error.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace brindle {

void TAudioSink::WriteFloats(const float*, std::size_t) {
    throw Error("This output takes 16-bit samples only");
}

namespace soundlib {

namespace {
struct FormatRow {
    FileFormat Format;
    const char* Name;
    const char* Ext;
};
constexpr FormatRow Formats[] = {
    {FileFormat::Wav, "WAV", ".wav"},        {FileFormat::Flac, "FLAC", ".flac"},
    {FileFormat::Ogg, "Ogg Vorbis", ".ogg"}, {FileFormat::Opus, "Opus", ".opus"},
    {FileFormat::Mp3, "MP3", ".mp3"},        {FileFormat::Pcm, "PCM", ".pcm"},
};

std::string lower(std::string Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(),
                   [](unsigned char C) { return char(std::tolower(C)); });
    return Text;
}
} // namespace

bool ParseFileFormat(const std::string& Name, FileFormat& Out) {
    std::string Ext = lower(Name);
    if (!Ext.starts_with(".")) Ext.insert(0, 1, '.');
    if (Ext == ".raw") Ext = ".pcm";
    for (const auto& Row : Formats)
        if (Ext == Row.Ext) {
            Out = Row.Format;
            return true;
        }
    return false;
}

FileFormat FormatOfPath(const std::filesystem::path& Path) {
    const std::string Ext = lower(Path.extension().string());
    FileFormat Format;
    if (Ext.empty() || !ParseFileFormat(Ext, Format)) throw Error("File type - ." + Ext + " not supported.");
    return Format;
}

bool ParseSampleBits(const std::string& Text, SampleBits& Out) {
    if (Text == "16")
        Out = SampleBits::Int16;
    else if (Text == "24")
        Out = SampleBits::Int24;
    else if (Text == "32f")
        Out = SampleBits::Float32;
    else
        return false;
    return true;
}

const char* Extension(FileFormat Format) {
    for (const auto& Row : Formats)
        if (Row.Format == Format) return Row.Ext;
    return "";
}

const char* FormatName(FileFormat Format) {
    for (const auto& Row : Formats)
        if (Row.Format == Format) return Row.Name;
    return "";
}

int FileRate(FileFormat Format, int Rate) {
    return Format == FileFormat::Opus ? 48000 : Rate;
}

int TSoundFileWriter::SndfileFormat(const OutputFormat& Format) {
    const int Sub = Format.Bits == SampleBits::Int24     ? SF_FORMAT_PCM_24
                    : Format.Bits == SampleBits::Float32 ? SF_FORMAT_FLOAT
                                                         : SF_FORMAT_PCM_16;
    switch (Format.Format) {
    case FileFormat::Wav:
        return SF_FORMAT_WAV | Sub;
    case FileFormat::Flac:
        return Format.Bits == SampleBits::Float32 ? 0 : SF_FORMAT_FLAC | Sub;
    case FileFormat::Ogg:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case FileFormat::Opus:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    default:
        return 0;
    }
}

bool OpusAvailable() {
    SF_INFO Info{};
    Info.samplerate = 48000;
    Info.channels = 2;
    Info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
    return sf_format_check(&Info) != 0;
}

void CheckOutputFormat(const OutputFormat& Format) {
    const bool Fine = Format.Bits != SampleBits::Int16;
    if (Format.Format == FileFormat::Flac && Format.Bits == SampleBits::Float32)
        throw Error("FLAC has no float samples: choose 16 or 24 bits, or a .wav file for 32-bit float");
    if (Fine && Format.Format != FileFormat::Wav && Format.Format != FileFormat::Flac)
        throw Error(std::string("24-bit and float samples are for WAV and FLAC; ") +
                    FormatName(Format.Format) + " takes no bit depth");
    if (Format.Quality != -1 && (Format.Quality < 0 || Format.Quality > 10))
        throw Error("The quality goes from 0 to 10");
    if (Format.Format == FileFormat::Opus && !OpusAvailable())
        throw Error("Opus export needs a libsndfile built with Opus (1.0.29 or later with libopus); this one "
                    "cannot write Opus: export to .ogg or .flac instead");
}

std::unique_ptr<TAudioSink> OpenSink(const std::filesystem::path& Path, int SampleRate, int Channels,
                                     const OutputFormat& Format) {
    CheckOutputFormat(Format);
    switch (Format.Format) {
    case FileFormat::Pcm:
        return std::make_unique<TPcmWriter>(Path);
    case FileFormat::Mp3: {
        TLameOptions Options;
        Options.Program = Format.LameProgram;
        Options.KBitRate = Format.Mp3KBitRate;
        Options.Channels = Channels;
        Options.Keys = "-h";
        return std::make_unique<TLameEncoder>(Path, SampleRate, Channels, Options);
    }
    case FileFormat::Wav:
        // The 16-bit WAV writer is the one every earlier render used, so its files stay the same.
        if (Format.Bits == SampleBits::Int16) return std::make_unique<TWavWriter>(Path, SampleRate, Channels);
        [[fallthrough]];
    default:
        return std::make_unique<TSoundFileWriter>(Path, SampleRate, Channels, Format);
    }
}

TSoundFileWriter::TSoundFileWriter(const std::filesystem::path& Target, int SampleRate, int ChannelCount,
                                   const OutputFormat& Format)
    : File(Target), Channels(ChannelCount) {
    const bool Lossy = Format.Format == FileFormat::Ogg || Format.Format == FileFormat::Opus;
    Floats = Lossy || Format.Bits != SampleBits::Int16;
    Int24 = !Lossy && Format.Bits == SampleBits::Int24;
    SF_INFO Info{};
    Info.samplerate = FileRate(Format.Format, SampleRate);
    Info.channels = Channels;
    Info.format = SndfileFormat(Format);
    if (Info.format == 0 || !sf_format_check(&Info)) Fail("this libsndfile cannot write that format");
    Sound = sf_open(File.GetTemporary().c_str(), SFM_WRITE, &Info);
    if (!Sound) Fail(sf_strerror(nullptr));
    // A float WAV's peak chunk carries the time of writing: without it, a render repeats byte for byte.
    sf_command(Sound, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if (Lossy && Format.Quality >= 0) {
        double Quality = Format.Quality / 10.0;
        sf_command(Sound, SFC_SET_VBR_ENCODING_QUALITY, &Quality, sizeof(Quality));
    }
    if (Info.samplerate != SampleRate)
        ToFileRate = std::make_unique<Resampler>(SampleRate, Channels, Info.samplerate, Channels);
}

TSoundFileWriter::~TSoundFileWriter() {
    if (Sound) sf_close(Sound);
}

void TSoundFileWriter::Fail(const char* Reason) {
    throw Error("Can't write \"" + File.GetTarget().string() + "\": " + Reason);
}

void TSoundFileWriter::Write(const std::int16_t* Samples, std::size_t Count) {
    if (Floats) {
        // A 16-bit source into a finer file: exact, the samples only gain low bits of zero.
        std::vector<float> Converted(Count);
        std::transform(Samples, Samples + Count, Converted.begin(),
                       [](std::int16_t S) { return S / 32768.0f; });
        WriteFloats(Converted.data(), Count);
        return;
    }
    Pending16.insert(Pending16.end(), Samples, Samples + Count);
    if (Pending16.size() >= PendingLimit) Flush();
}

void TSoundFileWriter::WriteFloats(const float* Samples, std::size_t Count) {
    if (!Floats) {
        std::vector<std::int16_t> Rounded(Count);
        std::transform(Samples, Samples + Count, Rounded.begin(), [](float X) {
            return std::int16_t(std::lrint(std::clamp(X * 32768.0f, -32767.0f, 32767.0f)));
        });
        Write(Rounded.data(), Count);
        return;
    }
    if (Int24) {
        // Rounded on the 24-bit grid and saturated; libsndfile keeps an int's top 24 bits.
        for (std::size_t i = 0; i < Count; ++i) {
            const double X = std::clamp(double(Samples[i]) * 8388608.0, -8388607.0, 8388607.0);
            Pending32.push_back(std::int32_t(std::lrint(X)) * 256);
        }
        if (Pending32.size() >= PendingLimit) Flush();
        return;
    }
    if (ToFileRate) {
        ToFileRate->Convert(Samples, int(Count / std::size_t(Channels)), PendingFloat);
    } else {
        PendingFloat.insert(PendingFloat.end(), Samples, Samples + Count);
    }
    if (PendingFloat.size() >= PendingLimit) Flush();
}

void TSoundFileWriter::Flush() {
    if (!Pending16.empty()) {
        const auto Items = sf_count_t(Pending16.size());
        if (sf_write_short(Sound, Pending16.data(), Items) != Items) Fail(sf_strerror(Sound));
        Pending16.clear();
    }
    if (!Pending32.empty()) {
        const auto Items = sf_count_t(Pending32.size());
        if (sf_write_int(Sound, Pending32.data(), Items) != Items) Fail(sf_strerror(Sound));
        Pending32.clear();
    }
    if (!PendingFloat.empty()) {
        const auto Items = sf_count_t(PendingFloat.size());
        if (sf_write_float(Sound, PendingFloat.data(), Items) != Items) Fail(sf_strerror(Sound));
        PendingFloat.clear();
    }
}

void TSoundFileWriter::Finish() {
    if (ToFileRate) ToFileRate->Finish(PendingFloat);
    Flush();
    const int Code = sf_error(Sound);
    if (Code != SF_ERR_NO_ERROR) Fail(sf_error_number(Code));
    SNDFILE* Closing = Sound;
    Sound = nullptr;
    if (sf_close(Closing) != 0) Fail("the file could not be completed");
    File.Commit();
}

} // namespace soundlib
} // namespace brindle
