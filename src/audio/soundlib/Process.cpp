#include "audio/soundlib/Process.h"

#include "base/Error.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace brindle {

namespace {
void CloseFd(int& Fd) {
    if (Fd >= 0) close(Fd);
    Fd = -1;
}

// An anonymous file for the program's messages: created and unlinked at once.
int AnonymousFile() {
    const char* Dir = std::getenv("TMPDIR");
    std::string Pattern = std::string(Dir && *Dir ? Dir : "/tmp") + "/brindle-process-XXXXXX";
    int Fd = mkostemp(Pattern.data(), O_CLOEXEC);
    if (Fd >= 0) unlink(Pattern.c_str());
    return Fd;
}
} // namespace

TProcess::~TProcess() {
    CloseInput();
    if (Pid > 0 && !Reaped) {
        kill(Pid, SIGTERM);
        Wait();
    }
    CloseFd(OutputFd);
}

bool TProcess::Start(const std::vector<std::string>& Argv) {
    if (Argv.empty() || Pid > 0) throw Error("Can't start a program: nothing to start");
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0) throw Error(std::string("Can't start ") + Argv[0] + ": " + std::strerror(errno));
    OutputFd = AnonymousFile();
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    // dup2 clears close-on-exec on the copies; the originals close at exec.
    posix_spawn_file_actions_adddup2(&Actions, Pipe[0], STDIN_FILENO);
    if (OutputFd >= 0) {
        posix_spawn_file_actions_adddup2(&Actions, OutputFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&Actions, OutputFd, STDERR_FILENO);
    }
    std::vector<char*> Args;
    for (const auto& A : Argv) Args.push_back(const_cast<char*>(A.c_str()));
    Args.push_back(nullptr);
    const int Result = posix_spawnp(&Pid, Args[0], &Actions, nullptr, Args.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    close(Pipe[0]);
    if (Result != 0) {
        close(Pipe[1]);
        Pid = -1;
        if (Result == ENOENT) return false;
        throw Error("Can't start " + Argv[0] + ": " + std::strerror(Result));
    }
    InputFd = Pipe[1];
    return true;
}

bool TProcess::Write(const void* Data, size_t Len) {
    if (InputFd < 0) return false;
    // A program that stopped reading would raise SIGPIPE: keep it from ending this process.
    sigset_t Pipe, Saved;
    sigemptyset(&Pipe);
    sigaddset(&Pipe, SIGPIPE);
    sigset_t Pending;
    sigpending(&Pending);
    const bool WasPending = sigismember(&Pending, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &Pipe, &Saved);
    const auto* P = static_cast<const char*>(Data);
    bool Ok = true;
    while (Len > 0) {
        const ssize_t Done = write(InputFd, P, Len);
        if (Done < 0) {
            if (errno == EINTR) continue;
            if (errno == EPIPE && !WasPending) {
                const timespec Zero{0, 0};
                sigtimedwait(&Pipe, nullptr, &Zero);
            }
            Ok = false;
            break;
        }
        P += Done;
        Len -= static_cast<size_t>(Done);
    }
    pthread_sigmask(SIG_SETMASK, &Saved, nullptr);
    return Ok;
}

void TProcess::CloseInput() { CloseFd(InputFd); }

int TProcess::Wait() {
    if (Pid <= 0) return -1;
    if (Reaped) return ExitCode;
    int Status = 0;
    while (waitpid(Pid, &Status, 0) < 0) {
        if (errno != EINTR) {
            Reaped = true;
            return ExitCode = -1;
        }
    }
    Reaped = true;
    ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
    return ExitCode;
}

bool TProcess::RaisePriority() {
    if (Pid <= 0) return false;
    sched_param Param{};
    Param.sched_priority = sched_get_priority_min(SCHED_RR);
    return sched_setscheduler(Pid, SCHED_RR, &Param) == 0;
}

std::string TProcess::Output(size_t Limit) const {
    if (OutputFd < 0) return "";
    struct stat Info{};
    if (fstat(OutputFd, &Info) != 0) return "";
    const auto Size = static_cast<size_t>(Info.st_size);
    const size_t From = Size > Limit ? Size - Limit : 0;
    std::string Text(Size - From, '\0');
    const ssize_t Got = pread(OutputFd, Text.data(), Text.size(), static_cast<off_t>(From));
    Text.resize(Got > 0 ? static_cast<size_t>(Got) : 0);
    return Text;
}

} // namespace brindle
