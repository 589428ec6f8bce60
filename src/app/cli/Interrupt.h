#pragma once
// Ctrl+C (SIGINT) and SIGTERM during a long command only raise a flag. The command's loop sees it
// and ends by normal unwinding, so devices are closed and staged output files removed; the
// process then exits as a shell expects of a program ended by that signal.
namespace brindle::cli {

class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// The signal that arrived while a guard was in place, or 0.
int InterruptSignal();
// 128 + that signal: 130 for Ctrl+C, 143 for SIGTERM.
int InterruptExitCode();

} // namespace brindle::cli
