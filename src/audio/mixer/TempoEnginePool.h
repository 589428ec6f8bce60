#pragma once
// The live mixer's tempo streams, grouped by what they are ready for.
//
// Re-tuning a stream to a new pitch, or growing its buffers for a new speed, allocates inside
// SoundTouch, so the audio thread only takes streams already prepared for its note. Free streams
// prepared alike (same pitch, same speed range) share a bucket: finding one for a note is a scan
// over the few buckets, taking and returning one is O(1). Not thread-safe: the mixer's lock guards
// it; only a taken stream may be prepared outside that lock.
#include "audio/soundlib/TempoStream.h"

#include <memory>
#include <vector>

class TTempoEnginePool {
  public:
    // Sized (real time): up to Count streams, the first InitialStreams made now and the others by
    // TakeAny when no free one is left (never on the audio thread, which only takes fitting ones);
    // a stream fits a note only once it has been prepared for the note's speed and pitch (Tune);
    // a fresh one fits nothing. Otherwise streams are made as notes need them and any stream at
    // the note's pitch fits (offline renders).
    TTempoEnginePool(int SampleRate, int Channels, int Count, bool Sized, int Initial = InitialStreams);
    ~TTempoEnginePool();

    // A free stream that can play (Speed, Pitch) without allocating; -1 when there is none.
    int TakeFitting(float Speed, float Pitch);
    // A free stream to re-tune, from the bucket with the most free streams; a new one when none is
    // free and there is room (allocates). -1 when there is none.
    int TakeAny();
    // Back to the free streams of its bucket.
    void Return(int Slot);
    // After a taken stream was prepared for other settings: moves it to the matching bucket.
    void Regroup(int Slot);
    // A fresh stream for Adopt, made without touching the pool (allocates; any thread).
    std::unique_ptr<brindle::soundlib::TempoStream> MakeStream() const;
    // Adds a stream made by MakeStream to the free ones; false when the pool is full.
    bool Adopt(std::unique_ptr<brindle::soundlib::TempoStream> Stream);
    // Prepares a taken stream for (Speed, Pitch): allocates, so never on the audio thread.
    void Tune(int Slot, float Speed, float Pitch);

    brindle::soundlib::TempoStream& Stream(int Slot) { return *Slots[static_cast<size_t>(Slot)].Stream; }
    int CountFitting(float Speed, float Pitch) const;
    int FreeCount() const;
    int BucketCount() const; // buckets holding at least one stream
    bool IsSized() const { return Sized; }
    int StreamCount() const { return static_cast<int>(Slots.size()); }
    static constexpr int InitialStreams = 32;

  private:
    struct Slot {
        std::unique_ptr<brindle::soundlib::TempoStream> Stream;
        int Next = -1; // next free stream of the same bucket
        int Bucket = -1;
    };
    struct Bucket {
        float Pitch = 0.0f;
        float Low = 0.0f; // prepared speeds (0, 0 in an unsized pool)
        float High = 0.0f;
        int Head = -1;
        int Free = 0;
        int Members = 0; // streams in this bucket, free or taken; a bucket with none is reused
    };

    bool Fits(const Bucket& B, float Speed, float Pitch) const;
    int BucketFor(const brindle::soundlib::TempoStream& Stream);
    int Place(); // files the last slot's stream into its bucket
    int Pop(int BucketIndex);
    int Grow();

    int Rate;
    int ChannelCount;
    bool Sized;
    int Capacity = 0;
    std::vector<Slot> Slots;
    std::vector<Bucket> Buckets;
};
