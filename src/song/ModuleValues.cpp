#include "song/ModuleValues.h"

#include "song/ModuleText.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace brindle::module {

namespace {

// The attribute's text as a warning shows it: trimmed, and cut when absurdly long.
std::string shownText(const char* Text) {
    const std::string_view all(Text);
    const auto b = all.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    const std::string_view trimmed = all.substr(b, all.find_last_not_of(" \t\r\n") - b + 1);
    constexpr std::size_t MaxShown = 32;
    std::string shown(trimmed.substr(0, MaxShown));
    if (trimmed.size() > MaxShown) shown.append("...");
    return shown;
}

std::string valueText(float Value) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, Value);
    return std::string(buf, end);
}

// "<text> <why>; using <value>", the text quoted when it is not a number.
TCheckedValue changed(const char* Text, bool Quoted, const char* Why, float Value) {
    std::string change;
    if (Quoted) change.push_back('"');
    change.append(shownText(Text));
    if (Quoted) change.push_back('"');
    change.append(" ").append(Why).append("; using ").append(valueText(Value));
    return {Value, std::move(change)};
}

} // namespace

TCheckedValue CheckValue(const char* Text, const TValueRange& Range, float Absent) {
    const TNumberText number = ReadNumber(Text);
    if (number.Kind == TNumberText::Missing) return {Absent, {}};
    if (number.Kind == TNumberText::NotNumber) return changed(Text, true, "is not a number", Range.Default);
    double value = number.Value;
    if (!std::isfinite(value)) return changed(Text, false, "is not a finite number", Range.Default);
    if (Range.WholeNumber) value = std::trunc(value);
    // A stretch or tempo of 0 or less always played as the default; it is named all the same.
    if (Range.NonPositiveIsDefault && value <= 0)
        return changed(Text, false, "is out of range", Range.Default);
    // Compared as the single the song will hold, so 48.00000001 is not "out of range".
    constexpr double FloatMax = std::numeric_limits<float>::max();
    const float held = float(std::fmax(-FloatMax, std::fmin(FloatMax, value)));
    const bool beyondFloat = std::fabs(value) > FloatMax;
    if (held < Range.Min || (beyondFloat && value < 0))
        return changed(Text, false, "is out of range", Range.Min);
    if (held > Range.Max || (beyondFloat && value > 0))
        return changed(Text, false, "is out of range", Range.Max);
    return {held, {}};
}

void TLoadWarnings::Add(std::string Text) {
    if (Texts.size() < Limit)
        Texts.push_back(std::move(Text));
    else
        ++LeftOut;
}

std::vector<std::string> TLoadWarnings::Take() {
    auto out = std::move(Texts);
    if (LeftOut)
        out.push_back("... and " + std::to_string(LeftOut) + " more value" + (LeftOut == 1 ? "" : "s") +
                      " changed or skipped");
    Texts.clear();
    LeftOut = 0;
    return out;
}

} // namespace brindle::module
