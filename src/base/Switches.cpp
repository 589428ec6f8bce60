#include "base/Switches.h"

#include "base/AppInfo.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace brindle {
namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Index of the first argument (after argument 0) equal to name, or 0 when none.
size_t findSwitch(const std::string& name) {
    const auto& args = CommandLine();
    const auto wanted = lower(name);
    for (size_t i = 1; i < args.size(); ++i)
        if (lower(args[i]) == wanted) return i;
    return 0;
}

} // namespace

bool SwitchPresent(const std::string& name) { return findSwitch(name) != 0; }

std::string SwitchValue(const std::string& name) {
    const size_t i = findSwitch(name);
    const auto& args = CommandLine();
    if (i == 0 || i + 1 >= args.size()) return {};
    return args[i + 1];
}

int SwitchInt(const std::string& name, int defaultValue) {
    int v = 0;
    return ParseInt(SwitchValue(name), v) ? v : defaultValue;
}

bool ParseInt(const std::string& text, int& value) {
    size_t b = text.find_first_not_of(" \t");
    size_t e = text.find_last_not_of(" \t");
    if (b == std::string::npos) return false;
    const char* first = text.data() + b;
    const char* last = text.data() + e + 1;
    if (*first == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last;
}

void Split(const std::string& text, const std::string& delimiter, std::vector<std::string>& list) {
    list.clear();
    if (text.empty()) return;
    if (delimiter.empty()) {
        list.push_back(text);
        return;
    }
    size_t start = 0;
    for (size_t at; (at = text.find(delimiter, start)) != std::string::npos; start = at + delimiter.size())
        list.push_back(text.substr(start, at - start));
    list.push_back(text.substr(start));
}

} // namespace brindle
