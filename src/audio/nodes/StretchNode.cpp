#include "audio/nodes/StretchNode.h"

#include <algorithm>

TStretchNode::TStretchNode() {
    SetFormat(44100, 2);
}

TStretchNode::~TStretchNode() {
    SetActive(false);
}

void TStretchNode::SetSpeed(float Value) {
    Speed = Value;
    if (Stream) ApplySpeed();
}

void TStretchNode::SetSemitones(float Value) {
    Semitones = Value;
    if (Stream) ApplySemitones();
}

void TStretchNode::SetVolume(float Value) {
    Volume.SetVolume(Value);
}

void TStretchNode::SetStretch(float Value) {
    SetSpeed(Value == 0.0f ? 1.0f : 1.0f / Value);
}

float TStretchNode::GetStretch() const {
    return Speed == 0.0f ? 0.0f : 1.0f / Speed;
}

void TStretchNode::ApplySpeed() {
    Stream->Set(100.0f * (Speed - 1.0f), -100.0f);
}

void TStretchNode::ApplySemitones() {
    Stream->Set(-100.0f, Semitones);
}

void TStretchNode::SetInput(TAudioX* Node) {
    TAudioX::SetInput(Node);
}

void TStretchNode::SetActive(bool Value) {
    Stream.reset();
    if (Value) {
        Stream = std::make_unique<brindle::soundlib::TempoStream>(GetSampleRate(), GetChannels());
        brindle::soundlib::PullStream source;
        source.Fill = &TStretchNode::Pull;
        source.User = this;
        source.SampleRate = GetSampleRate();
        source.Channels = GetChannels();
        Stream->SetSource(source);
        ApplySpeed();
        ApplySemitones();
    }
    TAudioX::SetActive(Value);
}

int TStretchNode::Pull(void* User, std::int16_t* Buf, int Frames) {
    auto* self = static_cast<TStretchNode*>(User);
    const int frameBytes = self->GetChannels() * 2;
    const int n = Frames * frameBytes;
    std::fill(Buf, Buf + static_cast<size_t>(Frames) * self->GetChannels(), std::int16_t{0});
    int got = n;
    if (self->Input) {
        got = self->Input->GetData(Buf, n);
        if (got <= 0) return 0;
    }
    if (self->OnQueryData) self->OnQueryData(self, Buf, n);
    return got / frameBytes;
}

int TStretchNode::PopData(void* Buf, int BufLen) {
    if (!Stream) return -1;
    const int frameBytes = GetChannels() * 2;
    auto* out = static_cast<std::int16_t*>(Buf);
    const int got = Stream->Read(out, BufLen / frameBytes);
    if (got < 0) return -1;
    Volume.Apply(out, got * GetChannels());
    return got * frameBytes;
}
