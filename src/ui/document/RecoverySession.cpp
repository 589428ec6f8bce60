#include "ui/document/RecoverySession.h"

#include "app/ProjectFiles.h"
#include "base/Error.h"
#include "song/Sequencer.h"

#include <QFileInfo>
#include <QSettings>
#include <QUuid>

#include <algorithm>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path folder() { return brindle::RecoveryFolder(); }
QString lockPath(const fs::path& Copy) { return QString::fromStdString(fs::path(Copy).replace_extension(".lock").string()); }
QString infoPath(const fs::path& Copy) { return QString::fromStdString(fs::path(Copy).replace_extension(".info").string()); }

} // namespace

class TRecoverySession::TFileLock {
  public:
    explicit TFileLock(const QString& Path) : Fd(::open(Path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {}
    ~TFileLock() {
        if (Fd >= 0) ::close(Fd);
    }
    bool TryLock() { return Fd >= 0 && ::flock(Fd, LOCK_EX | LOCK_NB) == 0; }

  private:
    int Fd;
};

std::string TRecoverySession::TOrphan::Describe() const {
    const std::string name = OriginalPath.empty() ? "Untitled" : fs::path(OriginalPath).filename().string();
    const QString when = Time.date() == QDate::currentDate() ? Time.toString("HH:mm")
                                                              : Time.toString("yyyy-MM-dd HH:mm");
    return "Unsaved changes to " + name + " from " + when.toStdString();
}

TRecoverySession::TRecoverySession() {
    Id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    Copy = (folder() / (Id + ".hym")).string();
    std::error_code ec;
    fs::create_directories(folder(), ec);
    // Without a lock (a read-only data folder) the copy is still written where it can be.
    Lock = std::make_unique<TFileLock>(lockPath(Copy));
    Lock->TryLock();
}

TRecoverySession::~TRecoverySession() {
    ReleaseClaims();
    if (!HasCopy()) QFile::remove(lockPath(Copy));
}

bool TRecoverySession::HasCopy() const {
    std::error_code ec;
    return fs::is_regular_file(Copy, ec);
}

void TRecoverySession::Write(cSequencer& Song, const std::string& OriginalPath) {
    brindle::WriteRecoveryFile(Song, Copy);
    QSettings info(infoPath(Copy), QSettings::IniFormat);
    info.setValue("Original", QString::fromStdString(OriginalPath));
    info.sync();
}

void TRecoverySession::Remove() {
    std::error_code ec;
    fs::remove(Copy, ec);
    QFile::remove(infoPath(Copy));
}

std::vector<TRecoverySession::TOrphan> TRecoverySession::ClaimOrphans() {
    std::vector<TOrphan> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder(), ec)) {
        const fs::path copy = entry.path();
        if (copy.extension() != ".hym" || copy == fs::path(Copy) || !entry.is_regular_file(ec)) continue;
        auto claim = std::make_unique<TFileLock>(lockPath(copy));
        if (!claim->TryLock()) continue; // its window still runs
        TOrphan orphan;
        orphan.CopyPath = copy.string();
        orphan.OriginalPath = QSettings(infoPath(copy), QSettings::IniFormat).value("Original").toString().toStdString();
        orphan.Time = QFileInfo(QString::fromStdString(copy.string())).lastModified();
        found.push_back(std::move(orphan));
        Claims.push_back(std::move(claim));
    }
    std::sort(found.begin(), found.end(), [](const TOrphan& A, const TOrphan& B) { return A.Time < B.Time; });
    return found;
}

void TRecoverySession::Discard(const TOrphan& Orphan) {
    std::error_code ec;
    fs::remove(Orphan.CopyPath, ec);
    QFile::remove(infoPath(Orphan.CopyPath));
    QFile::remove(lockPath(Orphan.CopyPath));
}

void TRecoverySession::ReleaseClaims() {
    // Closing a claim's file ends its lock; the copies stay for a later start.
    Claims.clear();
}
