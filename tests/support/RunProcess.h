#pragma once
// Runs a program without a shell and collects its exit code and output.
#include "support/TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace brindle::test {

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// A program running in the background, its output collected in files; killed and reaped when
// dropped while still running (a failing test leaves no process behind).
class RunningProcess {
  public:
    explicit RunningProcess(const std::vector<std::string>& argv,
                            const std::vector<std::string>& extraEnv = {});
    ~RunningProcess();
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    bool Started() const { return Pid > 0; }
    void Signal(int Number);
    // Waits for the program to end.
    ProcessResult Wait();

  private:
    TempDir Dir;
    pid_t Pid = 0;
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
// Runs build/brindle-cli with the given arguments.
ProcessResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {});
// The argument vector that runs build/brindle-cli with the given arguments.
std::vector<std::string> CliArgs(const std::vector<std::string>& args);

} // namespace brindle::test
