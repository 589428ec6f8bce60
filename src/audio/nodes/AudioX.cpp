#include "audio/nodes/AudioX.h"

#include "audio/soundlib/dsp/PcmConvert.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

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

int TAudioX::PopFloats(float* Buf, int Frames) {
    const int ChannelCount = std::max(GetChannels(), 1);
    // Pieces through a buffer on the stack: this may run on the audio thread.
    std::array<std::int16_t, 4096> Pcm;
    const int Piece = std::max(1, static_cast<int>(Pcm.size()) / ChannelCount);
    int Done = 0;
    while (Done < Frames) {
        const int Want = std::min(Piece, Frames - Done);
        const int Got = PopData(Pcm.data(), Want * ChannelCount * 2) / (ChannelCount * 2);
        if (Got <= 0) break;
        brindle::dsp::PcmToFloats(Buf + static_cast<std::size_t>(Done) * ChannelCount, Pcm.data(),
                                  Got * ChannelCount);
        Done += std::min(Got, Want);
        if (Got < Want) break;
    }
    return Done;
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
