#include "ui/input/MidiQueue.h"

bool TMidiQueue::Feed(const unsigned char* Bytes, std::size_t Size) noexcept {
    if (!Bytes || Size < 3) return false;
    const unsigned kind = Bytes[0] & 0xF0u; // any channel
    if (kind != 0x80u && kind != 0x90u) return false;
    if ((Bytes[1] | Bytes[2]) & 0x80u) return false; // data bytes have the top bit clear
    TMidiNoteMessage m;
    m.Note = Bytes[1];
    m.Velocity = Bytes[2];
    m.On = kind == 0x90u && m.Velocity > 0;
    return Ring.Push(m);
}

void TMidiQueue::Callback(const unsigned char* Bytes, std::size_t Size, void* UserData) noexcept {
    if (UserData) static_cast<TMidiQueue*>(UserData)->Feed(Bytes, Size);
}
