#pragma once
// The recently opened song files, newest first, kept in the settings store under the program's
// file name: E\RecentFiles\Count and E\RecentFiles\File<i>, each with the value "String".
// Names match without regard to letter case; the list holds at most 20.
#include <string>
#include <vector>

class cRecentFilesList {
  public:
    static constexpr int MaxEntries = 20;

    // Loads the stored list.
    cRecentFilesList();

    void Load();
    // Moves the file to the top, or adds it there and drops the oldest beyond 20; then saves.
    void NotifyOpen(const std::string& FileName);
    // Writes the count and every entry; keys beyond the count are left and never read.
    void SaveToReg() const;
    // Empties the list; the store keeps the old one until the next save.
    void Clear() { Files.clear(); }

    int Count() const { return static_cast<int>(Files.size()); }
    // Entry Index (0 = newest); empty past the end.
    std::string Item(int Index) const;
    const std::vector<std::string>& Items() const { return Files; }

    // The "String" value of one key relative to the user's store; Default when missing or empty.
    static std::string Registry_Value_Get(const std::string& KeyPath, const std::string& Default);
    static void Registry_Value_Set(const std::string& KeyPath, const std::string& Value);
    // E + "\RecentFiles\": E is the running program's file name with its extension.
    static std::string KeyPrefix();

  private:
    std::vector<std::string> Files;
};
