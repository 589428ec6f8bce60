#include "base/FileLog.h"

#include "base/AppInfo.h"

#include <QStandardPaths>

#include <atomic>
#include <cstdio>
#include <filesystem>

namespace brindle {
namespace {
cMutex logMutex;
// Read without the lock on the fast path, so a log that is off costs one load.
std::atomic<bool> enabled{false};
std::atomic<bool> firstCall{true};
} // namespace

std::string FileLogPath() {
    // The programs set no Qt application name, so name our folder ourselves.
    auto folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
    if (folder.empty()) folder = std::filesystem::temp_directory_path().string();
    return (std::filesystem::path(folder) / "Brindle" / "log.txt").string();
}

void FileLog(const std::string& text) {
    if (!firstCall && !enabled) return;
    logMutex.Lock();
    if (firstCall) {
        firstCall = false;
        for (const auto& arg : CommandLine())
            if (arg == "flog") enabled = true;
        if (enabled) {
            std::error_code ec;
            std::filesystem::create_directories(std::filesystem::path(FileLogPath()).parent_path(), ec);
            std::filesystem::remove(FileLogPath(), ec);
        }
    }
    if (enabled) {
        if (std::FILE* f = std::fopen(FileLogPath().c_str(), "ab")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fwrite("\r\n", 1, 2, f);
            std::fclose(f);
        }
    }
    logMutex.Unlock();
}

void ResetFileLog() {
    logMutex.Lock();
    enabled = false;
    firstCall = true;
    logMutex.Unlock();
}

} // namespace brindle
