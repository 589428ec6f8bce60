#pragma once
// A child program started from an argument vector (never through a shell, so no argument is ever
// interpreted), with a pipe on its standard input. Its standard output and error go to a private
// temporary file so they can be quoted when the program fails.
#include <string>
#include <sys/types.h>
#include <vector>

namespace brindle {

class TProcess {
public:
    TProcess() = default;
    // A program still running is stopped (SIGTERM) and reaped.
    ~TProcess();
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    // Starts Argv[0], searched on PATH. Returns false when no such program exists; throws
    // brindle::Error for any other failure.
    bool Start(const std::vector<std::string>& Argv);
    // Writes all of Data to the program's standard input; false when the program no longer reads it.
    bool Write(const void* Data, size_t Len);
    void CloseInput();
    // Waits for the program to end: its exit code, or 128 + the signal that ended it.
    int Wait();
    // Best-effort: asks for the real-time scheduling class; false (errno set) when refused.
    bool RaisePriority();
    // The last Limit bytes the program wrote to its standard output and error.
    std::string Output(size_t Limit = 2000) const;
    pid_t GetPid() const { return Pid; }

private:
    pid_t Pid = -1;
    int InputFd = -1;
    int OutputFd = -1;
    bool Reaped = false;
    int ExitCode = -1;
};

} // namespace brindle
