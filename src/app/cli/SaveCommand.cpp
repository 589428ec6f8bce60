#include "app/cli/Command.h"
#include "song/Sequencer.h"

#include <iostream>
#include <memory>

namespace brindle::cli {
namespace {

int runSave(const std::vector<std::string>& args) {
    const auto& self = FindCommand("save");
    if (args.size() != 2) return UsageError(self, "expected MODULE and OUT.hym");
    for (const auto& a : args)
        if (a.starts_with("-")) return UsageError(self, "unknown option " + a);
    auto song = LoadModule(args[0]);
    song->SaveFile(args[1]);
    return ExitOk;
}

const bool registered = RegisterCommand({
    "save",
    "load a module and write it again",
    "usage: brindle-cli save MODULE OUT.hym\n\n"
    "Loads MODULE and writes it to OUT.hym (through a temporary file, so a failed write\n"
    "leaves any existing OUT.hym intact).",
    runSave,
});

} // namespace
} // namespace brindle::cli
