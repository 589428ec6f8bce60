#pragma once
// Saving a range of a recording as a file of its own: frames [FirstFrame, FirstFrame + Frames) of
// Source go through a file read node into an encoder, WAV at the source's own rate and channels
// or MP3 at 320 kbit/s, by Target's extension. The old Target is replaced only when the new one
// is complete; on failure a brindle::Error says why and the old file is untouched.
#include <cstdint>
#include <string>

namespace brindle {

void SaveSampleCut(const std::string& Source, std::int64_t FirstFrame, std::int64_t Frames, const std::string& Target);

// The frames a selection covers, from fractions of a file TotalFrames long, rounded to the
// nearest frame in double precision.
struct FrameRange {
    std::int64_t First = 0;
    std::int64_t Count = 0;
};
FrameRange SelectionFrames(double SelStart, double SelLen, std::int64_t TotalFrames);

} // namespace brindle
