#include "audio/mixer/MixVoice.h"

#include "audio/mixer/MixKernels.h"
#include "audio/mixer/TempoRender.h"

#include <algorithm>
#include <cmath>

using brindle::soundlib::PullStream;

TMixVoice::TMixVoice(int SampleRate, int Channels)
    : Rate(SampleRate), ChannelCount(Channels), FadeFrames(brindle::soundlib::NoteFadeFrames(SampleRate)) {}

void TMixVoice::Start(std::shared_ptr<const brindle::SampleData> Sample, float NewSpeed, float Volume,
                      float NewPitch, std::int64_t DelayFrames, int NewTag, std::uint64_t NewSerial,
                      brindle::soundlib::TempoStream* Engine, int EngineSlot) {
    Data = std::move(Sample);
    Speed = brindle::soundlib::PlayableSpeed(NewSpeed);
    Pitch = brindle::soundlib::PlayablePitch(NewPitch);
    Neutral = IsNeutral(Speed, Pitch);
    Tempo = Neutral ? nullptr : Engine;
    TempoSlot = Tempo ? EngineSlot : -1;
    Gain = Volume;
    Cursor = 0;
    Delay = std::max<std::int64_t>(DelayFrames, 0);
    Played = 0;
    const std::int64_t frames = Data ? Data->Frames() : 0;
    Duration = brindle::soundlib::ProcessedFrames(frames, Speed);
    CutDelay = -1;
    Fading = false;
    FadeDone = 0;
    Started = false;
    Over = false;
    Tag = NewTag;
    Serial = NewSerial;
    if (Tempo) StartTempo();
}

void TMixVoice::StartTempo() {
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

void TMixVoice::Attach(brindle::soundlib::TempoStream* Engine, int EngineSlot) {
    Tempo = Engine;
    TempoSlot = EngineSlot;
    // The source frame that output frame Played comes from at this speed.
    const std::int64_t frames = Data ? Data->Frames() : 0;
    Cursor = std::clamp<std::int64_t>(std::llround(static_cast<double>(Played) * Speed), 0, frames);
    StartTempo();
}

int TMixVoice::Release() {
    Data.reset();
    const int slot = TempoSlot;
    Tempo = nullptr;
    TempoSlot = -1;
    return slot;
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

void TMixVoice::Render(float* Dest, int Frames) {
    int got = 0;
    if (Neutral) {
        const std::int64_t left = std::max<std::int64_t>(Data->Frames() - Cursor, 0);
        got = static_cast<int>(std::min<std::int64_t>(left, Frames));
        brindle::soundlib::ShortsToFloats(Dest, Data->Pcm.data() + Cursor * ChannelCount, got * ChannelCount);
        Cursor += got;
    } else if (Tempo) {
        got = std::max(Tempo->ReadFloats(Dest, Frames), 0);
    }
    std::fill(Dest + static_cast<size_t>(got) * ChannelCount,
              Dest + static_cast<size_t>(Frames) * ChannelCount, 0.0f);
}

void TMixVoice::MixInto(float* Bus, float* Scratch, int BlockFrames) {
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
    const std::int64_t first = Played;
    Delay = 0;
    Started = true;
    Played += frames;
    if (Played >= Duration) Over = true;

    const bool fadeNow = Fading || (CutDelay >= 0 && CutDelay < BlockFrames);
    if (!fadeNow && CutDelay >= 0) CutDelay -= BlockFrames;
    float* dest = Bus + static_cast<size_t>(start) * ChannelCount;
    if (Neutral && !fadeNow) {
        // The common case: scale and mix straight from the cached sample, no scratch pass.
        const std::int64_t left = std::max<std::int64_t>(Data->Frames() - Cursor, 0);
        const int take = static_cast<int>(std::min<std::int64_t>(left, frames));
        brindle::soundlib::AccumulateShorts(dest, Data->Pcm.data() + Cursor * ChannelCount,
                                            take * ChannelCount, Gain);
        Cursor += take;
        return;
    }
    Render(Scratch, frames);
    // A processed note ends with a fade when its data runs out (a prepared variant has it already).
    if (!Neutral) brindle::soundlib::FadeNoteEnd(Scratch, frames, ChannelCount, first, Duration, FadeFrames);
    if (fadeNow) {
        // From the cut frame (relative to the rendered part) for FadeFrames frames, then silence.
        int fadeFrom = 0;
        if (!Fading) {
            fadeFrom = static_cast<int>(std::max<std::int64_t>(CutDelay - start, 0));
            Fading = true;
            FadeDone = 0;
            CutDelay = -1;
        }
        const float step = 1.0f / static_cast<float>(FadeFrames);
        const int span = std::min(frames - fadeFrom, FadeFrames - FadeDone);
        brindle::soundlib::RampFloats(Scratch + static_cast<size_t>(fadeFrom) * ChannelCount, span,
                                      ChannelCount, 1.0f - step * static_cast<float>(FadeDone + 1), step);
        FadeDone += span;
        if (FadeDone >= FadeFrames) {
            std::fill(Scratch + static_cast<size_t>(fadeFrom + span) * ChannelCount,
                      Scratch + static_cast<size_t>(frames) * ChannelCount, 0.0f);
            Over = true;
        }
    }
    brindle::soundlib::AccumulateFloats(dest, Scratch, frames * ChannelCount, Gain);
}
