#include "app/SongEngine.h"
#include "app/SongRender.h"
#include "app/cli/Command.h"
#include "app/cli/Interrupt.h"
#include "base/Error.h"
#include "base/Switches.h"
#include "song/Sequencer.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace brindle::cli {
namespace {

// A bar on a terminal, a line per tenth otherwise.
class ProgressPrinter {
  public:
    bool operator()(double done, double total) {
        const int percent = total > 0 ? std::min(100, int(done / total * 100)) : 100;
        if (percent == Last) return true;
        Last = percent;
        if (Terminal) {
            const int filled = percent / 4;
            std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(size_t(filled), '#').c_str(),
                         std::string(size_t(25 - filled), '.').c_str(), percent);
            std::fflush(stderr);
        } else if (percent / 10 != LastTenth) {
            LastTenth = percent / 10;
            std::fprintf(stderr, "rendering: %d%%\n", LastTenth * 10);
        }
        return true;
    }
    void finish() {
        if (Terminal && Last >= 0) std::fprintf(stderr, "\n");
    }

  private:
    bool Terminal = isatty(2);
    int Last = -1;
    int LastTenth = -1;
};

// Longer tails add nothing but silence; every voice of the song has ended long before.
constexpr double MaxTailSeconds = 3600;
// The bit rates the MP3 encoder takes.
constexpr int MinKBitRate = 8;
constexpr int MaxKBitRate = 320;

int runRender(const std::vector<std::string>& args) {
    const auto& self = FindCommand("render");
    std::vector<std::string> files;
    RenderOptions options;
    bool ceilingGiven = false;
    bool formatGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const auto& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--tail") {
            double seconds = 0;
            if (!hasValue || !ParseNumber(args[++i], seconds) || seconds < 0 || seconds > MaxTailSeconds)
                return UsageError(self, "--tail needs a number of seconds from 0 to 3600");
            options.TailSeconds = float(seconds);
        } else if (a == "--bitrate") {
            if (!hasValue || !ParseInt(args[++i], options.Mp3KBitRate) || options.Mp3KBitRate < MinKBitRate ||
                options.Mp3KBitRate > MaxKBitRate)
                return UsageError(self, "--bitrate needs a whole number of kbit/s from 8 to 320");
        } else if (a == "--bits") {
            if (!hasValue || !soundlib::ParseSampleBits(args[++i], options.Bits))
                return UsageError(self, "--bits needs 16, 24 or 32f");
        } else if (a == "--quality") {
            if (!hasValue || !ParseInt(args[++i], options.Quality) || options.Quality < 0 ||
                options.Quality > 10)
                return UsageError(self, "--quality needs a whole number from 0 to 10");
        } else if (a == "--from" || a == "--to") {
            int& order = a == "--from" ? options.FromOrder : options.ToOrder;
            if (!hasValue || !ParseInt(args[++i], order) || order < 1 || order > OrderCount)
                return UsageError(self,
                                  a + " needs an order position from 1 to " + std::to_string(OrderCount));
        } else if (a == "--normalize") {
            if (!hasValue || !ParseNumber(args[++i], options.TargetLufs) || options.TargetLufs < -70 ||
                options.TargetLufs > 0)
                return UsageError(self, "--normalize needs a loudness in LUFS from -70 to 0, such as -14");
            options.Normalize = true;
        } else if (a == "--ceiling") {
            if (!hasValue || !ParseNumber(args[++i], options.CeilingDbtp) || options.CeilingDbtp < -20 ||
                options.CeilingDbtp > 0)
                return UsageError(self, "--ceiling needs a true peak in dBTP from -20 to 0, such as -1");
            ceilingGiven = true;
        } else if (a == "--stems") {
            options.Stems = true;
        } else if (a == "--format") {
            if (!hasValue || !soundlib::ParseFileFormat(args[++i], options.StemFormat) ||
                options.StemFormat == soundlib::FileFormat::Pcm)
                return UsageError(self, "--format needs wav, flac, ogg, opus or mp3");
            formatGiven = true;
        } else if (a == "--no-effects") {
            options.MasterEffects = false;
        } else if (a == "--dither") {
            options.Dither = true;
        } else if (a == "--stretch-quality") {
            if (!hasValue || !soundlib::ParseStretchQuality(args[++i], options.StretchQuality))
                return UsageError(self, "--stretch-quality needs standard or best");
        } else if (a.starts_with("-")) {
            return UsageError(self, "unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2)
        return UsageError(self, options.Stems ? "expected MODULE and OUTDIR" : "expected MODULE and OUT");
    if (formatGiven && !options.Stems)
        return UsageError(self, "--format is for --stems; a file's format follows its extension");
    if (ceilingGiven && !options.Normalize) return UsageError(self, "--ceiling goes with --normalize");
    if (options.Stems && options.Normalize)
        return UsageError(self, "--normalize is for one file; stems keep the levels they have in the mix");
    if (options.FromOrder && options.ToOrder && options.FromOrder > options.ToOrder)
        return UsageError(self, "--from must not come after --to");
    options.OutputFile = files[1];

    auto song = LoadModule(files[0]);
    SongEngine engine(*song, /*RealTime=*/false);
    InterruptGuard interrupt;
    ProgressPrinter progress;
    options.Progress = [&](double done, double total) {
        // Thrown, not a cancel: a cancelled render completes its file, an interrupted one leaves none.
        if (InterruptSignal()) throw Error("interrupted");
        return progress(done, total);
    };
    const auto started = std::chrono::steady_clock::now();
    RenderReport report;
    try {
        report = RenderSong(engine, options);
    } catch (...) {
        progress.finish();
        // Ctrl+C on a terminal may also have ended the encoder, which then fails first.
        if (!InterruptSignal()) throw;
        std::cerr << "brindle-cli: interrupted; " << options.OutputFile << " was not written\n";
        return InterruptExitCode();
    }
    progress.finish();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    for (const auto& p : report.Problems)
        std::cerr << "warning: " << p << " (its notes are silent)\n";
    if (options.Stems)
        for (const auto& file : report.Files)
            std::fprintf(stderr, "wrote %s\n", file.c_str());
    std::fprintf(stderr, "wrote %s: %.2f s of audio in %.2f s (%.0fx real time)\n",
                 options.OutputFile.c_str(), report.Seconds, wall, wall > 0 ? report.Seconds / wall : 0.0);
    if (options.Normalize && report.CeilingLimited)
        std::fprintf(stderr, "normalised by %+.1f dB, held back by the %.1f dBTP ceiling\n", report.GainDb,
                     options.CeilingDbtp);
    else if (options.Normalize && !std::isfinite(report.Lufs))
        std::fprintf(stderr, "the song is silent: nothing to normalise\n");
    else if (options.Normalize)
        std::fprintf(stderr, "normalised by %+.1f dB\n", report.GainDb);
    std::fprintf(stderr, "loudness%s: %s\n", options.Stems ? " of the stems together" : "",
                 LoudnessText(report.Lufs, report.TruePeakDb).c_str());
    return ExitOk;
}

const bool registered = RegisterCommand({
    "render",
    "render a module to WAV, FLAC, Ogg, Opus, MP3 or raw PCM, whole, in part or as stems",
    "usage: brindle-cli render MODULE OUT [--bits 16|24|32f] [--quality Q] [--bitrate KBPS]\n"
    "                          [--from ORDER] [--to ORDER] [--tail SECONDS] [--dither]\n"
    "                          [--normalize LUFS [--ceiling DBTP]] [--no-effects]\n"
    "                          [--stretch-quality standard|best]\n"
    "       brindle-cli render MODULE OUTDIR --stems [--format wav|flac|ogg|opus|mp3] [options]\n\n"
    "Renders the song of MODULE, with its master effects, to OUT. The format follows OUT's\n"
    "extension: .wav, .flac, .ogg (Vorbis), .opus, .mp3 (through the lame encoder), .pcm or .raw\n"
    "(headerless 16-bit little-endian stereo at 44100 Hz). Every render prints its integrated\n"
    "loudness and true peak (EBU R128).\n"
    "  --bits 16|24|32f WAV and FLAC sample format (default 16); 32f is 32-bit float, WAV only:\n"
    "                   the mix unrounded\n"
    "  --quality Q      Ogg Vorbis and Opus quality, 0 (smallest) to 10 (best)\n"
    "  --bitrate KBPS   MP3 bit rate, 8 to 320 (default 256)\n"
    "  --from ORDER, --to ORDER\n"
    "                   render only the order entries FROM to TO (1-based, inclusive); the\n"
    "                   render ends exactly after the last row of TO, then the tail\n"
    "  --tail SECONDS   after the last row, keep rendering until every note has ended, for at\n"
    "                   most SECONDS, 0 to 3600 (default 0: stop one block after the song ends)\n"
    "  --dither         add TPDF dither at the final conversion to 16 bits (default off:\n"
    "                   the output is exactly the mix; finer outputs are never dithered)\n"
    "  --normalize LUFS apply one gain so the file's integrated loudness is LUFS (e.g. -14),\n"
    "                   less if the true peak would pass the ceiling (never clipped)\n"
    "  --ceiling DBTP   the highest true peak --normalize allows (default -1.0)\n"
    "  --no-effects     leave the master effects out\n"
    "  --stems          write one file per channel that has notes into the folder OUTDIR, named\n"
    "                   \"NN Name.ext\" (channel number, its first instrument's name), each the\n"
    "                   channel's notes without the master effects, all as long as the song\n"
    "  --format F       the stems' format: wav (default), flac, ogg, opus or mp3\n"
    "  --stretch-quality standard|best\n"
    "                   stretcher for stretched and transposed notes: standard (the one live\n"
    "                   notes use) or best (finer, slower to prepare); default standard\n"
    "Missing or broken instrument files are named on stderr; their notes stay silent. Ctrl+C\n"
    "(exit code 130) or SIGTERM (exit code 143) stops the render and leaves OUT as it was.",
    runRender,
});

} // namespace
} // namespace brindle::cli
