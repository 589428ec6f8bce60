#include "audio/effects/Equalizer.h"

#include "audio/effects/EffectInput.h"
#include "base/Error.h"

#include <utility>

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
    auto carried = std::exchange(Carried, {});
    for (int i = 0; i < Count; ++i) {
        std::shared_ptr<brindle::dsp::TEffect> keep;
        if (i < static_cast<int>(carried.size())) keep = std::move(carried[size_t(i)]);
        if (keep && keep->GetSampleRate() == GetSampleRate() && keep->GetChannels() == GetChannels())
            Filters.push_back(static_cast<TPeakingFilter*>(ReadStream->Add(std::move(keep), 0)));
        else
            Filters.push_back(static_cast<TPeakingFilter*>(
                ReadStream->Add(std::make_unique<TPeakingFilter>(GetSampleRate(), GetChannels()), 0)));
    }
}

void TEqualizer::KeepStateOf(const TEqualizer& Old) {
    Carried.clear();
    if (!Old.ReadStream) return;
    for (const auto* Filter : Old.Filters)
        Carried.push_back(Old.ReadStream->Share(Filter));
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
    Filters[Band]->SetParameters(Params);
}

void TEqualizer::NotifyBandsChanged() {
    setEQNum(Bands.Count());
    for (int i = 0; i < Bands.Count(); ++i)
        setEQ(i, static_cast<int>(Bands[i]->Freq), Bands[i]->Gain);
}
