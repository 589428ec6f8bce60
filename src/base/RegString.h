#pragma once
// Settings kept as text, one key per setting: Software\<title>\<Name>, value "String".
// On Windows this is the user's registry; elsewhere an INI file in the user's config folder.
#include <string>
#include <utility>
#include <vector>

namespace brindle {

// Tests redirect the settings to a folder of their own.
void SetSettingsFolder(const std::string& folder);

std::string ReadRegString(const std::string& key, const std::string& defaultValue);
void WriteRegString(const std::string& key, const std::string& value);
// Several keys in one write of the store (each write waits for the disk twice).
void WriteRegStrings(const std::vector<std::pair<std::string, std::string>>& keysAndValues);

} // namespace brindle

class TRegString {
public:
    std::string Name;
    std::string Default;

    TRegString(std::string name, std::string defaultValue, bool storeNow = false);

    std::string Get() const;
    int AsInt() const;
    bool AsBool() const;
    void Set(const std::string& value) const;
    void SetInt(int value) const;
    void SetBool(bool value) const;
    // The key and a value, for writing several settings at once (WriteRegStrings).
    std::pair<std::string, std::string> Entry(std::string value) const { return {Key(), std::move(value)}; }
    static std::string BoolText(bool value) { return value ? "-1" : "0"; }

private:
    std::string Key() const;
};

namespace brindle {
// "true"/"false" in any letter case, or a number (0 false, any other true). False when unparsable.
bool ParseBool(const std::string& text, bool& value);
} // namespace brindle
