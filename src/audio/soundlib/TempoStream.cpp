#include "audio/soundlib/TempoStream.h"

#include "audio/mixer/MixKernels.h"

#include <SoundTouch.h>

#include <algorithm>
#include <cmath>

namespace brindle::soundlib {

namespace {
// Input is fed and output taken in pieces of this many frames, so the pipeline's buffers depend
// on the settings only, never on the size of the block a caller asks for.
constexpr int FeedFrames = 1024;
constexpr int ReadPiece = 1024;
} // namespace

float PlayableSpeed(float Speed) {
    if (!std::isfinite(Speed) || !(Speed > 0.0f)) return 1.0f;
    return std::clamp(Speed, MinSpeed, MaxSpeed);
}

float PlayablePitch(float Semitones) {
    if (!std::isfinite(Semitones)) return 0.0f;
    return std::clamp(Semitones, -MaxSemitones, MaxSemitones);
}

TempoStream::TempoStream(int SampleRate, int Channels)
    : Rate(SampleRate), ChannelCount(Channels), Touch(std::make_unique<soundtouch::SoundTouch>()),
      InShorts(static_cast<size_t>(FeedFrames) * Channels),
      InFloats(static_cast<size_t>(FeedFrames) * Channels),
      OutFloats(static_cast<size_t>(ReadPiece) * Channels) {
    Touch->setSampleRate(static_cast<unsigned>(Rate));
    Touch->setChannels(static_cast<unsigned>(ChannelCount));
    Src.SampleRate = Rate;
    Src.Channels = ChannelCount;
    UpdateLatency();
}

TempoStream::~TempoStream() = default;

void TempoStream::Set(float TempoPercent, float PitchSemitones) {
    if (TempoPercent != -100.0f) {
        Tempo = std::isfinite(TempoPercent)
                    ? std::clamp(TempoPercent, 100.0f * (MinSpeed - 1.0f), 100.0f * (MaxSpeed - 1.0f))
                    : 0.0f;
        Touch->setTempoChange(Tempo);
    }
    if (PitchSemitones != -100.0f) {
        Pitch = PlayablePitch(PitchSemitones);
        // Re-designing the anti-alias filter allocates; skip it when the pitch is unchanged.
        if (Pitch != AppliedPitch) {
            Touch->setPitchSemiTones(Pitch);
            AppliedPitch = Pitch;
            SizedLow = SizedHigh = 0.0f; // the buffers were sized for another transposition
        }
    }
    UpdateLatency();
}

void TempoStream::UpdateLatency() {
    Latency = std::max(Touch->getSetting(SETTING_INITIAL_LATENCY), 0);
    // Slow notes take little input per output frame: smaller feeds keep the output FIFO small.
    FeedSize = std::clamp(static_cast<int>(std::ceil(ReadPiece * Speed())), 32, FeedFrames);
}

void TempoStream::Restart() {
    Touch->clear();
    SourceEnded = false;
    Flushed = false;
}

int TempoStream::Feed() {
    int got = SourceEnded ? 0 : Src.Read(InShorts.data(), FeedSize);
    if (got <= 0) {
        SourceEnded = true;
        if (!Pad) {
            if (!Flushed) {
                Touch->flush();
                Flushed = true;
            }
            return 0;
        }
        std::fill_n(InShorts.begin(), static_cast<size_t>(FeedSize) * ChannelCount, std::int16_t{0});
        got = FeedSize;
    }
    ShortsToFloats(InFloats.data(), InShorts.data(), got * ChannelCount);
    Touch->putSamples(InFloats.data(), static_cast<unsigned>(got));
    return got;
}

int TempoStream::ReadChunk(float* Out, int Frames) {
    // Twice the input these frames should take plus the pipeline's latency: a setting under which
    // SoundTouch emits (almost) nothing ends the read short instead of feeding for ever.
    const double budget = 2.0 * Frames * Speed() + Latency + 4.0 * FeedSize;
    double fed = 0.0;
    while (static_cast<int>(Touch->numSamples()) < Frames && fed < budget) {
        const int got = Feed();
        if (got == 0) break;
        fed += got;
    }
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
        const int want = std::min(Frames - done, ReadPiece);
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
        const int want = std::min(Frames - done, ReadPiece);
        const int got = ReadChunk(Out + static_cast<size_t>(done) * ChannelCount, want);
        done += got;
        if (got == 0) break;
    }
    if (done == 0 && SourceEnded && !Pad) return -1;
    return done;
}

bool TempoStream::IsPreparedFor(float ForSpeed, float ForPitch) const {
    return SizedHigh > 0.0f && ForPitch == AppliedPitch && ForSpeed >= SizedLow && ForSpeed <= SizedHigh;
}

void TempoStream::Prepare(float NewSpeed, float NewPitch) {
    NewSpeed = PlayableSpeed(NewSpeed);
    NewPitch = PlayablePitch(NewPitch);
    Set(100.0f * (NewSpeed - 1.0f), NewPitch);
    if (!IsPreparedFor(NewSpeed, NewPitch)) {
        SizeBuffersFor(NewSpeed);
        SizedLow = SizedHigh > 0.0f ? std::min(SizedLow, NewSpeed) : NewSpeed;
        SizedHigh = std::max(SizedHigh, NewSpeed);
    }
    Restart();
}

void TempoStream::SizeBuffersFor(float ForSpeed) {
    // SoundTouch's FIFOs only ever grow. A read feeds FeedSize frames at a time until it holds its
    // at most ReadPiece frames, so the input side never holds more than the pipeline's latency and
    // a feed, the output side never more than a read, a feed's output and one sequence. Running
    // the pipeline once past those levels with feeds twice as large, off the audio thread, sizes
    // every FIFO for good. Quick seek makes the pass cheap without changing the window lengths.
    const int feed = 2 * FeedSize;
    const int outSequence = std::max(Touch->getSetting(SETTING_NOMINAL_OUTPUT_SEQUENCE), 0);
    const double wantIn = Latency + 2.0 * feed;
    const double wantOut = 1.5 * (ReadPiece + outSequence + feed / ForSpeed);
    std::vector<float> silence(static_cast<size_t>(feed) * ChannelCount, 0.0f);
    Touch->setSetting(SETTING_USE_QUICKSEEK, 1);
    Touch->clear();
    const double limit = 4.0 * (wantIn + wantOut * ForSpeed); // a pipeline that never fills
    for (double fed = 0.0; (fed < wantIn || Touch->numSamples() < wantOut) && fed < limit; fed += feed)
        Touch->putSamples(silence.data(), static_cast<unsigned>(feed));
    Touch->clear();
    Touch->setSetting(SETTING_USE_QUICKSEEK, 0);
}

} // namespace brindle::soundlib
