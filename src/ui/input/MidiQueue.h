#pragma once
// Note messages of one MIDI input, handed from its callback thread to the user-interface thread.
// The callback side parses and copies a few bytes into a fixed ring: no locks, no allocation, no
// widgets. Everything but note-on and note-off is dropped there.
#include "base/realtime/SpscRing.h"

#include <cstddef>
#include <cstdint>

struct TMidiNoteMessage {
    std::uint8_t Note = 0;
    std::uint8_t Velocity = 0;
    bool On = false; // a note-on with velocity 0 arrives here as a note-off
};

class TMidiQueue {
  public:
    static constexpr std::size_t Slots = 256;

    // Callback thread. True when the bytes were a note message and went into the queue.
    bool Feed(const unsigned char* Bytes, std::size_t Size) noexcept;
    // The port's callback; UserData is the queue.
    static void Callback(const unsigned char* Bytes, std::size_t Size, void* UserData) noexcept;

    // User-interface thread.
    bool Pop(TMidiNoteMessage& Message) noexcept { return Ring.Pop(Message); }
    std::size_t TakeDropped() noexcept { return Ring.TakeDropped(); }

  private:
    brindle::SpscRing<TMidiNoteMessage, Slots> Ring;
};
