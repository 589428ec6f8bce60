#include "audio/nodes/SwitchNode.h"

#include "audio/mixer/LevelMeters.h"

#include <cstring>

int TSwitchNode::PopData(void* Buf, int BufLen) {
    brindle::ReaderEpoch::Guard pass(Pulls);
    TAudioX* node = Current.load();
    if (!node) {
        if (BufLen > 0) std::memset(Buf, 0, static_cast<size_t>(BufLen));
        return BufLen;
    }
    const int got = node->PopData(Buf, BufLen);
    // The published chain's format, set before it was published: the switch's own is written
    // again at every rebuild.
    const int channels = node->GetChannels();
    if (Meter && got > 0 && channels > 0)
        Meter->FeedBlock(MeterSlot, static_cast<const std::int16_t*>(Buf), got / (2 * channels), channels);
    return got;
}

void TSwitchNode::SetMeter(brindle::TLevelMeters* Meters, int Slot) {
    Meter = Meters;
    MeterSlot = Slot;
}

void TSwitchNode::SetInput(TAudioX* Node) {
    TAudioX::SetInput(Node);
    Current.store(Node);
}

bool TSwitchNode::GivesFloats() const {
    const TAudioX* node = Current.load();
    return node && node->GivesFloats();
}

int TSwitchNode::PopFloats(float* Buf, int Frames) {
    brindle::ReaderEpoch::Guard pass(Pulls);
    TAudioX* node = Current.load();
    if (!node) {
        if (Frames > 0) std::memset(Buf, 0, static_cast<size_t>(Frames) * GetChannels() * sizeof(float));
        return Frames;
    }
    // A part published since the consumer asked still answers: PopFloats works on every node.
    const int got = node->PopFloats(Buf, Frames);
    if (Meter && got > 0) Meter->FeedBlock(MeterSlot, Buf, got, node->GetChannels());
    return got;
}
