#include "support/RunProcess.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace brindle::test {

namespace {
std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
} // namespace

RunningProcess::RunningProcess(const std::vector<std::string>& argv,
                               const std::vector<std::string>& extraEnv) {
    const auto outPath = (Dir / "out").string();
    const auto errPath = (Dir / "err").string();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    for (const auto& e : extraEnv) envStrings.push_back(e);
    std::vector<char*> env;
    for (auto& e : envStrings) env.push_back(e.data());
    env.push_back(nullptr);

    if (posix_spawnp(&Pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) Pid = 0;
    posix_spawn_file_actions_destroy(&actions);
}

RunningProcess::~RunningProcess() {
    if (Pid <= 0) return;
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
}

void RunningProcess::Signal(int Number) {
    if (Pid > 0) kill(Pid, Number);
}

ProcessResult RunningProcess::Wait() {
    ProcessResult result;
    if (Pid > 0) {
        int status = 0;
        waitpid(Pid, &status, 0);
        Pid = 0;
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    }
    result.out = slurp(Dir / "out");
    result.err = slurp(Dir / "err");
    return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    return RunningProcess(argv, extraEnv).Wait();
}

std::vector<std::string> CliArgs(const std::vector<std::string>& args) {
    std::vector<std::string> argv{BRINDLE_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

ProcessResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    return RunProcess(CliArgs(args), extraEnv);
}

} // namespace brindle::test
