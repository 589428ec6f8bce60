#include "app/MasterEffects.h"

#include "base/Assert.h"

#include <cmath>
#include <memory>

TMasterEffects::TMasterEffects() {
    for (int Freq : EqFreq) Eq.Bands.Add(std::make_unique<TBand>(TBand{static_cast<float>(Freq), 0.0f}));
    Apply(Settings);
}

int TMasterEffects::Position(float Stored) {
    // In double, as the panel reads it back: 1.234f is 1.2339999... and comes back as 1233.
    const double Scaled = static_cast<double>(Stored) * 1000.0;
    if (!std::isfinite(Scaled)) return 0;
    return static_cast<int>(std::trunc(std::fmax(std::fmin(Scaled, 2e9), -2e9)));
}

void TMasterEffects::Apply(const TEffectSettings& Value) {
    Settings = Value;
    ApplyEq();
    ApplyReverb();
    ApplyCompressor();
}

void TMasterEffects::ApplyEq() {
    for (int b = 0; b < 3; ++b) {
        // The equalizer sliders are upside down: the top (lowest position) is the most gain.
        const auto Gain = static_cast<float>(-Position(Settings.Eq[b]) * 0.001);
        Eq.Bands[b]->Gain = Gain;
        Eq.setEQ(b, EqFreq[b], Gain);
    }
}

void TMasterEffects::ApplyReverb() {
    Reverb.Params.Level = static_cast<float>(Position(Settings.ReverbLevel) * 0.001);
    Reverb.Params.Delay = Position(Settings.ReverbDelay);
    Reverb.ApplyParams();
}

void TMasterEffects::ApplyCompressor() {
    Compressor.Params.Threshold = static_cast<float>(Position(Settings.CompressorThres) * 0.001);
    Compressor.Params.Attack = static_cast<float>(Position(Settings.CompressorAttack));
    Compressor.Params.Release = static_cast<float>(Position(Settings.CompressorRelease));
    Compressor.ApplyParams();
}

TAudioX* TMasterEffects::Chain(TAudioX* Source) {
    // Chaining our own output again would make an effect its own input.
    BRINDLE_ASSERT(Source != &Eq && Source != &Reverb && Source != &Compressor);
    TAudioX* Head = Source;
    // Each effect takes the current head as input and becomes the head; a new input means a
    // fresh stream, so its values are applied again.
    if (Settings.EqEnabled) {
        Eq.SetInput(Head);
        Eq.setEQNum(3);
        ApplyEq();
        Head = &Eq;
    } else {
        Eq.SetInput(nullptr);
    }
    if (Settings.ReverbEnabled) {
        Reverb.SetInput(Head);
        ApplyReverb();
        Head = &Reverb;
    } else {
        Reverb.SetInput(nullptr);
    }
    if (Settings.CompressorEnabled) {
        Compressor.SetInput(Head);
        ApplyCompressor();
        Head = &Compressor;
    } else {
        Compressor.SetInput(nullptr);
    }
    return Head;
}

