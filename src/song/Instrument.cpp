#include "song/Instrument.h"

namespace {
cNamePool& sharedPool() {
    static cNamePool pool;
    return pool;
}
} // namespace

void cInstrument::SetFileName(const std::string& path) {
    FileName.store((Names ? *Names : sharedPool()).Intern(path), std::memory_order_release);
}
