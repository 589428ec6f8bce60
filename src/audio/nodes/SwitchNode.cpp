#include "audio/nodes/SwitchNode.h"

#include <cstring>

int TSwitchNode::PopData(void* Buf, int BufLen) {
    brindle::ReaderEpoch::Guard pass(Pulls);
    TAudioX* node = Current.load();
    if (!node) {
        if (BufLen > 0) std::memset(Buf, 0, static_cast<size_t>(BufLen));
        return BufLen;
    }
    return node->PopData(Buf, BufLen);
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
    return node->PopFloats(Buf, Frames);
}
