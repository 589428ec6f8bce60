#pragma once
// Integrated loudness (EBU R128, LUFS) and true peak (dBTP) of interleaved float sound at full
// scale 1.0, through libebur128.
#include <cstddef>
#include <memory>

namespace brindle::soundlib {

class TLoudnessMeter {
  public:
    // Throws brindle::Error when libebur128 refuses the format.
    TLoudnessMeter(int SampleRate, int Channels);
    ~TLoudnessMeter();
    TLoudnessMeter(const TLoudnessMeter&) = delete;
    TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

    void Add(const float* Samples, std::size_t Frames);
    // -infinity for silence (or sound too short to gate).
    double IntegratedLufs() const;
    // The highest true peak of any channel in dBTP; -infinity for silence.
    double TruePeakDb() const;

  private:
    struct State;
    std::unique_ptr<State> Meter;
    int Channels;
};

} // namespace brindle::soundlib
