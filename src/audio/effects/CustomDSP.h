#pragma once
// Base of effect nodes that put their own effect on a pull stream over the input.
// Subclasses add the effect in AddFX and hand their parameters to it in ApplyParams.
#include "audio/nodes/AudioX.h"
#include "audio/soundlib/dsp/Stream.h"

#include <memory>

class TCustomDSP : public TAudioX {
public:
    TCustomDSP();

    // Over a float source the effect runs on unsaturated sound (see TAudioX::GivesFloats).
    int PopData(void* Buf, int BufLen) override;
    bool GivesFloats() const override;
    int PopFloats(float* Buf, int Frames) override;
    void SetInput(TAudioX* Node) override;
    void SetActive(bool Value) override;
    virtual void ApplyParams() {}
    virtual void AddFX() {}

    // Rebuilds the effect stream at the node's format and adds the effect again.
    void InitFXChannel();
    bool HasFXStream() const { return FXStream != nullptr; }

protected:
    std::unique_ptr<brindle::dsp::TStream> FXStream;
};
