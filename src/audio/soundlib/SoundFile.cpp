#include "audio/soundlib/SoundFile.h"

#include "audio/soundlib/Decoder.h"
#include "audio/soundlib/Pcm16.h"
#include "audio/soundlib/Resampler.h"
#include "base/Error.h"
#include "base/realtime/RealtimeProbe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

namespace brindle::soundlib {

namespace {

// Room for Extra more samples; the vector's own doubling could overshoot the limit by the size of
// the whole sound, so growth stops at Limit samples.
void MakeRoom(std::vector<std::int16_t>& Out, std::size_t Extra, std::size_t Limit) {
    const std::size_t need = Out.size() + Extra;
    if (need <= Out.capacity()) return;
    Out.reserve(std::max(need, std::min(Out.capacity() * 2, Limit)));
}

[[noreturn]] void ThrowTooLong(const std::string& Path, std::int64_t MaxFrames, int Rate) {
    const double seconds = Rate > 0 ? static_cast<double>(MaxFrames) / Rate : 0.0;
    char limit[64];
    if (seconds >= 60.0 && std::fmod(seconds, 60.0) == 0.0)
        std::snprintf(limit, sizeof limit, "%g minutes", seconds / 60.0);
    else
        std::snprintf(limit, sizeof limit, "%g seconds", seconds);
    throw brindle::Error(std::string("Audio file is longer than ") + limit + ", too long to load: " + Path);
}

} // namespace

SoundFile::SoundFile() = default;
SoundFile::~SoundFile() = default;

void SoundFile::Open(const std::string& Path) {
    Close();
    RealtimeProbe::CountFileOpen();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(Path, ec)) throw brindle::Error("Audio file not found: " + Path);
    auto decoder = OpenSndfileDecoder(Path);
    if (!decoder) decoder = OpenFfmpegDecoder(Path);
    if (!decoder) throw brindle::Error("Audio file can't be decoded: " + Path);
    const int rate = decoder->SampleRate();
    if (rate < MinFileRate || rate > MaxFileRate)
        throw brindle::Error("Audio file claims a sample rate of " + std::to_string(rate) +
                             " Hz, which can't be right: " + Path);
    Impl = std::move(decoder);
    FilePath = Path;
    Position = 0;
}

void SoundFile::Close() {
    Impl.reset();
    FilePath.clear();
    Position = 0;
}

bool SoundFile::HasDeepSamples() const {
    return Impl && Impl->HasDeepSamples();
}

const char* SoundFile::DecoderName() const {
    return Impl ? Impl->Name() : "";
}
int SoundFile::SampleRate() const {
    return Impl ? Impl->SampleRate() : 0;
}
int SoundFile::Channels() const {
    return Impl ? Impl->Channels() : 0;
}

std::int64_t SoundFile::LengthFrames() const {
    return Impl ? std::max<std::int64_t>(Impl->LengthFrames(), 0) : 0;
}

std::int64_t SoundFile::LengthBytes() const {
    const std::int64_t frames = LengthFrames();
    const int frameBytes = FrameBytes();
    if (frameBytes <= 0) return 0;
    // A header may claim any 64-bit count; saturate rather than overflow.
    const std::int64_t most = std::numeric_limits<std::int64_t>::max() / frameBytes;
    return std::min(frames, most) * frameBytes;
}

bool SoundFile::SeekBytes(std::int64_t Bytes) {
    if (!Impl) return false;
    const std::int64_t frame = Bytes > 0 ? Bytes / FrameBytes() : 0;
    if (!Impl->SeekFrame(frame)) return false;
    Position = frame * FrameBytes();
    return true;
}

int SoundFile::Read(void* Buf, int Bytes) {
    if (!Impl) return -1;
    const int frames = Bytes / FrameBytes();
    if (frames <= 0) return 0;
    const int got = Impl->HasDeepSamples() && Buf ? ReadDeep(static_cast<std::int16_t*>(Buf), frames)
                                                  : Impl->ReadFrames(static_cast<std::int16_t*>(Buf), frames);
    if (got <= 0) return -1;
    Position += static_cast<std::int64_t>(got) * FrameBytes();
    return got * FrameBytes();
}

int SoundFile::ReadDeep(std::int16_t* Buf, int Frames) {
    const int channels = Channels();
    const int per = static_cast<int>(Scratch.size()) / channels;
    int done = 0;
    while (done < Frames) {
        const int got = Impl->ReadFloatFrames(Scratch.data(), std::min(per, Frames - done));
        if (got <= 0) break;
        const auto at = static_cast<std::size_t>(done) * channels;
        ToPcm16(Scratch.data(), static_cast<std::size_t>(got) * channels, Buf + at, true,
                static_cast<std::uint64_t>(Position / 2) + at);
        done += got;
    }
    return done;
}

int SoundFile::ReadFloat(float* Buf, int Frames) {
    if (!Impl) return -1;
    if (Frames <= 0) return 0;
    const int got = Buf ? Impl->ReadFloatFrames(Buf, Frames) : Impl->ReadFrames(nullptr, Frames);
    if (got <= 0) return -1;
    Position += static_cast<std::int64_t>(got) * FrameBytes();
    return got;
}

double SoundFile::BytesToSeconds(std::int64_t Bytes) const {
    const int perSecond = SampleRate() * FrameBytes();
    return perSecond > 0 ? static_cast<double>(Bytes) / perSecond : 0.0;
}

std::int64_t SoundFile::SecondsToBytes(double Seconds) const {
    const std::int64_t frames = static_cast<std::int64_t>(Seconds * SampleRate());
    return frames * FrameBytes();
}

std::vector<std::int16_t> ReadAll(SoundFile& File, std::int64_t MaxFrames) {
    std::vector<std::int16_t> out;
    if (!File.IsOpen()) return out;
    const auto channels = static_cast<std::size_t>(File.Channels());
    const std::size_t limit = static_cast<std::size_t>(std::max<std::int64_t>(MaxFrames, 0)) * channels;
    const std::size_t chunk = 4096 * channels;
    // The header's length is only a claim: it sizes the first reservation when within the limit,
    // and memory otherwise grows with the data that actually arrives.
    const std::int64_t claimed = File.LengthFrames() - File.PositionBytes() / File.FrameBytes();
    if (claimed > 0 && claimed <= MaxFrames)
        out.reserve(static_cast<std::size_t>(claimed) * channels + chunk);
    while (true) {
        const std::size_t at = out.size();
        MakeRoom(out, chunk, limit + chunk);
        out.resize(at + chunk);
        const int got = File.Read(out.data() + at, static_cast<int>(chunk * 2));
        out.resize(at + static_cast<std::size_t>(got > 0 ? got / 2 : 0));
        if (out.size() > limit) ThrowTooLong(File.Path(), MaxFrames, File.SampleRate());
        if (got <= 0) break;
    }
    return out;
}

std::vector<std::int16_t> DecodeFile(const std::string& Path, int Rate, int Channels,
                                     std::int64_t MaxFrames) {
    SoundFile file;
    file.Open(Path);
    if (MaxFrames < 0) MaxFrames = static_cast<std::int64_t>(MaxDecodeSeconds * Rate);
    Resampler convert(file.SampleRate(), file.Channels(), Rate, Channels);
    // Same format: decode straight into the result, no intermediate copy.
    if (convert.IsPassthrough()) return ReadAll(file, MaxFrames);
    const std::size_t limit = static_cast<std::size_t>(MaxFrames) * static_cast<std::size_t>(Channels);
    std::vector<std::int16_t> out;
    const double claimed = static_cast<double>(file.LengthFrames()) * Rate / file.SampleRate();
    if (claimed > 0 && claimed <= static_cast<double>(MaxFrames))
        out.reserve(static_cast<std::size_t>(claimed + 64) * static_cast<std::size_t>(Channels));
    // Converted in float and rounded to 16 bits once, at the end; deep sources with dither.
    const bool dither = file.HasDeepSamples();
    // About 8192 frames out per block, whatever the ratio: memory stays small next to the result.
    const int blockFrames =
        static_cast<int>(std::clamp<std::int64_t>(std::int64_t{8192} * file.SampleRate() / Rate, 64, 16384));
    std::vector<float> block(static_cast<std::size_t>(blockFrames) * file.Channels());
    std::vector<float> converted;
    converted.reserve(static_cast<std::size_t>(convert.OutFramesFor(blockFrames)) * Channels);
    const auto append = [&] {
        const std::size_t at = out.size();
        MakeRoom(out, converted.size(), limit);
        out.resize(at + converted.size());
        ToPcm16(converted.data(), converted.size(), out.data() + at, dither, at);
        converted.clear();
    };
    while (true) {
        const int frames = file.ReadFloat(block.data(), blockFrames);
        if (frames <= 0) break;
        convert.Convert(block.data(), frames, converted);
        append();
        if (out.size() > limit) ThrowTooLong(Path, MaxFrames, Rate);
    }
    convert.Finish(converted);
    append();
    if (out.size() > limit) out.resize(limit); // the converter's last few frames
    return out;
}

} // namespace brindle::soundlib
