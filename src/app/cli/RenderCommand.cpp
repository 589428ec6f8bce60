#include "app/SongEngine.h"
#include "app/SongRender.h"
#include "app/cli/Command.h"
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

int runRender(const std::vector<std::string>& args) {
    const auto& self = FindCommand("render");
    std::vector<std::string> files;
    RenderOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const auto& a = args[i];
        if (a == "--tail" || a == "--bitrate") {
            double v = 0;
            if (i + 1 >= args.size() || !ParseNumber(args[i + 1], v) || v < 0)
                return UsageError(self, a + " needs a number of " + (a == "--tail" ? "seconds" : "kbit/s"));
            ++i;
            if (a == "--tail") options.TailSeconds = float(v);
            else if (v < 8 || v > 320 || v != std::floor(v)) return UsageError(self, "--bitrate must be 8..320 kbit/s");
            else options.Mp3KBitRate = int(v);
        } else if (a.starts_with("-")) {
            return UsageError(self, "unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return UsageError(self, "expected MODULE and OUT");
    options.OutputFile = files[1];

    auto song = std::make_unique<cSequencer>();
    song->LoadFile(files[0]);
    SongEngine engine(*song, /*RealTime=*/false);
    ProgressPrinter progress;
    options.Progress = [&](double done, double total) { return progress(done, total); };
    const auto started = std::chrono::steady_clock::now();
    const auto report = RenderSong(engine, options);
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
    "usage: brindle-cli render MODULE OUT [--tail SECONDS] [--bitrate KBPS]\n\n"
    "Renders the whole song of MODULE, with its master effects, to OUT. The format follows OUT's\n"
    "extension: .wav (16-bit PCM), .mp3 (through the lame encoder), .pcm or .raw (headerless\n"
    "16-bit little-endian stereo at 44100 Hz).\n"
    "  --tail SECONDS   after the last row, keep rendering until every note has ended, at most\n"
    "                   SECONDS long (default 0: stop one block after the song ends)\n"
    "  --bitrate KBPS   MP3 bit rate (default 256)\n"
    "Missing or broken instrument files are named on stderr; their notes stay silent.",
    runRender,
});

} // namespace
} // namespace brindle::cli
