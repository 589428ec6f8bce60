#include "support/SineNode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace brindle::test {

TSineNode::TSineNode(double Hz, double Amp, int Rate, int ChannelCount) : Frequency(Hz), Amplitude(Amp) {
    SetFormat(Rate, ChannelCount);
}

int TSineNode::PopData(void* Buf, int BufLen) {
    const int FrameBytes = 2 * GetChannels();
    std::int64_t Frames = BufLen / FrameBytes;
    if (LimitFrames >= 0) Frames = std::min(Frames, LimitFrames - FramesDone);
    auto* Out = static_cast<std::int16_t*>(Buf);
    const double Step = 2.0 * std::numbers::pi * Frequency / GetSampleRate();
    for (std::int64_t i = 0; i < Frames; ++i) {
        const auto Value = static_cast<std::int16_t>(std::lround(32767.0 * Amplitude * std::sin(Phase)));
        Phase += Step;
        if (Phase > 2.0 * std::numbers::pi) Phase -= 2.0 * std::numbers::pi;
        for (int c = 0; c < GetChannels(); ++c) *Out++ = Value;
    }
    FramesDone += Frames;
    return static_cast<int>(Frames * FrameBytes);
}

TPcmNode::TPcmNode(std::vector<std::int16_t> Pcm, int Rate, int ChannelCount) : Samples(std::move(Pcm)) {
    SetFormat(Rate, ChannelCount);
}

int TPcmNode::PopData(void* Buf, int BufLen) {
    const size_t Count = static_cast<size_t>(BufLen) / 2;
    const size_t Now = std::min(Count, Samples.size() - Pos);
    auto* Out = static_cast<std::int16_t*>(Buf);
    std::copy_n(Samples.data() + Pos, Now, Out);
    std::fill(Out + Now, Out + Count, std::int16_t{0});
    Pos += Now;
    return static_cast<int>(Count * 2);
}

std::vector<std::int16_t> PullFrames(TAudioX& Node, std::int64_t Frames, int BlockFrames) {
    const int Channels = Node.GetChannels();
    std::vector<std::int16_t> Out;
    Out.reserve(static_cast<size_t>(Frames * Channels));
    std::vector<std::int16_t> Block(static_cast<size_t>(BlockFrames * Channels));
    while (static_cast<std::int64_t>(Out.size()) < Frames * Channels) {
        const std::int64_t Left = Frames - static_cast<std::int64_t>(Out.size()) / Channels;
        const int Want = static_cast<int>(std::min<std::int64_t>(BlockFrames, Left));
        const int Got = Node.PopData(Block.data(), Want * Channels * 2);
        if (Got <= 0) break;
        Out.insert(Out.end(), Block.begin(), Block.begin() + Got / 2);
    }
    return Out;
}

} // namespace brindle::test
