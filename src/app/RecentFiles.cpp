#include "app/RecentFiles.h"

#include "base/AppInfo.h"
#include "base/RegString.h"
#include "base/Switches.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

bool sameName(const std::string& A, const std::string& B) {
    return std::equal(A.begin(), A.end(), B.begin(), B.end(),
                      [](unsigned char X, unsigned char Y) { return std::tolower(X) == std::tolower(Y); });
}

} // namespace

cRecentFilesList::cRecentFilesList() {
    Load();
}

std::string cRecentFilesList::KeyPrefix() {
    const auto& Args = brindle::CommandLine();
    std::string Program =
        Args.empty() ? std::string() : std::filesystem::path(Args.front()).filename().string();
    if (Program.empty()) Program = "brindle";
    return Program + "\\RecentFiles\\";
}

std::string cRecentFilesList::Registry_Value_Get(const std::string& KeyPath, const std::string& Default) {
    return brindle::ReadRegString(KeyPath, Default);
}

void cRecentFilesList::Registry_Value_Set(const std::string& KeyPath, const std::string& Value) {
    brindle::WriteRegString(KeyPath, Value);
}

void cRecentFilesList::Load() {
    Files.clear();
    const std::string Prefix = KeyPrefix();
    int Stored = 0;
    if (!brindle::ParseInt(Registry_Value_Get(Prefix + "Count", "0"), Stored)) Stored = 0;
    // We never store more than 20; a damaged count must not make start-up read keys for ever.
    Stored = std::clamp(Stored, 0, MaxEntries);
    for (int i = 0; i < Stored; ++i)
        Files.push_back(Registry_Value_Get(Prefix + "File" + std::to_string(i), ""));
}

void cRecentFilesList::NotifyOpen(const std::string& FileName) {
    if (FileName.empty()) return;
    const auto Found = std::find_if(Files.begin(), Files.end(),
                                    [&](const std::string& Entry) { return sameName(Entry, FileName); });
    if (Found != Files.end()) Files.erase(Found);
    Files.insert(Files.begin(), FileName);
    if (Count() > MaxEntries) Files.resize(MaxEntries);
    SaveToReg();
}

void cRecentFilesList::SaveToReg() const {
    // One write for the whole list: it is saved on every open.
    const std::string Prefix = KeyPrefix();
    std::vector<std::pair<std::string, std::string>> Keys{{Prefix + "Count", std::to_string(Files.size())}};
    for (std::size_t i = 0; i < Files.size(); ++i)
        Keys.emplace_back(Prefix + "File" + std::to_string(i), Files[i]);
    brindle::WriteRegStrings(Keys);
}

std::string cRecentFilesList::Item(int Index) const {
    return Index >= 0 && Index < Count() ? Files[static_cast<std::size_t>(Index)] : std::string();
}
