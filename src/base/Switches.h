#pragma once
// Command-line switches: whole arguments after the program path, matched ignoring letter case.
#include <string>
#include <vector>

namespace brindle {

bool SwitchPresent(const std::string& name);
// The argument after the first match; empty when absent or last.
std::string SwitchValue(const std::string& name);
int SwitchInt(const std::string& name, int defaultValue);

// Splits text at every delimiter, keeping empty pieces; an empty text gives an empty list.
void Split(const std::string& text, const std::string& delimiter, std::vector<std::string>& list);

// Decimal integer parse of the whole text (surrounding blanks allowed); false when it is not one.
bool ParseInt(const std::string& text, int& value);

} // namespace brindle
