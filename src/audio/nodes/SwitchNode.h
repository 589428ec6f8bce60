#pragma once
// A fixed point in a chain whose upstream part can be replaced while a consumer pulls it: the new
// part is built off the audio thread and published with one atomic store. Whoever replaces a part
// retires the old one against Epoch() and frees it once the pull that may be inside it has ended.
#include "audio/nodes/AudioX.h"
#include "base/realtime/RetireList.h"

#include <atomic>

namespace brindle {
class TLevelMeters;
}

class TSwitchNode : public TAudioX {
public:
    // Silence while nothing is published.
    int PopData(void* Buf, int BufLen) override;
    // The published part's float sound, when it has one.
    bool GivesFloats() const override;
    int PopFloats(float* Buf, int Frames) override;
    // Publishes Node as the part pulled from the next block on.
    void SetInput(TAudioX* Node) override;

    const brindle::ReaderEpoch& Epoch() const { return Pulls; }

    // Every block pulled through here is measured into slot Slot of Meters (null: none). Set it
    // before the node is pulled; the meters must outlive the pulls.
    void SetMeter(brindle::TLevelMeters* Meters, int Slot);

private:
    brindle::TLevelMeters* Meter = nullptr;
    int MeterSlot = 0;
    std::atomic<TAudioX*> Current{nullptr};
    brindle::ReaderEpoch Pulls;
};
