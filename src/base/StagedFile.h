#pragma once
// An output written beside its target under a temporary name and renamed over the target only on
// success, so a failed or cancelled write never leaves a half-written file at the target.
//
// A target that is a symbolic link is written through the link: the file it names is replaced,
// beside itself, and the link stays a link. A replaced file keeps its permissions. A folder, pipe,
// device or socket at the target is refused before anything is written.
#include <filesystem>
#include <sys/types.h>

namespace brindle {

class TStagedFile {
public:
    // Creates the (empty) temporary file; throws brindle::Error when the target is refused or
    // its folder cannot take a file.
    explicit TStagedFile(std::filesystem::path Target);
    // Removes the temporary file unless it was committed.
    ~TStagedFile();
    TStagedFile(const TStagedFile&) = delete;
    TStagedFile& operator=(const TStagedFile&) = delete;

    // The path as given, for messages.
    const std::filesystem::path& GetTarget() const { return Target; }
    // The file that is replaced: the target, or the file its links lead to.
    const std::filesystem::path& GetDestination() const { return Destination; }
    const std::filesystem::path& GetTemporary() const { return Temporary; }
    // Renames the temporary file over the destination; throws brindle::Error on failure.
    void Commit();

private:
    [[noreturn]] void Fail(const std::string& Reason) const;

    std::filesystem::path Target;
    std::filesystem::path Destination;
    std::filesystem::path Temporary;
    bool KeepMode = false; // the destination existed: its permissions carry over
    mode_t Mode = 0;
    bool Committed = false;
};

} // namespace brindle
