#pragma once
// An output written beside its target under a temporary name and renamed over the target only on
// success, so a failed or cancelled write never leaves a half-written file at the target.
#include <filesystem>

namespace brindle {

class TStagedFile {
public:
    explicit TStagedFile(std::filesystem::path Target);
    // Removes the temporary file unless it was committed.
    ~TStagedFile();
    TStagedFile(const TStagedFile&) = delete;
    TStagedFile& operator=(const TStagedFile&) = delete;

    const std::filesystem::path& GetTarget() const { return Target; }
    const std::filesystem::path& GetTemporary() const { return Temporary; }
    // Renames the temporary file over the target; throws brindle::Error on failure.
    void Commit();

private:
    std::filesystem::path Target;
    std::filesystem::path Temporary;
    bool Committed = false;
};

} // namespace brindle
