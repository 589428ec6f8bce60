#include "base/RegString.h"

#include "base/AppInfo.h"
#include "base/Switches.h"

#include <QSettings>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace brindle {
namespace {

std::mutex folderLock;
std::string settingsFolder;

std::unique_ptr<QSettings> openStore() {
#ifdef _WIN32
    if (settingsFolder.empty())
        return std::make_unique<QSettings>("HKEY_CURRENT_USER", QSettings::NativeFormat);
#endif
    std::lock_guard g(folderLock);
    if (!settingsFolder.empty())
        return std::make_unique<QSettings>(QString::fromStdString(settingsFolder + "/registry.ini"),
                                           QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Brindle", "registry");
}

QString valuePath(std::string key) {
    std::replace(key.begin(), key.end(), '\\', '/');
    return QString::fromStdString(key + "/String");
}

} // namespace

void SetSettingsFolder(const std::string& folder) {
    std::lock_guard g(folderLock);
    settingsFolder = folder;
}

std::string ReadRegString(const std::string& key, const std::string& defaultValue) {
    auto store = openStore();
    const auto v = store->value(valuePath(key)).toString().toStdString();
    return v.empty() ? defaultValue : v;
}

void WriteRegString(const std::string& key, const std::string& value) { WriteRegStrings({{key, value}}); }

void WriteRegStrings(const std::vector<std::pair<std::string, std::string>>& keysAndValues) {
    auto store = openStore();
    for (const auto& [key, value] : keysAndValues)
        store->setValue(valuePath(key), QString::fromStdString(value));
    store->sync();
}

bool ParseBool(const std::string& text, bool& value) {
    std::string t = text;
    t.erase(0, t.find_first_not_of(" \t"));
    t.erase(t.find_last_not_of(" \t") + 1);
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (t == "true") return value = true, true;
    if (t == "false") return value = false, true;
    if (t.empty()) return false;
    char* end = nullptr;
    const double d = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return false;
    value = d != 0;
    return true;
}

} // namespace brindle

TRegString::TRegString(std::string name, std::string defaultValue, bool storeNow)
    : Name(std::move(name)), Default(std::move(defaultValue)) {
    if (storeNow) Set(Get());
}

std::string TRegString::Key() const { return "Software\\" + brindle::ApplicationTitle() + "\\" + Name; }

std::string TRegString::Get() const { return brindle::ReadRegString(Key(), Default); }

int TRegString::AsInt() const {
    int v = 0;
    return brindle::ParseInt(Get(), v) ? v : 0;
}

bool TRegString::AsBool() const {
    bool v = false;
    return brindle::ParseBool(Get(), v) && v;
}

void TRegString::Set(const std::string& value) const { brindle::WriteRegString(Key(), value); }
void TRegString::SetInt(int value) const { Set(std::to_string(value)); }
void TRegString::SetBool(bool value) const { Set(BoolText(value)); }
