#pragma once
// A JACK server of the test's own on the dummy driver: real MIDI ports on a machine without
// sound hardware or an ALSA sequencer. The server's name goes into this process's environment,
// so JACK clients made afterwards reach it (and never start one of their own).
#include "support/RunProcess.h"

#include <memory>
#include <string>

namespace brindle::test {

class JackServer {
  public:
    JackServer();
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // True once the server answers; otherwise Why says what went wrong.
    bool Ready() const { return IsReady; }
    const std::string& Why() const { return Problem; }
    const std::string& Name() const { return ServerName; }

  private:
    std::string ServerName;
    std::unique_ptr<RunningProcess> Server;
    bool IsReady = false;
    std::string Problem;
};

} // namespace brindle::test
