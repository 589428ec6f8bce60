#include "audio/soundlib/SoundFile.h"

#include "base/realtime/RealtimeProbe.h"
#include "audio/soundlib/Decoder.h"
#include "audio/soundlib/Resampler.h"
#include "base/Error.h"

#include <algorithm>
#include <filesystem>

namespace brindle::soundlib {

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
    Impl = std::move(decoder);
    FilePath = Path;
    Position = 0;
}

void SoundFile::Close() {
    Impl.reset();
    FilePath.clear();
    Position = 0;
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

std::int64_t SoundFile::LengthBytes() const {
    return Impl ? Impl->LengthFrames() * FrameBytes() : 0;
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
    const int got = Impl->ReadFrames(static_cast<std::int16_t*>(Buf), frames);
    if (got <= 0) return -1;
    Position += static_cast<std::int64_t>(got) * FrameBytes();
    return got * FrameBytes();
}

double SoundFile::BytesToSeconds(std::int64_t Bytes) const {
    const int perSecond = SampleRate() * FrameBytes();
    return perSecond > 0 ? static_cast<double>(Bytes) / perSecond : 0.0;
}

std::int64_t SoundFile::SecondsToBytes(double Seconds) const {
    const std::int64_t frames = static_cast<std::int64_t>(Seconds * SampleRate());
    return frames * FrameBytes();
}

std::vector<std::int16_t> DecodeFile(const std::string& Path, int Rate, int Channels) {
    SoundFile file;
    file.Open(Path);
    Resampler convert(file.SampleRate(), file.Channels(), Rate, Channels);
    std::vector<std::int16_t> out;
    // The length is only a hint for FFmpeg streams; the loop reads to the real end.
    const double ratio = static_cast<double>(Rate) / file.SampleRate();
    out.reserve(
        static_cast<size_t>(static_cast<double>(file.LengthBytes() / file.FrameBytes()) * ratio + 64) *
        static_cast<size_t>(Channels));
    if (convert.IsPassthrough()) {
        // Same format: decode straight into the result, no intermediate copy.
        // Chunks follow the known length so the reserved block is never outgrown.
        const size_t chunk = static_cast<size_t>(4096) * file.Channels();
        const size_t expected = static_cast<size_t>(file.LengthBytes() / 2);
        while (true) {
            const size_t at = out.size();
            const size_t want = expected > at ? std::min(chunk, expected - at) : chunk;
            out.resize(at + want);
            const int got = file.Read(out.data() + at, static_cast<int>(want * 2));
            out.resize(at + static_cast<size_t>(got > 0 ? got / 2 : 0));
            if (got <= 0) break;
        }
        return out;
    }
    std::vector<std::int16_t> block(static_cast<size_t>(16384) * file.Channels());
    while (true) {
        const int got = file.Read(block.data(), static_cast<int>(block.size() * 2));
        if (got <= 0) break;
        convert.Convert(block.data(), got / file.FrameBytes(), out);
    }
    convert.Finish(out);
    return out;
}

} // namespace brindle::soundlib
