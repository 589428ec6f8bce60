// brindle-cli: headless access to modules (summaries, saving, rendering, playing).
#include "app/cli/Command.h"
#include "base/AppInfo.h"
#include "base/Error.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>

namespace brindle::cli {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> commands;
    return commands;
}

void printHelp() {
    std::cout << "usage: brindle-cli COMMAND [ARGS...]\n\ncommands:\n";
    auto sorted = Commands();
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.name < b.name; });
    for (const auto& c : sorted) std::cout << "  " << c.name << std::string(10 - std::min<size_t>(9, c.name.size()), ' ') << c.summary << "\n";
    std::cout << "\n'brindle-cli COMMAND --help' shows the help of one command.\n";
}
} // namespace

bool RegisterCommand(Command command) {
    registry().push_back(std::move(command));
    return true;
}

const std::vector<Command>& Commands() { return registry(); }

const Command& FindCommand(const std::string& name) {
    for (const auto& c : registry())
        if (c.name == name) return c;
    throw std::logic_error("unknown command " + name);
}

bool ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
}

int Fail(const std::string& message) {
    std::cerr << "brindle-cli: " << message << std::endl;
    return ExitFailure;
}

int UsageError(const Command& command, const std::string& message) {
    std::cerr << "brindle-cli " << command.name << ": " << message << "\n\n" << command.usage << std::endl;
    return ExitUsage;
}

} // namespace brindle::cli

int main(int argc, char** argv) {
    using namespace brindle::cli;
    brindle::SetCommandLine(argc, argv);
    brindle::SetApplicationTitle("Quillon Brindle");
    if (argc < 2) {
        printHelp();
        return ExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp();
        return ExitOk;
    }
    for (const auto& c : Commands()) {
        if (c.name != name) continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        if (std::find(args.begin(), args.end(), "--help") != args.end()) {
            std::cout << c.usage << std::endl;
            return ExitOk;
        }
        try {
            return c.run(args);
        } catch (const std::exception& e) {
            return Fail(e.what());
        }
    }
    std::cerr << "brindle-cli: unknown command '" << name << "'\n";
    printHelp();
    return ExitUsage;
}
