#pragma once
// One sounding note of the live mixer: cached sample data read at a frame cursor, optionally through
// its own tempo/pitch stream, with a gain, a start delay and an optional cut with a short fade.
// Voices are pooled by the mixer: Start reuses everything and allocates nothing. A stretched or
// transposed voice borrows a tempo stream from the mixer's pool for its lifetime; one started
// without a stream waits, silent but keeping time, until the mixer attaches one.
#include "audio/mixer/SampleCache.h"
#include "audio/soundlib/TempoStream.h"

#include <cstdint>
#include <memory>

class TMixVoice {
  public:
    TMixVoice(int SampleRate, int Channels);

    static bool IsNeutral(float Speed, float Pitch) { return Speed == 1.0f && Pitch == 0.0f; }
    // Speed and Pitch are brought into the playable range. Engine (with its pool slot) is only used
    // when the note is stretched or transposed; without one the voice waits for Attach.
    void Start(std::shared_ptr<const brindle::SampleData> Data, float Speed, float Volume, float Pitch,
               std::int64_t DelayFrames, int Tag, std::uint64_t Serial,
               brindle::soundlib::TempoStream* Engine, int EngineSlot);
    // Gives a waiting voice its stream. The stream starts where the note would be had it had one
    // from the start, so the note keeps its place in time.
    void Attach(brindle::soundlib::TempoStream* Engine, int EngineSlot);
    bool IsWaiting() const { return Data && !Neutral && !Tempo; }
    // Lets go of the sample and returns the borrowed engine's slot (-1 if none).
    int Release();

    float GetSpeed() const { return Speed; }
    float GetPitch() const { return Pitch; }

    // Cut CutFrames after the start of the next block mixed, then fade out over FadeFrames.
    void CutAt(std::int64_t CutFrames);
    bool IsCut() const { return CutDelay >= 0 || Fading; }

    // Adds this voice's part of a block of BlockFrames to the float mixing bus, using Scratch
    // (BlockFrames frames). Sets Over when the voice has played its duration or its fade ended.
    void MixInto(float* Bus, float* Scratch, int BlockFrames);

    // The speed and pitch the note asked for (a prepared variant plays them at 1 and 0).
    void SetRequested(float Speed, float Pitch) {
        RequestedSpeed = Speed;
        RequestedPitch = Pitch;
    }
    float GetRequestedSpeed() const { return RequestedSpeed; }
    float GetRequestedPitch() const { return RequestedPitch; }
    const std::shared_ptr<const brindle::SampleData>& GetData() const { return Data; }
    int GetTag() const { return Tag; }
    bool GetOver() const { return Over; }
    std::uint64_t GetSerial() const { return Serial; }
    std::int64_t GetPlayedFrames() const { return Played; }
    std::int64_t GetDurationFrames() const { return Duration; }
    std::int64_t GetDelayFrames() const { return Delay; }

  private:
    static int PullSample(void* User, std::int16_t* Buf, int Frames);
    void StartTempo();
    // Writes Frames frames of source (before gain) into Dest, silence after the sample's end.
    void Render(float* Dest, int Frames);

    int Rate;
    int ChannelCount;
    int FadeFrames;
    std::shared_ptr<const brindle::SampleData> Data;
    brindle::soundlib::TempoStream* Tempo = nullptr;
    int TempoSlot = -1;
    float Speed = 1.0f;
    float Pitch = 0.0f;
    bool Neutral = true;
    float Gain = 1.0f;
    std::int64_t Cursor = 0;   // next source frame
    std::int64_t Delay = 0;    // frames of silence still to come before the start
    std::int64_t Played = 0;   // frames of output delivered
    std::int64_t Duration = 0; // output frames the note lasts
    std::int64_t CutDelay = -1;
    bool Fading = false;
    int FadeDone = 0;
    bool Started = false;
    bool Over = false;
    int Tag = 0;
    std::uint64_t Serial = 0;
    float RequestedSpeed = 1.0f;
    float RequestedPitch = 0.0f;
};
