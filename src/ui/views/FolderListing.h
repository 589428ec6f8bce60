#pragma once
// One folder as the file browser lists it: the sub-folder names and the file names that pass the
// extension filter, each sorted without regard to letter case. No widgets, so it runs anywhere.
#include <string>
#include <vector>

namespace brindle {

struct TFolderListing {
    std::vector<std::string> Dirs;  // names without path, no "." or ".."
    std::vector<std::string> Files; // names without path
    bool IsRoot = false;            // the folder has no parent: its ".." leads to the drive list
};

// "wav;MP3" -> {"wav", "mp3"}; "" -> {}; a trailing ";" leaves an empty last entry, which
// matches files without an extension.
std::vector<std::string> SplitFileExt(const std::string& FileExt);
// The extension of a file name, lower-cased and without its dot; "" when there is none.
std::string FileExtOf(const std::string& Name);
// An empty filter passes every file.
bool PassesFilter(const std::string& Name, const std::vector<std::string>& Filter);

// Lower case for comparing names: plain ASCII fast, anything else by Unicode case folding.
std::string FoldCase(const std::string& Text);
bool SameNoCase(const std::string& A, const std::string& B);
// Sorted without regard to case; names that differ only in case keep a fixed order.
void SortNoCase(std::vector<std::string>& Names);

// Reads Dir (an absolute folder). On failure returns false with Error set to the system's reason
// ("Permission denied", "No such file or directory") and leaves Out as it was.
bool ListFolder(const std::string& Dir, const std::vector<std::string>& Filter, TFolderListing& Out,
                std::string& Error);

// Paths use "/"; a folder never ends with one except the root itself.
std::string NormalDir(const std::string& Dir);
std::string JoinPath(const std::string& Dir, const std::string& Name);
std::string ParentDir(const std::string& Dir);
std::string LastComponent(const std::string& Path);

} // namespace brindle
