#pragma once
// Append-only start/end markers, written only when "flog" (exact case) is on the command line.
#include <mutex>
#include <string>

class cMutex {
public:
    void Lock() { M.lock(); }
    void Unlock() { M.unlock(); }

private:
    std::mutex M;
};

namespace brindle {

void FileLog(const std::string& text);
// log.txt in the application's local data folder (Brindle/ under the user data folder).
std::string FileLogPath();
// Forget the first-call decision, so tests can switch the log on and off.
void ResetFileLog();

} // namespace brindle
