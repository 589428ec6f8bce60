#pragma once
// Master equalizer node: a list of peaking bands over the input's sound.
#include "audio/nodes/AudioX.h"
#include "audio/soundlib/dsp/PeakingFilter.h"
#include "audio/soundlib/dsp/Stream.h"
#include "base/AnyList.h"

#include <memory>
#include <vector>

struct TBand {
    float Freq = 0; // centre frequency, Hz
    float Gain = 0; // dB
};

class TEqualizer : public TAudioX {
public:
    // Bandwidth of every band, in octaves.
    static constexpr float BandWidth = 0.8f;
    static constexpr int MaxBands = 64;

    TEqualizer();

    // Over a float source the effect runs on unsaturated sound (see TAudioX::GivesFloats).
    int PopData(void* Buf, int BufLen) override;
    bool GivesFloats() const override;
    int PopFloats(float* Buf, int Frames) override;
    void SetInput(TAudioX* Node) override;
    void SetActive(bool Value) override;

    // Puts Count neutral bands on the read stream, replacing the ones there.
    void setEQNum(int Count);
    // Sets one band; a band that does not exist, or no read stream, is silently ignored.
    void setEQ(int Band, int CenterFreq, float Gain);
    // The next setEQNum carries on Old's band filters (their state), as many as both have, when
    // the format matches. Old must not be pulled at the same time as this node.
    void KeepStateOf(const TEqualizer& Old);
    // Puts the band list on the read stream.
    void NotifyBandsChanged();
    void ApplyBands() { NotifyBandsChanged(); }

    // The bands NotifyBandsChanged applies.
    TAnyList<TBand> Bands;
    int GetBandFilterCount() const { return BandFilterCount; }
    bool HasReadStream() const { return ReadStream != nullptr; }
    // Filters actually on the read stream.
    int GetStreamFilterCount() const { return ReadStream ? ReadStream->EffectCount() : 0; }

private:
    std::unique_ptr<brindle::dsp::TStream> ReadStream;
    int BandFilterCount = 0;
    std::vector<brindle::dsp::TPeakingFilter*> Filters; // owned by ReadStream
    std::vector<std::shared_ptr<brindle::dsp::TEffect>> Carried;
};
