#pragma once
// The master effect values a song stores: each slider position of the effects panel x 0.001, and
// whether each effect is on. The defaults are the panel's "Default" positions for a new song.

struct TEffectSettings {
    bool CompressorEnabled = true;
    float CompressorThres = 0.5f;
    float CompressorAttack = 1.0f;
    float CompressorRelease = 1.0f;
    bool ReverbEnabled = false;
    float ReverbLevel = 0.1f;
    float ReverbDelay = 3.2f;
    bool EqEnabled = false;
    float Eq[3] = {0.0f, 0.0f, 0.0f};

    // Every effect off and every value 0: what a module without effect attributes reads as.
    static constexpr TEffectSettings Cleared() { return {false, 0, 0, 0, false, 0, 0, false, {0, 0, 0}}; }
};
