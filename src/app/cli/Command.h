#pragma once
// brindle-cli subcommands register themselves here, one file per command.
#include <memory>
#include <string>
#include <vector>

class cSequencer;

namespace brindle::cli {

struct Command {
    std::string name;
    std::string summary; // one line for the command list
    std::string usage;   // full help text of the command
    // Gets the arguments after the command name; returns the process exit code.
    int (*run)(const std::vector<std::string>& args);
};

bool RegisterCommand(Command command);
const std::vector<Command>& Commands();

// Exit codes shared by every command.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// Prints "brindle-cli: <message>" on stderr and returns ExitFailure.
int Fail(const std::string& message);
// Prints the usage error and the command's usage on stderr and returns ExitUsage.
int UsageError(const Command& command, const std::string& message);
const Command& FindCommand(const std::string& name);
// An option's value as a finite decimal number; false when the whole text is not one. Whole
// numbers are read by brindle::ParseInt (base/Switches.h).
bool ParseNumber(const std::string& text, double& value);
// Loads MODULE for a command and names on stderr every value the reader had to change.
std::unique_ptr<cSequencer> LoadModule(const std::string& path);

} // namespace brindle::cli
