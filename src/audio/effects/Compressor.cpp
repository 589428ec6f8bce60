#include "audio/effects/Compressor.h"

using brindle::dsp::TEnvelopeCompressor;

void TCompressor::AddFX() {
    Effect = static_cast<TEnvelopeCompressor*>(
        FXStream->Add(std::make_unique<TEnvelopeCompressor>(GetSampleRate(), GetChannels()), 1));
    // The compressor shares the reverb's wording for this failure.
    if (!Effect) throw brindle::dsp::StreamFailure("can't apply Reverb Effect ot ReadStream");
    Params = Effect->GetParameters();
}

void TCompressor::ApplyParams() {
    if (!FXStream || !Effect) return;
    std::lock_guard<std::mutex> Guard(FXStream->Lock());
    Effect->SetParameters(Params);
}

float TCompressor::GetEnvelope() const {
    if (!FXStream || !Effect) return 0.0f;
    std::lock_guard<std::mutex> Guard(FXStream->Lock());
    return Effect->GetEnvelope();
}
