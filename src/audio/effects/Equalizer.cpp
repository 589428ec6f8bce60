#include "audio/effects/Equalizer.h"

#include "audio/effects/EffectInput.h"
#include "base/Error.h"

using brindle::dsp::TPeakEqParams;
using brindle::dsp::TPeakingFilter;
using brindle::dsp::TStream;

TEqualizer::TEqualizer() {
    SetFormat(44100, 2);
}

void TEqualizer::SetInput(TAudioX* Node) {
    ReadStream.reset();
    Filters.clear();
    BandFilterCount = 0;
    Input = Node;
    if (!Node) return;
    GetFormat(Node);
    ReadStream = brindle::MakeEffectInputStream(*this);
}

void TEqualizer::SetActive(bool Value) {
    Active = Value;
    if (Active) ApplyBands();
}

int TEqualizer::PopData(void* Buf, int BufLen) {
    if (!ReadStream) throw brindle::Error("TEqualizer - ReadStream not defined");
    return brindle::PopStreamData(*ReadStream, *this, Buf, BufLen);
}

bool TEqualizer::GivesFloats() const {
    return brindle::StreamGivesFloats(ReadStream.get(), *this);
}

int TEqualizer::PopFloats(float* Buf, int Frames) {
    return brindle::PopStreamFloats(ReadStream.get(), *this, Buf, Frames);
}

void TEqualizer::setEQNum(int Count) {
    if (Count < 0) Count = 0;
    if (ReadStream)
        for (auto* Filter : Filters)
            ReadStream->Remove(Filter);
    Filters.clear();
    BandFilterCount = Count;
    if (!ReadStream) return;
    if (Count > MaxBands) throw brindle::Error("TEqualizer - can't add equalizer filter.");
    for (int i = 0; i < Count; ++i)
        Filters.push_back(static_cast<TPeakingFilter*>(
            ReadStream->Add(std::make_unique<TPeakingFilter>(GetSampleRate(), GetChannels()), 0)));
}

void TEqualizer::setEQ(int Band, int CenterFreq, float Gain) {
    if (!ReadStream || Band < 0 || Band >= static_cast<int>(Filters.size())) return;
    TPeakEqParams Params;
    Params.Band = Band;
    Params.SampleRate = GetSampleRate();
    Params.Bandwidth = BandWidth;
    Params.Q = 0;
    Params.Center = static_cast<float>(CenterFreq);
    Params.Gain = Gain;
    std::lock_guard<std::mutex> Guard(ReadStream->Lock());
    Filters[Band]->SetParameters(Params);
}

void TEqualizer::NotifyBandsChanged() {
    setEQNum(Bands.Count());
    for (int i = 0; i < Bands.Count(); ++i)
        setEQ(i, static_cast<int>(Bands[i]->Freq), Bands[i]->Gain);
}
