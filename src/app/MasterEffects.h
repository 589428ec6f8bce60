#pragma once
// The master equalizer, reverb and compressor, set up from a song's effect values exactly as the
// effects panel sets them, and spliced in front of a consumer (speakers or encoder) in the order
// equalizer, reverb, compressor. The one place that builds the master chain, for live output and
// for rendering alike.
#include "song/EffectSettings.h"
#include "audio/Compressor.h"
#include "audio/Equalizer.h"
#include "audio/Reverb.h"

class TMasterEffects {
public:
    // The equalizer bands' centre frequencies, Hz.
    static constexpr int EqFreq[3] = {60, 8000, 16000};

    TMasterEffects();

    // A panel position from a stored value: value x 1000, truncated toward zero.
    static int Position(float Stored);

    // Takes the values and writes them into the nodes as the panel's sliders do. An effect that is
    // off still receives its values; they are heard once it is chained.
    void Apply(const TEffectSettings& Value);
    const TEffectSettings& GetSettings() const { return Settings; }

    // Splices the enabled effects in front of Source and returns the node a consumer should pull
    // (Source itself when none is on). Effects that are off are detached.
    TAudioX* Chain(TAudioX* Source);
    // Makes the consumer pull Source through the enabled effects.
    void Splice(TAudioX& Consumer, TAudioX* Source) { Consumer.SetInput(Chain(Source)); }

    TEqualizer& GetEqualizer() { return Eq; }
    TReverb& GetReverb() { return Reverb; }
    TCompressor& GetCompressor() { return Compressor; }

private:
    void ApplyEq();
    void ApplyReverb();
    void ApplyCompressor();

    TEffectSettings Settings;
    TEqualizer Eq;
    TReverb Reverb;
    TCompressor Compressor;
};
