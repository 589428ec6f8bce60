#include "support/JackServer.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace brindle::test {

JackServer::JackServer() : ServerName("brindle-test-" + std::to_string(::getpid())) {
    ::setenv("JACK_DEFAULT_SERVER", ServerName.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    // Without a session bus the server must not ask for the sound card first.
    const std::vector<std::string> env{"JACK_NO_AUDIO_RESERVATION=1"};
    Server =
        // A loaded machine (tests run in parallel) delays the clients: a long client time-out keeps
        // the server from dropping them, and long periods keep its own load low.
        std::make_unique<RunningProcess>(std::vector<std::string>{"jackd", "-n", ServerName, "--no-realtime",
                                                                  "-t", "10000", "-d", "dummy", "-r", "44100",
                                                                  "-p", "2048"},
                                         env);
    if (!Server->Started()) {
        Problem = "jackd could not be started (scripts/setup installs it)";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (RunProcess({"jack_lsp", "-s", ServerName}, env).exitCode == 0) {
            IsReady = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Server->Signal(SIGTERM);
    Problem = "jackd did not answer within 10 s: " + Server->Wait().err;
}

JackServer::~JackServer() {
    if (Server && Server->Started()) {
        Server->Signal(SIGTERM);
        Server->Wait();
    }
    ::unsetenv("JACK_DEFAULT_SERVER");
}

} // namespace brindle::test
