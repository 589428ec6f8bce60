#pragma once
// Master compressor node. The owner writes Params (threshold, attack and release) and then calls
// ApplyParams.
#include "audio/effects/CustomDSP.h"
#include "audio/soundlib/dsp/EnvelopeCompressor.h"

class TCompressor : public TCustomDSP {
public:
    void ApplyParams() override;
    void AddFX() override;

    // Threshold (linear, full scale 1.0), Attack and Release (ms), Channel (-1 = all).
    brindle::dsp::TCompressorParams Params;
    // The effect's current envelope (0 without an effect stream).
    float GetEnvelope() const;
    // The next SetInput carries on Old's envelope instead of starting from rest, when the format
    // matches. Old must not be pulled at the same time as this node.
    void KeepStateOf(const TCompressor& Old);

private:
    brindle::dsp::TEnvelopeCompressor* Effect = nullptr; // owned by FXStream
    std::shared_ptr<brindle::dsp::TEffect> Carried;
};
