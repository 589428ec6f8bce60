#include "audio/mixer/TempoEnginePool.h"

#include <algorithm>

using brindle::soundlib::TempoStream;

TTempoEnginePool::TTempoEnginePool(int SampleRate, int Channels, int Count, bool Sized, int Initial)
    : Rate(SampleRate), ChannelCount(Channels), Sized(Sized) {
    // Every stream may need its own bucket; reserving that many keeps regrouping allocation-free.
    Slots.reserve(static_cast<size_t>(Count));
    Buckets.reserve(static_cast<size_t>(Count));
    if (!Sized) return;
    // A few streams are made now, the rest as free ones run out (off the audio thread, within the
    // reserved room, so a slot never moves): a small song does not pay for a full pool.
    Capacity = Count;
    for (int i = 0; i < std::min(Count, Initial); ++i) Return(Grow());
}

std::unique_ptr<TempoStream> TTempoEnginePool::MakeStream() const {
    auto stream = std::make_unique<TempoStream>(Rate, ChannelCount);
    // Memory grown now keeps a key press at a new pitch from faulting it in later.
    if (Sized) stream->Reserve();
    return stream;
}

bool TTempoEnginePool::Adopt(std::unique_ptr<TempoStream> Stream) {
    if (static_cast<int>(Slots.size()) >= Capacity) return false;
    Slots.push_back(Slot{std::move(Stream)});
    Return(Place());
    return true;
}

int TTempoEnginePool::Grow() {
    Slots.push_back(Slot{MakeStream()});
    return Place();
}

int TTempoEnginePool::Place() {
    const int slot = static_cast<int>(Slots.size()) - 1;
    Slots.back().Bucket = BucketFor(*Slots.back().Stream);
    ++Buckets[static_cast<size_t>(Slots.back().Bucket)].Members;
    return slot;
}

TTempoEnginePool::~TTempoEnginePool() = default;

bool TTempoEnginePool::Fits(const Bucket& B, float Speed, float Pitch) const {
    return B.Pitch == Pitch && (!Sized || (B.High > 0.0f && B.Low <= Speed && Speed <= B.High));
}

int TTempoEnginePool::BucketFor(const TempoStream& Stream) {
    const float pitch = Stream.GetAppliedPitch();
    const float low = Sized ? Stream.GetPreparedSpeedLow() : 0.0f;
    const float high = Sized ? Stream.GetPreparedSpeedHigh() : 0.0f;
    int unused = -1;
    for (std::size_t b = 0; b < Buckets.size(); ++b) {
        const Bucket& bucket = Buckets[b];
        if (bucket.Members > 0 && bucket.Pitch == pitch && bucket.Low == low && bucket.High == high)
            return static_cast<int>(b);
        if (bucket.Members == 0 && unused < 0) unused = static_cast<int>(b);
    }
    if (unused < 0) {
        unused = static_cast<int>(Buckets.size());
        Buckets.emplace_back();
    }
    Bucket& fresh = Buckets[static_cast<size_t>(unused)];
    fresh = Bucket{};
    fresh.Pitch = pitch;
    fresh.Low = low;
    fresh.High = high;
    return unused;
}

int TTempoEnginePool::Pop(int BucketIndex) {
    Bucket& bucket = Buckets[static_cast<size_t>(BucketIndex)];
    const int slot = bucket.Head;
    bucket.Head = Slots[static_cast<size_t>(slot)].Next;
    --bucket.Free;
    Slots[static_cast<size_t>(slot)].Next = -1;
    return slot;
}

int TTempoEnginePool::TakeFitting(float Speed, float Pitch) {
    for (std::size_t b = 0; b < Buckets.size(); ++b)
        if (Buckets[b].Free > 0 && Fits(Buckets[b], Speed, Pitch)) return Pop(static_cast<int>(b));
    return -1;
}

int TTempoEnginePool::TakeAny() {
    int best = -1;
    for (std::size_t b = 0; b < Buckets.size(); ++b)
        if (Buckets[b].Free > 0 && (best < 0 || Buckets[b].Free > Buckets[static_cast<size_t>(best)].Free))
            best = static_cast<int>(b);
    if (best >= 0) return Pop(best);
    if (Sized && static_cast<int>(Slots.size()) >= Capacity) return -1;
    return Grow();
}

void TTempoEnginePool::Return(int SlotIndex) {
    Slot& slot = Slots[static_cast<size_t>(SlotIndex)];
    Bucket& bucket = Buckets[static_cast<size_t>(slot.Bucket)];
    slot.Next = bucket.Head;
    bucket.Head = SlotIndex;
    ++bucket.Free;
}

void TTempoEnginePool::Regroup(int SlotIndex) {
    Slot& slot = Slots[static_cast<size_t>(SlotIndex)];
    --Buckets[static_cast<size_t>(slot.Bucket)].Members;
    slot.Bucket = BucketFor(*slot.Stream);
    ++Buckets[static_cast<size_t>(slot.Bucket)].Members;
}

void TTempoEnginePool::Tune(int SlotIndex, float Speed, float Pitch) {
    TempoStream& stream = Stream(SlotIndex);
    if (Sized)
        stream.Prepare(Speed, Pitch);
    else
        stream.Set(100.0f * (Speed - 1.0f), Pitch);
}

int TTempoEnginePool::CountFitting(float Speed, float Pitch) const {
    int n = 0;
    for (const Bucket& b : Buckets)
        if (Fits(b, Speed, Pitch)) n += b.Free;
    return n;
}

int TTempoEnginePool::FreeCount() const {
    int n = 0;
    for (const Bucket& b : Buckets)
        n += b.Free;
    return n;
}

int TTempoEnginePool::BucketCount() const {
    int n = 0;
    for (const Bucket& b : Buckets)
        n += b.Members > 0;
    return n;
}
