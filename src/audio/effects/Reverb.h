#pragma once
// Master reverb node. The owner writes Params and then calls ApplyParams.
#include "audio/nodes/AudioX.h"
#include "audio/soundlib/dsp/CombReverb.h"
#include "audio/soundlib/dsp/Stream.h"

#include <memory>

class TReverb : public TAudioX {
public:
    TReverb();

    // Over a float source the effect runs on unsaturated sound (see TAudioX::GivesFloats).
    int PopData(void* Buf, int BufLen) override;
    bool GivesFloats() const override;
    int PopFloats(float* Buf, int Frames) override;
    void SetInput(TAudioX* Node) override;
    void SetActive(bool Value) override;
    // Parameters reach the effect without waiting for the pulling thread.
    void ApplyParams();
    // The next SetInput carries on Old's reverb (its tail keeps ringing) instead of starting
    // silent, when the format matches. Old must not be pulled at the same time as this node.
    void KeepStateOf(const TReverb& Old);

    // Level (wet gain, 0..1) and Delay (decay time, ms).
    brindle::dsp::TReverbParams Params;
    bool GetEffectAdded() const { return Effect != nullptr; }

private:
    std::unique_ptr<brindle::dsp::TStream> ReadStream;
    brindle::dsp::TCombReverb* Effect = nullptr; // owned by ReadStream
    std::shared_ptr<brindle::dsp::TEffect> Carried;
};
