#pragma once
// Stretching that keeps attacks: a phase vocoder smears a hit over its window, ahead of the hit as
// much as after it, which on drums is heard as a soft pre-echo. Cutting the sample at its onsets and
// stretching each piece on its own keeps every hit's start sharp (nothing of it exists in the piece
// before it) and puts it exactly on its scaled time.
#include <cstdint>
#include <functional>
#include <vector>

namespace brindle::soundlib {

// Source frames where attacks begin: a short frame's energy rising well above the few tens of ms
// before it, loud enough against the whole sample to matter, at least MinGapMs apart. Frame 0 is
// never reported (nothing precedes it to smear into).
std::vector<std::int64_t> DetectOnsets(const std::int16_t* Pcm, std::int64_t Frames, int Channels, int Rate,
                                       double MinGapMs = 50.0);

// Stretches Pcm (Frames x Channels, interleaved) from Begin for Count frames into exactly OutFrames
// frames (interleaved floats at 16-bit scale), its start at output frame 0.
using SegmentStretcher =
    std::function<std::vector<float>(const std::int16_t* Pcm, std::int64_t Count, std::int64_t OutFrames)>;

// Stretches Pcm by 1 / Speed piece by piece between the Onsets (ascending source frames): each piece
// starts a little ahead of its onset, lands at that position / Speed, and cross-fades briefly with
// the end of the piece before, which stops short of the onset. OutFrames frames result.
std::vector<float> StretchBetweenOnsets(const std::int16_t* Pcm, std::int64_t Frames, int Channels, int Rate,
                                        float Speed, std::int64_t OutFrames,
                                        const std::vector<std::int64_t>& Onsets,
                                        const SegmentStretcher& Stretch);

} // namespace brindle::soundlib
