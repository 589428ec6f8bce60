// brindle: the main window. brindle [MODULE] [switches]
#include "app/App.h"
#include "base/AppInfo.h"
#include "ui/Application.h"
#include "ui/MainForm.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* Version = "1.05.001";

void printUsage() {
    std::printf(
        "usage: brindle [MODULE] [switches]\n\n"
        "Opens the main window, with MODULE (.hym) when one is named.\n\n"
        "switches (whole arguments, any letter case):\n"
        "  save PATH        after start-up, save the song to PATH\n"
        "  savetowav PATH   after start-up, export the song to PATH as WAV\n"
        "  samplecut        after start-up, open the sample cut editor\n"
        "  ide              Escape closes the main window\n"
        "  showkey          the pattern grid shows the code of each pressed key in the caption\n"
        "  trace, debug     show the trace window\n"
        "  traceheight N    height of the trace window\n"
        "  traceup          show the trace window at the top left corner\n"
        "  debugmax         show the trace window maximised\n"
        "  noclearlog       the trace window never clears itself\n"
        "  flog             write start and end markers to the file log (exact case)\n\n"
        "  --help           show this text\n"
        "  --version        show the version\n");
}

// SIGTERM and SIGINT close the window as the user would, keeping unsaved work in the recovery
// file instead of asking: the handler only writes a byte the event loop reads.
int signalPipe[2] = {-1, -1};
void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// With no session bus to reach, the window's first accessibility check would have the bus
// library try to start one (dbus-launch) and wait for it. Nothing the window uses the bus for
// (screen readers, portals, global menus) can be on a bus started that late, so it is not
// started. True when the environment was changed for that.
bool skipBusAutolaunch() {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS")) return false;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && ::access((std::string(runtime) + "/bus").c_str(), F_OK) == 0) return false;
    return ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0) == 0;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("brindle %s\n", Version);
            return 0;
        }
    }
    const bool busSkipped = skipBusAutolaunch();
    brindle::SetCommandLine(argc, argv);
    brindle::SetApplicationTitle("Quillon Brindle");
    TApplication app(argc, argv);
    app.setApplicationName("Quillon Brindle");
    app.setApplicationVersion(Version);
    app.setDesktopFileName("brindle");

    cApp Tolm;
    TMainForm form(Tolm);
    // Programs the window starts (an external sample editor) get the environment it was given.
    if (busSkipped) ::unsetenv("DBUS_SESSION_BUS_ADDRESS");

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &form);
        QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
            char byte;
            [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
            form.Terminate();
        });
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
    form.show();
    return app.exec();
}
