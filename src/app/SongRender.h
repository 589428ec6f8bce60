#pragma once
// Renders a song to a file through the same chain the speakers hear: the export's "Save" and
// brindle-cli render. The format follows the output's extension; a part of the song, a loudness
// target and stems (one file per channel) are options of the same render.
#include "audio/soundlib/BestStretch.h"
#include "audio/soundlib/OutputFormat.h"

#include <functional>
#include <limits>
#include <string>
#include <vector>

class cSequencer;

namespace brindle {

class SongEngine;

struct RenderOptions {
    // The file (.wav, .flac, .ogg, .opus, .mp3, .pcm or .raw), or with Stems the folder that
    // receives one file per channel.
    std::string OutputFile;
    float TailSeconds = 0; // keep rendering after the last row until voices end, at most this long
    int Mp3KBitRate = 256;
    // WAV and FLAC: 16 or 24 bits, or (WAV only) 32-bit float, the mix unrounded.
    soundlib::SampleBits Bits = soundlib::SampleBits::Int16;
    int Quality = -1;    // Ogg Vorbis and Opus, 0..10; -1 the encoder's default
    bool Dither = false; // TPDF dither at the final conversion to 16 bits (nothing finer is dithered)
    // A part of the song: 1-based order positions, inclusive; 0 means the first and the last.
    // A part ends exactly after the last row of ToOrder (then the tail).
    int FromOrder = 0;
    int ToOrder = 0;
    // One gain so the file's integrated loudness is TargetLufs, lowered so its true peak stays at
    // or under CeilingDbtp.
    bool Normalize = false;
    double TargetLufs = -14;
    double CeilingDbtp = -1;
    bool MasterEffects = true;
    // One file per channel that has notes, named "NN Name.ext", without the master effects.
    bool Stems = false;
    soundlib::FileFormat StemFormat = soundlib::FileFormat::Wav;
    // The stretcher that prepares stretched and transposed notes.
    soundlib::StretchQuality StretchQuality = soundlib::StretchQuality::Standard;
    // Seconds rendered so far against the render's length; return false to cancel (nothing is
    // written then).
    std::function<bool(double Done, double Total)> Progress;
};

struct RenderReport {
    double Seconds = 0;                // audio written
    std::vector<std::string> Problems; // instruments that stayed silent, each named once
    bool Cancelled = false;
    // Of the sound written (for stems: of their sum); -infinity for silence.
    double Lufs = -std::numeric_limits<double>::infinity();
    double TruePeakDb = -std::numeric_limits<double>::infinity();
    double GainDb = 0;              // applied by Normalize
    bool CeilingLimited = false;    // Normalize gave less gain to keep the true peak under the ceiling
    std::vector<std::string> Files; // written, in order
};

// "-15.2 LUFS, -0.8 dBTP" ("-inf" for silence).
std::string LoudnessText(double Lufs, double TruePeakDb);
// Order entries that play, counted from the first up to the first empty one.
int PlayableOrders(const cSequencer& Song);
// "NN Name.ext" for a channel (0-based) whose first instrument is Instrument (1-based); characters
// that file names cannot hold become "_".
std::string StemFileName(const cSequencer& Song, int Channel, int Instrument, soundlib::FileFormat Format);

// The stems a render of the orders From..To (0: the first, the last) writes, in channel order.
std::vector<std::string> StemFileNames(const cSequencer& Song, int From, int To, soundlib::FileFormat Format);

// Throws brindle::Error when the options or the output are refused or the output cannot be
// written; no partial file is left then, nor after a cancel.
RenderReport RenderSong(SongEngine& Engine, const RenderOptions& Options);

} // namespace brindle
