#include "audio/MixVoice.h"

#include "audio/soundlib/MixKernels.h"

#include <algorithm>
#include <cmath>

using brindle::soundlib::PullStream;

TMixVoice::TMixVoice(int SampleRate, int Channels)
    : Rate(SampleRate), ChannelCount(Channels), FadeFrames(std::max(1, SampleRate * 3 / 1000)) {}

void TMixVoice::Start(std::shared_ptr<const brindle::SampleData> Sample, float Speed, float Volume, float Pitch,
                      std::int64_t DelayFrames, int NewTag, std::uint64_t NewSerial,
                      brindle::soundlib::TempoStream* Engine) {
    Data = std::move(Sample);
    if (Speed <= 0.0f) Speed = 1.0f;
    Tempo = Engine;
    Neutral = IsNeutral(Speed, Pitch) || !Tempo;
    Gain = Volume;
    Cursor = 0;
    Delay = std::max<std::int64_t>(DelayFrames, 0);
    Played = 0;
    const std::int64_t frames = Data ? Data->Frames() : 0;
    Duration = Neutral ? frames : std::llround(static_cast<double>(frames) / Speed);
    CutDelay = -1;
    Fading = false;
    FadeDone = 0;
    Started = false;
    Over = false;
    Tag = NewTag;
    Serial = NewSerial;
    if (!Neutral) {
        PullStream src;
        src.Fill = &TMixVoice::PullSample;
        src.User = this;
        src.SampleRate = Rate;
        src.Channels = ChannelCount;
        Tempo->SetSource(src);
        Tempo->SetPadWithSilence(true);
        Tempo->Set(100.0f * (Speed - 1.0f), Pitch);
        Tempo->Restart();
    }
}

brindle::soundlib::TempoStream* TMixVoice::Release() {
    Data.reset();
    auto* engine = Tempo;
    Tempo = nullptr;
    return engine;
}

void TMixVoice::CutAt(std::int64_t CutFrames) {
    if (Fading) return;
    CutFrames = std::max<std::int64_t>(CutFrames, 0);
    if (CutDelay < 0 || CutFrames < CutDelay) CutDelay = CutFrames;
}

int TMixVoice::PullSample(void* User, std::int16_t* Buf, int Frames) {
    auto* self = static_cast<TMixVoice*>(User);
    const std::int64_t left = self->Data->Frames() - self->Cursor;
    if (left <= 0) return 0;
    const int take = static_cast<int>(std::min<std::int64_t>(left, Frames));
    const std::int16_t* src = self->Data->Pcm.data() + self->Cursor * self->ChannelCount;
    std::copy(src, src + static_cast<size_t>(take) * self->ChannelCount, Buf);
    self->Cursor += take;
    return take;
}

void TMixVoice::Render(std::int16_t* Dest, int Frames) {
    if (Neutral) {
        const std::int64_t left = std::max<std::int64_t>(Data->Frames() - Cursor, 0);
        const int take = static_cast<int>(std::min<std::int64_t>(left, Frames));
        brindle::soundlib::GainShorts(Dest, Data->Pcm.data() + Cursor * ChannelCount, take * ChannelCount, Gain);
        std::fill(Dest + static_cast<size_t>(take) * ChannelCount, Dest + static_cast<size_t>(Frames) * ChannelCount,
                  std::int16_t{0});
        Cursor += take;
        return;
    }
    const int got = std::max(Tempo->Read(Dest, Frames), 0);
    std::fill(Dest + static_cast<size_t>(got) * ChannelCount, Dest + static_cast<size_t>(Frames) * ChannelCount,
              std::int16_t{0});
    brindle::soundlib::GainShorts(Dest, Dest, got * ChannelCount, Gain);
}

void TMixVoice::MixInto(std::int16_t* Out, std::int16_t* Scratch, int BlockFrames) {
    if (Over || !Data) {
        Over = true;
        return;
    }
    // A cut that falls before the note ever sounded removes it silently.
    if (!Started && CutDelay >= 0 && CutDelay <= Delay) {
        Over = true;
        return;
    }
    if (Delay >= BlockFrames) {
        Delay -= BlockFrames;
        if (CutDelay >= 0) CutDelay -= BlockFrames;
        return;
    }
    const int start = static_cast<int>(Delay);
    const int frames = BlockFrames - start;
    Delay = 0;
    Started = true;
    Render(Scratch, frames);

    // Fade: from the cut frame (relative to this block) for FadeFrames frames, then silence.
    int fadeFrom = -1; // frame within the rendered part
    if (Fading) fadeFrom = 0;
    else if (CutDelay >= 0 && CutDelay < BlockFrames) {
        fadeFrom = static_cast<int>(std::max<std::int64_t>(CutDelay - start, 0));
        Fading = true;
        FadeDone = 0;
        CutDelay = -1;
    } else if (CutDelay >= 0) {
        CutDelay -= BlockFrames;
    }
    if (fadeFrom >= 0) {
        const float step = 1.0f / static_cast<float>(FadeFrames);
        const int span = std::min(frames - fadeFrom, FadeFrames - FadeDone);
        brindle::soundlib::RampShorts(Scratch + static_cast<size_t>(fadeFrom) * ChannelCount, span, ChannelCount,
                                      1.0f - step * static_cast<float>(FadeDone + 1), step);
        FadeDone += span;
        if (FadeDone >= FadeFrames) {
            const int silentFrom = fadeFrom + span;
            std::fill(Scratch + static_cast<size_t>(silentFrom) * ChannelCount,
                      Scratch + static_cast<size_t>(frames) * ChannelCount, std::int16_t{0});
            Over = true;
        }
    }

    brindle::soundlib::AddShorts(Out + static_cast<size_t>(start) * ChannelCount, Scratch, frames * ChannelCount);
    Played += frames;
    if (Played >= Duration) Over = true;
}
