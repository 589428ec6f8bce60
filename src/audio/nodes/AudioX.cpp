#include "audio/nodes/AudioX.h"

TAudioX::~TAudioX() {
    if (OwnsInput && Input) {
        delete Input;
        Input = nullptr;
    }
}

int TAudioX::PopData(void* Buf, int BufLen) {
    if (Input) Input->PopData(Buf, BufLen);
    if (OnQueryData) OnQueryData(this, Buf, BufLen);
    return BufLen;
}

void TAudioX::SetInput(TAudioX* Node) {
    Input = Node;
    if (Node) {
        SetSampleRate(Node->GetSampleRate());
        SetChannels(Node->GetChannels());
    }
}

void TAudioX::SetFormat(int Rate, int ChannelCount) {
    SetSampleRate(Rate);
    SetChannels(ChannelCount);
}

void TAudioX::GetFormat(const TAudioX* Other) { SetFormat(Other->GetSampleRate(), Other->GetChannels()); }

TAudioX* TAudioX::Plug(TAudioX* Node) {
    Node->SetInput(this);
    Node->SetActive(true);
    Node->GetFormat(this);
    return Node;
}

int TAudioX::GetBytesPerSec() const {
    if (BitsPerSample == 0) return 0;
    return GetSampleRate() * GetChannels() * (BitsPerSample / 8);
}
