#pragma once
// A first-in-first-out byte queue that one thread pushes into and the puller drains.
#include "audio/nodes/AudioX.h"

#include <cstdint>
#include <mutex>
#include <vector>

class TAudioPushBuffer : public TAudioX {
public:
    void Push(const void* Data, int Len);
    int PopData(void* Buf, int BufLen) override;
    void Clear();
    int Stored() const;

private:
    mutable std::mutex Lock;
    std::vector<std::uint8_t> Queue;
};
