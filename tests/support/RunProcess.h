#pragma once
// Runs a program without a shell and collects its exit code and output.
#include <string>
#include <vector>

namespace brindle::test {

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
// Runs build/brindle-cli with the given arguments.
ProcessResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {});

} // namespace brindle::test
