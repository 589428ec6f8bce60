#pragma once
// One instrument slot. The audio thread reads FileName while the UI may replace it, so the text
// lives in a name pool and the slot swaps a pointer to it atomically: reading never locks, never
// allocates and never frees.
#include "song/NamePool.h"

#include <atomic>
#include <string>

class cInstrument {
public:
    cInstrument() = default;
    cInstrument(const cInstrument&) = delete;
    cInstrument& operator=(const cInstrument&) = delete;

    std::string Name;
    float Volume = 1.0f;
    float Stretch = 1.0f;
    float Pitch = 0.0f;
    bool StopPrev = false;

    // For the audio thread: each value read whole while the UI may write it.
    float LoadVolume() const { return load(Volume); }
    float LoadStretch() const { return load(Stretch); }
    float LoadPitch() const { return load(Pitch); }
    bool LoadStopPrev() const {
        return std::atomic_ref<bool>(const_cast<bool&>(StopPrev)).load(std::memory_order_relaxed);
    }

    // For the UI: each value written whole while the audio thread may read it.
    void StoreVolume(float Value) { store(Volume, Value); }
    void StoreStretch(float Value) { store(Stretch, Value); }
    void StorePitch(float Value) { store(Pitch, Value); }
    void StoreStopPrev(bool Value) { std::atomic_ref<bool>(StopPrev).store(Value, std::memory_order_relaxed); }

    std::string GetFileName() const { return FileNameRef(); }
    // Safe on the audio thread; the text stays valid while the song lives.
    const std::string& FileNameRef() const { return *FileName.load(std::memory_order_acquire); }
    void SetFileName(const std::string& path);
    bool HasFile() const { return !FileNameRef().empty(); }
    // A slot counts as used for saving when it has a name or a file.
    bool IsUsed() const { return !Name.empty() || HasFile(); }
    // The song's pool; a slot without one uses a pool shared by the process.
    void SetNamePool(cNamePool* Pool) { Names = Pool; }

private:
    static float load(const float& Value) {
        return std::atomic_ref<float>(const_cast<float&>(Value)).load(std::memory_order_relaxed);
    }
    static void store(float& Field, float Value) { std::atomic_ref<float>(Field).store(Value, std::memory_order_relaxed); }
    cNamePool* Names = nullptr;
    std::atomic<const std::string*> FileName{cNamePool::Empty()};
};
