#include "audio/nodes/PlayStream.h"

#include "audio/soundlib/SoundFile.h"
#include "base/Error.h"

#include <algorithm>

TPlayStream::TPlayStream() = default;

TPlayStream::~TPlayStream() {
    Stop();
    Output.reset();
}

std::int64_t TPlayStream::TotalFrames() const {
    return FileChannels > 0 ? static_cast<std::int64_t>(Pcm.size()) / FileChannels : 0;
}

void TPlayStream::SetFileName(const std::string& Name) {
    Stop();
    FileName.clear();
    Output.reset();
    Pcm.clear();
    FileRate = 0;
    FileChannels = 0;
    PosFrame = 0;
    if (Name.empty()) return;
    brindle::soundlib::SoundFile file;
    try {
        file.Open(Name);
    } catch (const brindle::Error&) {
        throw brindle::Error("TransformChannel::Can't create read channel. Is BASS Initialized?\r\n" + Name);
    }
    // The header's length is only a claim: memory grows with the data, up to the decoding limit.
    Pcm = brindle::soundlib::ReadAll(
        file, static_cast<std::int64_t>(brindle::soundlib::MaxDecodeSeconds * file.SampleRate()));
    FileRate = file.SampleRate();
    FileChannels = file.Channels();
    FileName = Name;
    SetVolume(Volume);
}

std::vector<std::int16_t> TPlayStream::SetPcm(std::vector<std::int16_t> Samples, int Rate, int Channels) {
    Stop();
    // The output was opened for the old format; a new one is opened at the next Play.
    if (Rate != FileRate || Channels != FileChannels) Output.reset();
    std::swap(Pcm, Samples);
    FileRate = Channels > 0 ? Rate : 0;
    FileChannels = std::max(Channels, 0);
    PosFrame = std::clamp<std::int64_t>(PosFrame.load(), 0, TotalFrames());
    return Samples;
}

void TPlayStream::PlayFile(const std::string& Name) {
    SetFileName(Name);
    Play(0, 1, false, false);
}

void TPlayStream::Play(float Start, float Length, bool Loop, bool Restart) {
    const std::int64_t len = LenBytes();
    const std::int64_t ahead = PosFrame.load() * FrameBytes() + static_cast<std::int64_t>(FileRate) / 2 * FrameBytes();
    Stop();
    if (FileChannels == 0) return; // nothing to play
    const auto end = static_cast<std::int64_t>(static_cast<double>(len) * (static_cast<double>(Start) + Length));
    if (Restart || ahead >= end)
        PosFrame = static_cast<std::int64_t>(static_cast<double>(len) * Start) / FrameBytes();
    if (Length != 0) {
        LoopStartFrame = static_cast<std::int64_t>(static_cast<double>(len) * Start) / FrameBytes();
        SyncFrame = end / FrameBytes();
        Looping = Loop;
    } else {
        SyncFrame = -1;
        Looping = false;
    }
    Running = true;
    if (!Output) {
        brindle::soundlib::OutputRequest request;
        request.SampleRate = FileRate;
        request.Channels = FileChannels;
        auto render = [this](void* buf, int bytes) { return Render(buf, bytes); };
        brindle::soundlib::OpenedOutput opened =
            Opener_ ? Opener_(request, render) : brindle::soundlib::OpenOutput(request, render);
        Output = std::move(opened.Backend);
        DeviceError = opened.Error;
    }
    Output->Start();
    IsPlaying = true;
}

void TPlayStream::Stop() {
    Running = false;
    if (Output) Output->Stop();
    // The output is quiet now, so an end it reached can no longer be pending.
    OverTimerArmed = false;
    SyncFrame = -1;
    IsPlaying = false;
    Looping = false;
}

void TPlayStream::SetPlayPosition(float Fraction) {
    if (FileChannels == 0) return;
    const auto bytes = static_cast<std::int64_t>(static_cast<double>(LenBytes()) * Fraction);
    PosFrame = std::clamp<std::int64_t>(bytes / FrameBytes(), 0, TotalFrames());
}

float TPlayStream::GetPos() const {
    const std::int64_t len = LenBytes();
    return len > 0 ? static_cast<float>(static_cast<double>(PosFrame.load() * FrameBytes()) / len) : 0.0f;
}

float TPlayStream::LenSec() const {
    return FileRate > 0 ? static_cast<float>(static_cast<double>(TotalFrames()) / FileRate) : 0.0f;
}

std::int64_t TPlayStream::LenBytes() const { return TotalFrames() * FrameBytes(); }

void TPlayStream::SetVolume(float Value) {
    Volume = Value;
    VolumePercent = std::clamp(static_cast<int>(Value * 100), 0, 100);
}

int TPlayStream::Render(void* Buf, int BufLen) {
    if (!Running.load() || FileChannels == 0) return 0;
    auto* out = static_cast<std::int16_t*>(Buf);
    const int frames = BufLen / FrameBytes();
    const std::int64_t total = TotalFrames();
    const int volume = VolumePercent.load();
    std::int64_t startPos = PosFrame.load();
    std::int64_t pos = startPos;
    int done = 0;
    while (done < frames) {
        const std::int64_t sync = SyncFrame.load();
        std::int64_t stop = total;
        if (sync >= 0 && pos < sync) stop = std::min(stop, sync);
        if (sync >= 0 && pos >= sync && sync <= total) {
            // The range end: loop sample-exactly, or hand the end over to the user-interface thread.
            if (Looping.load() && LoopStartFrame.load() < sync) {
                pos = LoopStartFrame.load();
                continue;
            }
            Running = false;
            IsPlaying = false;
            Looping = false;
            OverTimerArmed = true;
            OverNotice.Post();
            break;
        }
        if (pos >= total) {
            // The file end without a range: playback just ends.
            Running = false;
            IsPlaying = false;
            break;
        }
        const int n = static_cast<int>(std::min<std::int64_t>(frames - done, stop - pos));
        const std::int16_t* src = Pcm.data() + pos * FileChannels;
        std::int16_t* dst = out + static_cast<std::int64_t>(done) * FileChannels;
        const int samples = n * FileChannels;
        if (volume == 100)
            std::copy(src, src + samples, dst);
        else
            for (int i = 0; i < samples; ++i) dst[i] = static_cast<std::int16_t>(src[i] * volume / 100);
        pos += n;
        done += n;
    }
    // A seek made while this block was rendered wins over the block's own advance.
    PosFrame.compare_exchange_strong(startPos, pos);
    return done * FrameBytes();
}

void TPlayStream::OnOverTimerProcedure() {
    if (!OverTimerArmed.exchange(false)) return;
    Stop();
    if (OnOver) OnOver(this);
}
