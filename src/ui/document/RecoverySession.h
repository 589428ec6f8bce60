#pragma once
// Unsaved work of one running window, kept in a recovery copy of its own. Each window owns its
// copy under a lock for as long as it runs, so a second window, or a later start, offers only
// copies whose owner is gone (it crashed or was killed) and never takes a live one. The lock is
// the system's file lock, which ends with its process: no guessing from process ids or ages.
#include <QDateTime>

#include <memory>
#include <string>
#include <vector>

class cSequencer;

class TRecoverySession {
  public:
    // A copy left by a window that is gone.
    struct TOrphan {
        std::string CopyPath;     // the recovery module
        std::string OriginalPath; // the song's own file; empty when it was untitled
        QDateTime Time;           // when the copy was written
        // "Unsaved changes to demo.hym from 14:02"
        std::string Describe() const;
    };

    TRecoverySession();
    ~TRecoverySession();
    TRecoverySession(const TRecoverySession&) = delete;
    TRecoverySession& operator=(const TRecoverySession&) = delete;

    // This window's copy.
    const std::string& CopyPath() const { return Copy; }
    bool HasCopy() const;
    // Writes the song as this window's copy, noting the song's own path (throws brindle::Error).
    void Write(cSequencer& Song, const std::string& OriginalPath);
    // Removes this window's copy (after a save, on a clean exit).
    void Remove();

    // Copies whose owner is gone, oldest first. Each is claimed (locked) until Discard or Release.
    std::vector<TOrphan> ClaimOrphans();
    void Discard(const TOrphan& Orphan);
    // Leaves the claimed copies for a later start.
    void ReleaseClaims();

  private:
    std::string Id;
    std::string Copy;
    // Open lock files, each holding its lock while open.
    class TFileLock;
    std::unique_ptr<TFileLock> Lock;
    std::vector<std::unique_ptr<TFileLock>> Claims;
};
