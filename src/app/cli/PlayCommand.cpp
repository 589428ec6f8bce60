#include "app/LiveOutput.h"
#include "app/SongEngine.h"
#include "app/cli/Command.h"
#include "app/cli/Interrupt.h"
#include "base/Switches.h"
#include "song/Sequencer.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>
#include <unistd.h>

namespace brindle::cli {
namespace {

// A week is longer than any listening or test session; below a millisecond no block is played
// (and 1e-50 s would read as "no limit" once held in single precision).
constexpr double MinSeconds = 0.001;
constexpr double MaxSeconds = 7 * 24 * 3600.0;

struct PlayOptions {
    std::string Module;
    int Device = 0;
    int BufferMs = 44;
    double Seconds = 0;
    int From = 1;
    bool Stats = false;
};

int runPlay(const std::vector<std::string>& args) {
    const auto& self = FindCommand("play");
    PlayOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const auto& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--stats") {
            o.Stats = true;
        } else if (a == "--device") {
            if (!hasValue || !ParseInt(args[++i], o.Device) || o.Device < 0)
                return UsageError(self, "--device needs a device number (0 is the default device)");
        } else if (a == "--buffer") {
            if (!hasValue || !ParseInt(args[++i], o.BufferMs) || o.BufferMs < 1 || o.BufferMs > 2000)
                return UsageError(self, "--buffer needs a length of 1..2000 ms");
        } else if (a == "--seconds") {
            if (!hasValue || !ParseNumber(args[++i], o.Seconds) || o.Seconds < MinSeconds ||
                o.Seconds > MaxSeconds)
                return UsageError(self,
                                  "--seconds needs a number of seconds from 0.001 to 604800 (one week)");
        } else if (a == "--from") {
            if (!hasValue || !ParseInt(args[++i], o.From) || o.From < 1 || o.From > OrderCount)
                return UsageError(self, "--from needs an order number of 1.." + std::to_string(OrderCount));
        } else if (a.starts_with("-")) {
            return UsageError(self, "unknown option " + a);
        } else if (o.Module.empty()) {
            o.Module = a;
        } else {
            return UsageError(self, "expected one MODULE");
        }
    }
    if (o.Module.empty()) return UsageError(self, "expected MODULE");

    auto song = LoadModule(o.Module);
    if (cSequencer::IsOrderEmpty(song->Orders[o.From - 1]))
        return Fail("order " + std::to_string(o.From) + " of " + o.Module + " is empty");
    SongEngine engine(*song);
    for (const auto& p : engine.PreloadInstruments()) std::cerr << "warning: " << p << " (its notes are silent)\n";
    TAudioX* chain = engine.ApplySongEffects();

    InterruptGuard interrupt;
    TLiveOutput live;
    live.OnLog = [](TLiveOutput*, const std::string& text) { std::cerr << "brindle-cli: " << text << "\n"; };
    bool timeUp = false;
    auto& speakers = live.GetSpeakers();
    speakers.SetTimeLimit(float(o.Seconds));
    speakers.OnTimeLimitOver = [&](TDevice*) { timeUp = true; };

    engine.PlaySongFrom(o.From);
    live.Initialise(o.Device, o.BufferMs, chain);
    if (speakers.GetUsingNullDevice() && speakers.GetDeviceError().empty())
        std::cerr << "brindle-cli: BRINDLE_AUDIO=null: playing without a sound card\n";

    const bool terminal = isatty(STDOUT_FILENO);
    auto status = [&] {
        std::printf("\rorder %3d  pattern %3d  row %3d  %7.2f s ", int(song->CurOrder), int(song->CurPattern),
                    int(song->CurRow), double(speakers.GetPlayedTime()));
        std::fflush(stdout);
    };
    while (!InterruptSignal() && !timeUp && engine.Playing()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // This thread stands in for the user-interface thread: the audio thread's events run here.
        live.Poll();
        for (const auto& p : engine.LoadPending()) std::cerr << "warning: " << p << "\n";
        for (const auto& p : engine.Mixer().TakeProblems()) std::cerr << "warning: " << p << "\n";
        if (terminal) status();
    }
    live.Shutdown();
    engine.Stop();
    if (terminal) {
        status();
        std::printf("\n");
    }
    if (InterruptSignal()) std::cerr << "brindle-cli: stopped\n";
    if (o.Stats) std::printf("%s\n", speakers.GetStatsSummary().c_str());
    std::fflush(stdout);
    return InterruptSignal() ? InterruptExitCode() : ExitOk;
}

const bool registered = RegisterCommand({
    "play",
    "play a module live on the sound card",
    "usage: brindle-cli play MODULE [--device N] [--buffer MS] [--seconds S] [--from ORDER] [--stats]\n\n"
    "Plays the song of MODULE through its master effects, as the main window does, showing the\n"
    "playing order, pattern and row on a terminal. Ends when the song ends, after S seconds, or\n"
    "on Ctrl+C (exit code 130) or SIGTERM (exit code 143). Without a sound card (or with\n"
    "BRINDLE_AUDIO=null) the song plays on the null device at real-time pace.\n"
    "  --device N     output device from 'brindle-cli devices' (default 0, the default device)\n"
    "  --buffer MS    output buffer length in ms, 1 to 2000 (default 44)\n"
    "  --seconds S    stop after S seconds of output (0.001 to 604800)\n"
    "  --from ORDER   start at this order entry (default 1)\n"
    "  --stats        print callback timing at the end:\n"
    "                 callbacks=N misses=M p50_ms=A p99_ms=B max_ms=C block_ms=D",
    runPlay,
});

} // namespace
} // namespace brindle::cli
