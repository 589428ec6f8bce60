#pragma once
// The master equalizer, reverb and compressor, set up from a song's effect values exactly as the
// effects panel sets them, in the order equalizer, reverb, compressor. The one place that builds
// the master chain, for live output and for rendering alike.
//
// Consumers pull Output(), which stays the same node for the object's life. Switching effects on
// or off builds a new chain off the audio thread and publishes it there atomically; the effects
// that stay on carry their state into it, so the others never restart. The chain it replaces is
// freed later, on the calling thread, once the pull that may be inside it has ended: by the next
// switch, or by Collect, which the window calls every CollectIntervalMs.
// So effects can be switched while the speakers play.
#include "song/EffectSettings.h"
#include "audio/effects/Compressor.h"
#include "audio/effects/Equalizer.h"
#include "audio/effects/Reverb.h"
#include "audio/nodes/SwitchNode.h"
#include "base/realtime/RetireList.h"

#include <memory>

class TMasterEffects {
public:
    // The equalizer bands' centre frequencies, Hz.
    static constexpr int EqFreq[3] = {60, 8000, 16000};

    TMasterEffects();
    // Whoever pulls Output() must have stopped.
    ~TMasterEffects();

    // A panel position from a stored value: value x 1000, rounded to the nearest integer.
    static int Position(float Stored);

    // Takes the values and writes them into the live nodes as the panel's sliders do, heard from
    // the next block on. Switching an effect on or off takes a Chain. An effect that is off still
    // receives its values; they are heard once it is chained.
    void Apply(const TEffectSettings& Value);
    const TEffectSettings& GetSettings() const { return Settings; }

    // Builds the enabled effects over Source, publishes them behind Output() and returns the
    // chain's head (Source itself when none is on). Source must not be Output().
    TAudioX* Chain(TAudioX* Source);
    // Makes the consumer pull Source through the enabled effects.
    void Splice(TAudioX& Consumer, TAudioX* Source);
    // The node consumers pull: always the current chain.
    TAudioX& Output() { return Switch; }
    // What leaves Output() is measured into slot Slot of Meters (the master meter).
    void SetOutputMeter(brindle::TLevelMeters* Meters, int Slot) { Switch.SetMeter(Meters, Slot); }
    // Frees replaced chains no pull is inside any more (a UI timer calls it; Chain does).
    void Collect() { Retired.Collect(); }
    static constexpr int CollectIntervalMs = 250;
    std::size_t RetiredCount() const { return Retired.Count(); }

    // The current chain's nodes (replaced by every Chain).
    TEqualizer& GetEqualizer() { return Nodes->Eq; }
    TReverb& GetReverb() { return Nodes->Reverb; }
    TCompressor& GetCompressor() { return Nodes->Compressor; }

private:
    struct TNodes {
        TNodes();
        TEqualizer Eq;
        TReverb Reverb;
        TCompressor Compressor;
    };
    void ApplyEq(TNodes& To) const;
    void ApplyReverb(TNodes& To) const;
    void ApplyCompressor(TNodes& To) const;

    TEffectSettings Settings;
    TSwitchNode Switch;
    std::unique_ptr<TNodes> Nodes;
    brindle::RetireList<TNodes> Retired{Switch.Epoch()};
};
