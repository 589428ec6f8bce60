#include "app/SampleCut.h"

#include "audio/nodes/FileReadNode.h"
#include "audio/output/EncoderNode.h"

#include <algorithm>
#include <cmath>

namespace brindle {

void SaveSampleCut(const std::string& Source, std::int64_t FirstFrame, std::int64_t Frames, const std::string& Target) {
    TFileReadNode reader;
    reader.SetFileName(Source);
    // The data ends with the range; no silence after it.
    reader.EndSilence = false;
    reader.SetWindowFrames(FirstFrame, Frames);
    TEncoderNode encoder;
    encoder.SetInput(&reader);
    encoder.MP3KBitRate = 320;
    encoder.SetOutputFileName(Target);
    encoder.OutputFormatDetect();
    encoder.StopOnDataEnd = true;
    encoder.Encode();
}

FrameRange SelectionFrames(double SelStart, double SelLen, std::int64_t TotalFrames) {
    const double total = double(TotalFrames);
    const std::int64_t first = std::clamp<std::int64_t>(std::llround(SelStart * total), 0, TotalFrames);
    const std::int64_t last = std::clamp<std::int64_t>(std::llround((SelStart + SelLen) * total), first, TotalFrames);
    return {first, last - first};
}

} // namespace brindle
