#include "song/ModuleText.h"

#include "base/RegString.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace brindle::module {

namespace {
// The text between leading and trailing blanks, with a leading '+' dropped.
std::pair<const char*, const char*> trimmed(const char* text) {
    const char* b = text;
    const char* e = text + std::strlen(text);
    while (b < e && (*b == ' ' || *b == '\t' || *b == '\r' || *b == '\n')) ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\r' || e[-1] == '\n')) --e;
    if (b < e && *b == '+') ++b;
    return {b, e};
}
} // namespace

std::string FloatText(float value) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, double(value), std::chars_format::general, 15);
    return std::string(buf, end);
}

std::string IntText(int value) { return std::to_string(value); }
std::string BoolNumberText(bool value) { return value ? "-1" : "0"; }
std::string BoolWordText(bool value) { return value ? "true" : "false"; }

int ReadInt(const char* text) {
    auto [b, e] = trimmed(text);
    double d = 0;
    auto [ptr, ec] = std::from_chars(b, e, d);
    if (ec != std::errc() || ptr != e || !std::isfinite(d)) return 0;
    d = std::trunc(d);
    if (d > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (d < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return int(d);
}

float ReadFloat(const char* text, bool* ok) {
    auto [b, e] = trimmed(text);
    float f = 0;
    auto [ptr, ec] = std::from_chars(b, e, f);
    const bool good = ec == std::errc() && ptr == e && std::isfinite(f);
    if (ok) *ok = good;
    return good ? f : 0.0f;
}

TNumberText ReadNumber(const char* text) {
    auto [b, e] = trimmed(text);
    if (b == e) return {};
    double value = 0;
    auto [ptr, ec] = std::from_chars(b, e, value);
    if (ptr != e || (ec != std::errc() && ec != std::errc::result_out_of_range))
        return {TNumberText::NotNumber, 0};
    if (ec == std::errc::result_out_of_range) {
        // Too large unless the exponent is negative or the digits start "0." / ".".
        const char* mark = std::find_if(b, e, [](char c) { return c == 'e' || c == 'E'; });
        const char* digits = (*b == '-') ? b + 1 : b;
        const bool tiny =
            (mark != e && mark + 1 != e && mark[1] == '-') ||
            (mark == e && (*digits == '.' || (*digits == '0' && digits + 1 != e && digits[1] == '.')));
        value = tiny ? 0.0 : std::numeric_limits<double>::max();
        if (*b == '-') value = -value;
    }
    return {TNumberText::Number, value};
}

bool ReadBool(const char* text) {
    bool v = false;
    return brindle::ParseBool(text, v) && v;
}

} // namespace brindle::module
