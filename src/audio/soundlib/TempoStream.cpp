#include "audio/soundlib/TempoStream.h"

#include "audio/mixer/MixKernels.h"

#include <SoundTouch.h>

#include <algorithm>

namespace brindle::soundlib {

namespace {
constexpr int FeedFrames = 1024;
}

TempoStream::TempoStream(int SampleRate, int Channels, int MaxFrames)
    : Rate(SampleRate), ChannelCount(Channels), Max(std::max(MaxFrames, 64)),
      Touch(std::make_unique<soundtouch::SoundTouch>()), InShorts(static_cast<size_t>(FeedFrames) * Channels),
      InFloats(static_cast<size_t>(FeedFrames) * Channels), OutFloats(static_cast<size_t>(Max) * Channels) {
    Touch->setSampleRate(static_cast<unsigned>(Rate));
    Touch->setChannels(static_cast<unsigned>(ChannelCount));
    Src.SampleRate = Rate;
    Src.Channels = ChannelCount;
}

TempoStream::~TempoStream() = default;

void TempoStream::Set(float TempoPercent, float PitchSemitones) {
    if (TempoPercent != -100.0f) {
        Tempo = TempoPercent;
        Touch->setTempoChange(Tempo);
    }
    if (PitchSemitones != -100.0f) {
        Pitch = PitchSemitones;
        // Re-designing the anti-alias filter allocates; skip it when the pitch is unchanged.
        if (Pitch != AppliedPitch) {
            Touch->setPitchSemiTones(Pitch);
            AppliedPitch = Pitch;
        }
    }
}

void TempoStream::Restart() {
    Touch->clear();
    SourceEnded = false;
    Flushed = false;
}

bool TempoStream::Feed() {
    int got = SourceEnded ? 0 : Src.Read(InShorts.data(), FeedFrames);
    if (got <= 0) {
        SourceEnded = true;
        if (!Pad) {
            if (!Flushed) {
                Touch->flush();
                Flushed = true;
            }
            return false;
        }
        std::fill(InShorts.begin(), InShorts.end(), std::int16_t{0});
        got = FeedFrames;
    }
    ShortsToFloats(InFloats.data(), InShorts.data(), got * ChannelCount);
    Touch->putSamples(InFloats.data(), static_cast<unsigned>(got));
    return true;
}

int TempoStream::ReadChunk(float* Out, int Frames) {
    while (static_cast<int>(Touch->numSamples()) < Frames)
        if (!Feed()) break;
    return static_cast<int>(Touch->receiveSamples(Out, static_cast<unsigned>(Frames)));
}

int TempoStream::Read(std::int16_t* Out, int Frames) {
    if (IsNeutral()) {
        const int got = Src.Read(Out, Frames);
        if (got > 0) return got;
        if (!Pad) return -1;
        std::fill(Out, Out + static_cast<size_t>(Frames) * ChannelCount, std::int16_t{0});
        return Frames;
    }
    int done = 0;
    while (done < Frames) {
        const int want = std::min(Frames - done, Max);
        const int got = ReadChunk(OutFloats.data(), want);
        FloatsToShorts(Out + static_cast<size_t>(done) * ChannelCount, OutFloats.data(), got * ChannelCount);
        done += got;
        if (got < want) break;
    }
    if (done == 0 && SourceEnded && !Pad) return -1;
    return done;
}

int TempoStream::ReadFloats(float* Out, int Frames) {
    if (IsNeutral()) {
        int done = 0;
        while (done < Frames) {
            const int want = std::min(Frames - done, FeedFrames);
            const int got = Src.Read(InShorts.data(), want);
            if (got <= 0) break;
            ShortsToFloats(Out + static_cast<size_t>(done) * ChannelCount, InShorts.data(),
                           got * ChannelCount);
            done += got;
        }
        if (done == 0 && !Pad) return -1;
        std::fill(Out + static_cast<size_t>(done) * ChannelCount,
                  Out + static_cast<size_t>(Frames) * ChannelCount, 0.0f);
        return Pad ? Frames : done;
    }
    int done = 0;
    while (done < Frames) {
        const int got = ReadChunk(Out + static_cast<size_t>(done) * ChannelCount, Frames - done);
        done += got;
        if (got == 0) break;
    }
    if (done == 0 && SourceEnded && !Pad) return -1;
    return done;
}

void TempoStream::WarmUp() {
    const PullStream saved = Src;
    const float tempo = Tempo, pitch = Pitch;
    const bool pad = Pad;
    Src = PullStream{};
    Pad = true;
    Set(50.0f, -100.0f);
    // One typical device block is enough to size SoundTouch's buffers; bigger blocks grow them once.
    ReadFloats(OutFloats.data(), std::min(Max, 1024));
    Set(tempo, pitch);
    Src = saved;
    Pad = pad;
    Restart();
}

} // namespace brindle::soundlib
