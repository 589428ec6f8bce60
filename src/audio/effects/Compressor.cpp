#include "audio/effects/Compressor.h"

#include <utility>

using brindle::dsp::TEnvelopeCompressor;

void TCompressor::AddFX() {
    auto carried = std::exchange(Carried, nullptr);
    if (carried && carried->GetSampleRate() == GetSampleRate() && carried->GetChannels() == GetChannels())
        Effect = static_cast<TEnvelopeCompressor*>(FXStream->Add(std::move(carried), 1));
    else
        Effect = static_cast<TEnvelopeCompressor*>(
            FXStream->Add(std::make_unique<TEnvelopeCompressor>(GetSampleRate(), GetChannels()), 1));
    // The compressor shares the reverb's wording for this failure.
    if (!Effect) throw brindle::dsp::StreamFailure("can't apply Reverb Effect ot ReadStream");
    Params = Effect->GetParameters();
}

void TCompressor::ApplyParams() {
    if (!FXStream || !Effect) return;
    Effect->SetParameters(Params);
}

float TCompressor::GetEnvelope() const {
    if (!FXStream || !Effect) return 0.0f;
    return Effect->GetEnvelope();
}

void TCompressor::KeepStateOf(const TCompressor& Old) {
    Carried = Old.FXStream && Old.Effect ? Old.FXStream->Share(Old.Effect) : nullptr;
}
