#include "app/SongSummary.h"
#include "app/cli/Command.h"
#include "song/Sequencer.h"

#include <iostream>
#include <memory>

namespace brindle::cli {
namespace {

int runInfo(const std::vector<std::string>& args) {
    const auto& self = FindCommand("info");
    bool json = false;
    std::string module;
    for (const auto& a : args) {
        if (a == "--json") json = true;
        else if (a.starts_with("-")) return UsageError(self, "unknown option " + a);
        else if (module.empty()) module = a;
        else return UsageError(self, "too many arguments");
    }
    if (module.empty()) return UsageError(self, "no module given");
    auto song = LoadModule(module);
    // Names and paths need not be UTF-8 (a Latin-1 module): invalid bytes become U+FFFD.
    if (json)
        std::cout << SongToJson(*song).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                  << std::endl;
    else
        std::cout << SongSummaryText(*song);
    return ExitOk;
}

const bool registered = RegisterCommand({
    "info",
    "summary of a module (tempo, length, patterns, instruments)",
    "usage: brindle-cli info [--json] MODULE\n\n"
    "Prints a readable summary of MODULE: tempo, song length, used patterns and instruments,\n"
    "and flags instrument files that are missing. With --json, prints the whole song as JSON.",
    runInfo,
});

} // namespace
} // namespace brindle::cli
