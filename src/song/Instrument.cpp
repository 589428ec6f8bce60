#include "song/Instrument.h"

namespace {
const std::shared_ptr<const std::string>& emptyName() {
    static const auto empty = std::make_shared<const std::string>();
    return empty;
}
} // namespace

cInstrument::cInstrument() : FileName(emptyName()) {}

void cInstrument::SetFileName(const std::string& path) {
    FileName.store(path.empty() ? emptyName() : std::make_shared<const std::string>(path));
}
