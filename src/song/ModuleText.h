#pragma once
// Text forms of numbers and flags in module files. Locale-independent ("." always).
#include <string>

namespace brindle::module {

// The single widened to double, up to 15 significant digits: 0.8f -> "0.800000011920929".
std::string FloatText(float value);
std::string IntText(int value);
std::string BoolNumberText(bool value); // "-1" / "0"
std::string BoolWordText(bool value);   // "true" / "false"

// Decimal number truncated toward zero and clamped into int; 0 when the text is not a number.
int ReadInt(const char* text);
// Decimal float; 0 when the text is not a number. `ok` tells whether it was one.
float ReadFloat(const char* text, bool* ok = nullptr);
// A number attribute as written. Number holds the value in double precision, which may be a NaN or
// an infinity ("nan", "inf"); a number beyond double range reads as the largest double, one too
// small as 0.
struct TNumberText {
    enum TKind { Missing, NotNumber, Number } Kind = Missing; // Missing: absent or blank
    double Value = 0;
};
TNumberText ReadNumber(const char* text);
// "true"/"false" in any case, or a number (0 false, other true); false when neither.
bool ReadBool(const char* text);

} // namespace brindle::module
