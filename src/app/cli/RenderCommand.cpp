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
    if (files.size() != 2) return UsageError(self, "expected MODULE and OUT");
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
    for (const auto& p : report.Problems) std::cerr << "warning: " << p << " (its notes are silent)\n";
    std::fprintf(stderr, "wrote %s: %.2f s of audio in %.2f s (%.0fx real time)\n", options.OutputFile.c_str(),
                 report.Seconds, wall, wall > 0 ? report.Seconds / wall : 0.0);
    return ExitOk;
}

const bool registered = RegisterCommand({
    "render",
    "render a module to a WAV, MP3 or raw PCM file",
    "usage: brindle-cli render MODULE OUT [--tail SECONDS] [--bitrate KBPS] [--dither]\n"
    "                          [--stretch-quality standard|best]\n\n"
    "Renders the whole song of MODULE, with its master effects, to OUT. The format follows OUT's\n"
    "extension: .wav (16-bit PCM), .mp3 (through the lame encoder), .pcm or .raw (headerless\n"
    "16-bit little-endian stereo at 44100 Hz).\n"
    "  --tail SECONDS   after the last row, keep rendering until every note has ended, for at\n"
    "                   most SECONDS, 0 to 3600 (default 0: stop one block after the song ends)\n"
    "  --bitrate KBPS   MP3 bit rate, 8 to 320 (default 256)\n"
    "  --dither         add TPDF dither at the final conversion to 16 bits (default off:\n"
    "                   the output is exactly the mix)\n"
    "  --stretch-quality standard|best\n"
    "                   stretcher for stretched and transposed notes: standard (the one live\n"
    "                   notes use) or best (finer, slower to prepare); default standard\n"
    "Missing or broken instrument files are named on stderr; their notes stay silent. Ctrl+C\n"
    "(exit code 130) or SIGTERM (exit code 143) stops the render and leaves OUT as it was.",
    runRender,
});

} // namespace
} // namespace brindle::cli
