#include "app/cli/Command.h"
#include "song/Sequencer.h"

#include <iostream>

namespace brindle::cli {

std::unique_ptr<cSequencer> LoadModule(const std::string& path) {
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(path);
    for (const auto& warning : song->TakeLoadWarnings())
        std::cerr << "warning: " << warning << "\n";
    return song;
}

} // namespace brindle::cli
