#pragma once
// Renders a whole song to a file through the same chain the speakers hear: the export's "Save".
#include "audio/soundlib/BestStretch.h"

#include <functional>
#include <string>
#include <vector>

namespace brindle {

class SongEngine;

struct RenderOptions {
    std::string OutputFile; // .wav, .mp3, .pcm or .raw
    float TailSeconds = 0;  // keep rendering after the last row until voices end, at most this long
    int Mp3KBitRate = 256;
    bool Dither = false; // TPDF dither at the final conversion to 16 bits
    // The stretcher that prepares stretched and transposed notes.
    soundlib::StretchQuality StretchQuality = soundlib::StretchQuality::Standard;
    // Seconds rendered so far against the song's length; return false to cancel.
    std::function<bool(double Done, double Total)> Progress;
};

struct RenderReport {
    double Seconds = 0;                // audio written
    std::vector<std::string> Problems; // instruments that stayed silent, each named once
    bool Cancelled = false;
};

// Throws brindle::Error when the output cannot be written; no partial file is left then.
RenderReport RenderSong(SongEngine& Engine, const RenderOptions& Options);

} // namespace brindle
