#include "audio/nodes/AudioPushBuffer.h"

#include <cstring>

void TAudioPushBuffer::Push(const void* Data, int Len) {
    if (Len <= 0) return;
    std::lock_guard guard(Lock);
    const auto* bytes = static_cast<const std::uint8_t*>(Data);
    Queue.insert(Queue.end(), bytes, bytes + Len);
}

int TAudioPushBuffer::PopData(void* Buf, int BufLen) {
    std::lock_guard guard(Lock);
    const int stored = static_cast<int>(Queue.size());
    const int take = BufLen < stored ? BufLen : stored;
    if (take <= 0) return 0;
    std::memcpy(Buf, Queue.data(), static_cast<size_t>(take));
    Queue.erase(Queue.begin(), Queue.begin() + take);
    return take;
}

void TAudioPushBuffer::Clear() {
    std::lock_guard guard(Lock);
    Queue.clear();
}

int TAudioPushBuffer::Stored() const {
    std::lock_guard guard(Lock);
    return static_cast<int>(Queue.size());
}
