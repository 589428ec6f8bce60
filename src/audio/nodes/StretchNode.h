#pragma once
// Changes the tempo of its input without changing its pitch, shifts its pitch without changing its
// tempo, and scales its volume (SoundTouch through our sound library layer). At speed 1 and no
// transposition the input passes untouched, only scaled by the volume.
#include "audio/nodes/AudioX.h"
#include "audio/soundlib/PullStream.h"
#include "audio/soundlib/TempoStream.h"
#include "audio/soundlib/VolumeEffect.h"

#include <memory>

class TStretchNode : public TAudioX {
  public:
    TStretchNode();
    ~TStretchNode() override;

    // Tempo factor: 2 plays twice as fast. Applied at once while active, stored otherwise.
    void SetSpeed(float Value);
    float GetSpeed() const { return Speed; }
    void SetSemitones(float Value);
    float GetSemitones() const { return Semitones; }
    void SetVolume(float Value);
    float GetVolume() const { return Volume.GetVolume(); }
    // 1 / Speed (0 when Speed is 0); assigning 0 sets Speed to 1.
    void SetStretch(float Value);
    float GetStretch() const;

    // Builds the streams (fresh, from the input's current position) and applies speed, semitones
    // and volume; false frees them.
    void SetActive(bool Value) override;
    void SetInput(TAudioX* Node) override;
    // Bytes delivered, or -1 when inactive or once the input has ended and the tail is out.
    int PopData(void* Buf, int BufLen) override;

  private:
    static int Pull(void* User, std::int16_t* Buf, int Frames);
    void ApplySpeed();
    void ApplySemitones();

    float Speed = 1.0f;
    float Semitones = 0.0f;
    brindle::soundlib::VolumeEffect Volume;
    std::unique_ptr<brindle::soundlib::TempoStream> Stream;
};
