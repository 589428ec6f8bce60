#pragma once
// The process's command line and application title, set once by each program's main.
#include <string>
#include <vector>

namespace brindle {

void SetCommandLine(int argc, const char* const* argv);
void SetCommandLine(std::vector<std::string> args);
// Every argument including argument 0, the program's own path.
const std::vector<std::string>& CommandLine();

void SetApplicationTitle(const std::string& title);
// The title, or the program's file name without extension when no title is set.
std::string ApplicationTitle();

} // namespace brindle
