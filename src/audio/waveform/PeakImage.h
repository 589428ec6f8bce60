#pragma once
// Peak-preserving decimation of a mono stream into a waveform image. Plain resampling averages a
// hi-hat or a click away; here each image sample keeps the loudest source sample of its stretch.
#include <cstdint>
#include <vector>

namespace brindle::waveform {

// Mixes Frames interleaved frames of Channels channels to mono: the channels' average, truncated
// toward zero.
void MixToMono(const std::int16_t* In, std::int64_t Frames, int Channels, std::int16_t* Out);

// Image sample i covers source frames [i * SourceRate / ImageRate, (i + 1) * SourceRate / ImageRate)
// (rounded down, in 64-bit integers so long files do not drift; at least one frame when the image
// rate is above the source rate) and holds the value of largest magnitude there, with its sign
// (the positive one when both signs reach it).
class TPeakDecimator {
  public:
    TPeakDecimator(int SourceRate, int ImageRate, std::int64_t ImageSamples);

    // Takes the next Count mono frames and appends every image sample they finish to Out.
    // Frames past the last image sample are ignored.
    void Feed(const std::int16_t* Mono, std::int64_t Count, std::vector<std::int16_t>& Out);
    // At the end of the source: appends the sample of a window that the source only partly filled.
    void Finish(std::vector<std::int16_t>& Out);

    std::int64_t Produced() const { return Next; }
    bool Full() const { return Next >= Samples; }

  private:
    void Emit(std::vector<std::int16_t>& Out);
    void Bounds();

    std::int64_t SrcRate;
    std::int64_t ImgRate;
    std::int64_t Samples;
    std::int64_t Next = 0;     // the image sample being built
    std::int64_t Start = 0;    // its window, in source frames
    std::int64_t End = 0;
    std::int64_t Consumed = 0; // source frames taken so far
    int Hi = 0;
    int Lo = 0;
    bool Seen = false;
};

} // namespace brindle::waveform
