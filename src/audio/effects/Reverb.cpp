#include "audio/effects/Reverb.h"

#include "audio/effects/EffectInput.h"
#include "base/Error.h"

#include <utility>

using brindle::dsp::TCombReverb;
using brindle::dsp::TStream;

TReverb::TReverb() {
    SetFormat(44100, 2);
}

void TReverb::SetInput(TAudioX* Node) {
    Effect = nullptr;
    ReadStream.reset();
    Input = Node;
    if (!Node) return;
    GetFormat(Node);
    ReadStream = brindle::MakeEffectInputStream(*this);
    auto carried = std::exchange(Carried, nullptr);
    if (carried && carried->GetSampleRate() == GetSampleRate() && carried->GetChannels() == GetChannels())
        Effect = static_cast<TCombReverb*>(ReadStream->Add(std::move(carried), 1));
    else
        Effect = static_cast<TCombReverb*>(
            ReadStream->Add(std::make_unique<TCombReverb>(GetSampleRate(), GetChannels()), 1));
    if (!Effect) throw brindle::dsp::StreamFailure("can't apply Reverb Effect ot ReadStream");
    // The record starts from the effect's own defaults.
    Params = Effect->GetParameters();
}

void TReverb::SetActive(bool Value) {
    Active = Value;
    if (Active) ApplyParams();
}

void TReverb::ApplyParams() {
    if (!ReadStream || !Effect) return;
    Effect->SetParameters(Params);
}

void TReverb::KeepStateOf(const TReverb& Old) {
    Carried = Old.ReadStream && Old.Effect ? Old.ReadStream->Share(Old.Effect) : nullptr;
}

int TReverb::PopData(void* Buf, int BufLen) {
    if (!ReadStream) throw brindle::Error("TEqualizer - ReadStream not defined");
    return brindle::PopStreamData(*ReadStream, *this, Buf, BufLen);
}

bool TReverb::GivesFloats() const {
    return brindle::StreamGivesFloats(ReadStream.get(), *this);
}

int TReverb::PopFloats(float* Buf, int Frames) {
    return brindle::PopStreamFloats(ReadStream.get(), *this, Buf, Frames);
}
