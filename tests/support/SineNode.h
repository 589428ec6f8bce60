#pragma once
// Test source nodes: a phase-continuous sine whose frequency and level can change between blocks,
// and a node that plays fixed PCM then silence; plus a helper that pulls a node block by block.
#include "audio/nodes/AudioX.h"

#include <cstdint>
#include <vector>

namespace brindle::test {

class TSineNode : public TAudioX {
public:
    TSineNode(double Hz, double Amp, int Rate = 44100, int ChannelCount = 2);
    int PopData(void* Buf, int BufLen) override;

    void SetFrequency(double Hz) { Frequency = Hz; }
    void SetAmplitude(double Amp) { Amplitude = Amp; }
    // After this many frames the node delivers nothing more (negative: endless).
    void SetLimitFrames(std::int64_t Frames) { LimitFrames = Frames; }
    std::int64_t GetFramesDone() const { return FramesDone; }

private:
    double Frequency;
    double Amplitude;
    double Phase = 0;
    std::int64_t LimitFrames = -1;
    std::int64_t FramesDone = 0;
};

class TPcmNode : public TAudioX {
public:
    TPcmNode(std::vector<std::int16_t> Pcm, int Rate, int ChannelCount);
    // Plays the PCM, then silence for ever.
    int PopData(void* Buf, int BufLen) override;

private:
    std::vector<std::int16_t> Samples;
    size_t Pos = 0;
};

// Pulls Frames frames from Node in blocks of BlockFrames; stops early when a pull returns 0.
std::vector<std::int16_t> PullFrames(TAudioX& Node, std::int64_t Frames, int BlockFrames = 441);

} // namespace brindle::test
