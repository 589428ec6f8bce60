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
// Fixed processing windows. Each sequence is copied at the original speed, so an event sounds up to
// about half a hop (sequence less overlap) from where the mean offset below puts it, and the seek
// adds its own scatter: 14 ms sequences with a 5 ms seek and a long 7 ms overlap keep hits within
// about +-2 ms (SoundTouch's automatic windows, up to 125 ms, scatter them over 40 ms; 25 ms ones
// over 9 ms). Sustained tones lose a few dB against 25 ms windows; a longer seek would keep more of
// them but scatters hits and, on a pure tone, settles on splices that detune it slightly.
constexpr int SequenceMs = 14;
constexpr int SeekWindowMs = 5;
constexpr int OverlapMs = 7;
constexpr int FadeMs = 3;

int WindowFrames(int SampleRate) {
    return SampleRate * SequenceMs / 1000;
}

// Output frames by which a point of the source sounds late (negative: early) in SoundTouch's output
// at these windows, fitted to kick onsets at many positions over tempos 0.25-3 and shifts of +-12
// semitones. The time stretcher plays the start of each sequence at its nominal place and the rest
// at the original speed: slowed down, an event first sounds in a sequence before its own, about
// 14 ms early per doubling of the length; sped up, it falls behind as the stretcher skips. Shifting
// up stretches first and resamples after (scaling the offset); shifting down resamples first.
double PlacementOffset(double Speed, double Semitones, int SampleRate) {
    const double rate = std::exp2(Semitones / 12.0);
    const double stretch = Speed / rate;
    const double slower = std::max(1.0 / stretch - 1.0, 0.0);
    const double faster = std::max(1.0 - 1.0 / stretch, 0.0);
    const double down = std::max(1.0 - rate, 0.0);
    const double ms = -2.42 - 13.20 * slower - 0.416 * slower * slower + 3.609 * faster +
                      3.268 * std::sqrt(faster) + 0.888 * down;
    return ms * SampleRate / 1000.0 / std::max(rate, 1.0);
}
} // namespace

std::int64_t ProcessedFrames(std::int64_t Frames, float Speed) {
    // Aligned output holds the whole source by then; the fade takes what rings on.
    return std::llround(static_cast<double>(Frames) / PlayableSpeed(Speed));
}

int NoteFadeFrames(int SampleRate) {
    return std::max(1, SampleRate * FadeMs / 1000);
}

void FadeNoteEnd(float* Buf, int Frames, int Channels, std::int64_t First, std::int64_t End, int FadeFrames) {
    const std::int64_t fadeFrom = End - 1 - FadeFrames;
    for (int i = 0; i < Frames; ++i) {
        const std::int64_t at = First + i;
        if (at <= fadeFrom) continue;
        const float gain =
            at >= End ? 0.0f : static_cast<float>(End - 1 - at) / static_cast<float>(FadeFrames);
        for (int c = 0; c < Channels; ++c)
            Buf[static_cast<size_t>(i) * Channels + c] *= gain;
    }
}

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
    Touch->setSetting(SETTING_SEQUENCE_MS, SequenceMs);
    Touch->setSetting(SETTING_SEEKWINDOW_MS, SeekWindowMs);
    Touch->setSetting(SETTING_OVERLAP_MS, OverlapMs);
    // The coarse-then-fine seek picks the same splices on tones and drums at a fraction of the cost.
    Touch->setSetting(SETTING_USE_QUICKSEEK, 1);
    Window = WindowFrames(Rate);
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
    Aligned = false;
    PrimeLeft = 0;
    DropLeft = 0;
    SourceRead = 0;
    Delivered = 0;
    EndAt = -1;
}

void TempoStream::Align() {
    // Silence before the source (at least a window, and enough to cover the stretcher's lead) lets
    // its start play like any later point; dropping that silence's share of the output, corrected
    // by where the stretcher places events, puts every point of the source at its time / speed.
    Aligned = true;
    const double speed = Speed();
    const double offset = PlacementOffset(speed, AppliedPitch, Rate);
    PrimeLeft = static_cast<int>(std::ceil(std::max(1.5 * Window, Window / 2.0 - offset * speed)));
    DropLeft = std::max<std::int64_t>(std::llround(PrimeLeft / speed + offset), 0);
}

int TempoStream::Feed() {
    int got = 0;
    bool silent = true;
    if (PrimeLeft > 0) {
        got = std::min(PrimeLeft, FeedSize);
        PrimeLeft -= got;
    } else if (!SourceEnded) {
        got = std::max(Src.Read(InShorts.data(), FeedSize), 0);
        SourceRead += got;
        silent = got == 0;
        if (got == 0) {
            SourceEnded = true;
            if (!Pad) EndAt = ProcessedFrames(SourceRead, Speed());
        }
    }
    if (got == 0) got = FeedSize; // after the source: silence, which carries the pipeline's tail out
    if (silent)
        std::fill_n(InFloats.begin(), static_cast<size_t>(got) * ChannelCount, 0.0f);
    else
        ShortsToFloats(InFloats.data(), InShorts.data(), got * ChannelCount);
    Touch->putSamples(InFloats.data(), static_cast<unsigned>(got));
    return got;
}

void TempoStream::FillOutput(int Frames) {
    // Twice the input these frames should take plus the pipeline's latency: a setting under which
    // SoundTouch emits (almost) nothing ends the read short instead of feeding for ever.
    const double budget = 2.0 * Frames * Speed() + Latency + 4.0 * FeedSize + PrimeLeft;
    for (double fed = 0.0; static_cast<int>(Touch->numSamples()) < Frames && fed < budget;)
        fed += Feed();
}

int TempoStream::ReadChunk(float* Out, int Frames) {
    if (!Aligned) Align();
    while (DropLeft > 0) {
        const int piece = static_cast<int>(std::min<std::int64_t>(DropLeft, ReadPiece));
        FillOutput(piece);
        const int dropped = static_cast<int>(Touch->receiveSamples(static_cast<unsigned>(piece)));
        if (dropped == 0) return 0;
        DropLeft -= dropped;
    }
    FillOutput(Frames);
    if (EndAt >= 0) Frames = static_cast<int>(std::clamp<std::int64_t>(EndAt - Delivered, 0, Frames));
    const int got = static_cast<int>(Touch->receiveSamples(Out, static_cast<unsigned>(Frames)));
    if (EndAt >= 0) FadeNoteEnd(Out, got, ChannelCount, Delivered, EndAt, NoteFadeFrames(Rate));
    Delivered += got;
    return got;
}

bool TempoStream::Ended() const {
    return EndAt >= 0 && Delivered >= EndAt;
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
    if (done == 0 && Ended()) return -1;
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
    if (done == 0 && Ended()) return -1;
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

void TempoStream::Reserve() {
    Prepare(0.5f, 12.0f);
    Set(0.0f, 0.0f);
    Restart();
}

void TempoStream::SizeBuffersFor(float ForSpeed) {
    // SoundTouch's FIFOs only ever grow. A read feeds FeedSize frames at a time until it holds its
    // at most ReadPiece frames, so the input side never holds more than the pipeline's latency and
    // a feed, the output side never more than a read, a feed's output and one sequence. Running
    // the pipeline once past those levels with feeds twice as large, off the audio thread, sizes
    // every FIFO for good.
    const int feed = 2 * FeedSize;
    const int outSequence = std::max(Touch->getSetting(SETTING_NOMINAL_OUTPUT_SEQUENCE), 0);
    const double wantIn = Latency + 2.0 * feed;
    const double wantOut = 1.5 * (ReadPiece + outSequence + feed / ForSpeed);
    std::vector<float> silence(static_cast<size_t>(feed) * ChannelCount, 0.0f);
    Touch->clear();
    const double limit = 4.0 * (wantIn + wantOut * ForSpeed); // a pipeline that never fills
    for (double fed = 0.0; (fed < wantIn || Touch->numSamples() < wantOut) && fed < limit; fed += feed)
        Touch->putSamples(silence.data(), static_cast<unsigned>(feed));
    Touch->clear();
}

} // namespace brindle::soundlib
