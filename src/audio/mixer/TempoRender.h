#pragma once
// Offline tempo/pitch processing of a whole cached sample: the sound a voice with that speed and
// pitch would make, prepared once instead of on every note.
#include "audio/soundlib/BestStretch.h"

#include <cstdint>
#include <vector>

namespace brindle {
struct SampleData;
}

namespace brindle::soundlib {

// Speed is a tempo factor (2 = twice as fast), Pitch a shift in semitones, both brought into the
// playable range. The result holds ProcessedFrames(Source.Frames(), Speed) frames and ends
// with the fade a live voice gives the note.
// Standard quality runs the live voices' stretcher (same samples as a live note); Best runs the
// finer offline one.
// Cancel, when given, is checked per chunk: a set flag throws StretchCancelled.
std::vector<std::int16_t> RenderTempoVariant(const SampleData& Source, float Speed, float Pitch,
                                             StretchQuality Quality = StretchQuality::Standard,
                                             const std::atomic<bool>* Cancel = nullptr);

} // namespace brindle::soundlib
