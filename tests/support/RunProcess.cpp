#include "support/RunProcess.h"

#include "support/TempDir.h"

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

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    TempDir dir;
    const auto outPath = (dir / "out").string();
    const auto errPath = (dir / "err").string();

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

    ProcessResult result;
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

ProcessResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> argv{BRINDLE_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, extraEnv);
}

} // namespace brindle::test
