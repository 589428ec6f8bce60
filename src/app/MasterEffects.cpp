#include "app/MasterEffects.h"

#include "base/Assert.h"

#include <cmath>
#include <memory>

TMasterEffects::TNodes::TNodes() {
    for (int Freq : EqFreq) Eq.Bands.Add(std::make_unique<TBand>(TBand{static_cast<float>(Freq), 0.0f}));
}

TMasterEffects::TMasterEffects() : Nodes(std::make_unique<TNodes>()) {
    Switch.SetFormat(44100, 2);
    Apply(Settings);
}

TMasterEffects::~TMasterEffects() {
    Switch.SetInput(nullptr);
    Retired.FreeAll();
}

int TMasterEffects::Position(float Stored) {
    // Rounded, not truncated: 0.12 is stored as 0.119999997 and must come back as position 120,
    // so opening and saving a song never changes its values.
    const double Scaled = static_cast<double>(Stored) * 1000.0;
    if (!std::isfinite(Scaled)) return 0;
    return static_cast<int>(std::lround(std::fmax(std::fmin(Scaled, 2e9), -2e9)));
}

void TMasterEffects::Apply(const TEffectSettings& Value) {
    Settings = Value;
    ApplyEq(*Nodes);
    ApplyReverb(*Nodes);
    ApplyCompressor(*Nodes);
}

void TMasterEffects::ApplyEq(TNodes& To) const {
    for (int b = 0; b < 3; ++b) {
        // The equalizer sliders are upside down: the top (lowest position) is the most gain.
        const auto Gain = static_cast<float>(-Position(Settings.Eq[b]) * 0.001);
        To.Eq.Bands[b]->Gain = Gain;
        To.Eq.setEQ(b, EqFreq[b], Gain);
    }
}

void TMasterEffects::ApplyReverb(TNodes& To) const {
    To.Reverb.Params.Level = static_cast<float>(Position(Settings.ReverbLevel) * 0.001);
    To.Reverb.Params.Delay = Position(Settings.ReverbDelay);
    To.Reverb.ApplyParams();
}

void TMasterEffects::ApplyCompressor(TNodes& To) const {
    To.Compressor.Params.Threshold = static_cast<float>(Position(Settings.CompressorThres) * 0.001);
    To.Compressor.Params.Attack = static_cast<float>(Position(Settings.CompressorAttack));
    To.Compressor.Params.Release = static_cast<float>(Position(Settings.CompressorRelease));
    To.Compressor.ApplyParams();
}

TAudioX* TMasterEffects::Chain(TAudioX* Source) {
    // Chaining our own output would make the chain its own input.
    BRINDLE_ASSERT(Source != &Switch && Source != &Nodes->Eq && Source != &Nodes->Reverb &&
                   Source != &Nodes->Compressor);
    // Built whole before anyone can pull it: each effect takes the head as input and becomes it.
    // An effect that stays on carries on its state (the reverb's tail, the compressor's envelope,
    // the filters' memory): the new chain shares it with the one it replaces, which is never
    // pulled again once the new one is published. Only the effect just switched on starts afresh.
    auto Next = std::make_unique<TNodes>();
    if (Nodes->Eq.HasReadStream()) Next->Eq.KeepStateOf(Nodes->Eq);
    if (Nodes->Reverb.GetEffectAdded()) Next->Reverb.KeepStateOf(Nodes->Reverb);
    if (Nodes->Compressor.HasFXStream()) Next->Compressor.KeepStateOf(Nodes->Compressor);
    TAudioX* Head = Source;
    if (Settings.EqEnabled) {
        Next->Eq.SetInput(Head);
        Next->Eq.setEQNum(3);
        Head = &Next->Eq;
    }
    if (Settings.ReverbEnabled) {
        Next->Reverb.SetInput(Head);
        Head = &Next->Reverb;
    }
    if (Settings.CompressorEnabled) {
        Next->Compressor.SetInput(Head);
        Head = &Next->Compressor;
    }
    ApplyEq(*Next);
    ApplyReverb(*Next);
    ApplyCompressor(*Next);
    if (Source) Switch.GetFormat(Source);
    Switch.SetInput(Head);
    Retired.Retire(std::exchange(Nodes, std::move(Next)));
    return Head;
}

void TMasterEffects::Splice(TAudioX& Consumer, TAudioX* Source) {
    Chain(Source);
    Consumer.SetInput(&Switch);
}
