#pragma once
// Source-rate mono samples of a stretch of a file, for a waveform view zoomed in past one image
// sample per pixel. It opens the file itself, so it may run on any thread (never the paint path).
#include <cstdint>
#include <string>
#include <vector>

namespace brindle::waveform {

// Frames mono samples (the channels' average) from source frame FirstFrame on; fewer at the end
// of the file, none past it. Throws brindle::Error naming the file when it can't be opened.
std::vector<std::int16_t> ReadSourceMono(const std::string& Path, std::int64_t FirstFrame, int Frames);

} // namespace brindle::waveform
