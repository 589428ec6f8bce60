#include "audio/effects/CustomDSP.h"

#include "audio/effects/EffectInput.h"
#include "base/Error.h"

#include <cstring>

TCustomDSP::TCustomDSP() {
    SetFormat(44100, 2);
}

void TCustomDSP::SetInput(TAudioX* Node) {
    Input = Node;
    if (!Node) {
        FXStream.reset();
        return;
    }
    GetFormat(Node);
    InitFXChannel();
}

void TCustomDSP::InitFXChannel() {
    FXStream.reset();
    FXStream = brindle::dsp::TStream::Create(GetSampleRate(), GetChannels(), [this](void* Buf, int Len) {
        if (Input) return Input->PopData(Buf, Len);
        if (OnQueryData) {
            OnQueryData(this, Buf, Len);
            return Len;
        }
        std::memset(Buf, 0, static_cast<size_t>(Len));
        return 0;
    });
    if (!FXStream) throw brindle::dsp::StreamFailure("can't create FXStream (CustomDSP)");
    FXStream->SetFloatPull(
        [this](float* Buf, int Frames) { return Input ? Input->PopFloats(Buf, Frames) : 0; });
    AddFX();
}

void TCustomDSP::SetActive(bool Value) {
    Active = Value;
    if (Active) ApplyParams();
}

int TCustomDSP::PopData(void* Buf, int BufLen) {
    if (!FXStream) throw brindle::Error("CustomDSP - FXStream not defined");
    return brindle::PopStreamData(*FXStream, *this, Buf, BufLen);
}

bool TCustomDSP::GivesFloats() const {
    return brindle::StreamGivesFloats(FXStream.get(), *this);
}

int TCustomDSP::PopFloats(float* Buf, int Frames) {
    return brindle::PopStreamFloats(FXStream.get(), *this, Buf, Frames);
}
