#include "song/Pattern.h"

namespace {
// Every channel without storage points here. Never written: writers replace the pointer first.
alignas(64) const cStep EmptyColumn[RowCapacity]{};
cStep* emptyColumn() { return const_cast<cStep*>(EmptyColumn); }
} // namespace

cPattern::cPattern() {
    for (auto& column : Columns) column.store(emptyColumn(), std::memory_order_relaxed);
}

cPattern::~cPattern() {
    for (auto& column : Columns)
        if (cStep* cells = column.load(std::memory_order_relaxed); cells != emptyColumn()) delete[] cells;
}

cStep* cPattern::WritableCells(int Channel) {
    cStep* cells = Columns[Channel].load(std::memory_order_acquire);
    if (cells != emptyColumn()) return cells;
    auto* fresh = new cStep[RowCapacity]{};
    // A second writer on the same pattern would lose the race and use the winner's column.
    if (Columns[Channel].compare_exchange_strong(cells, fresh, std::memory_order_acq_rel, std::memory_order_acquire))
        return fresh;
    delete[] fresh;
    return cells;
}

void cPattern::SetCell(int Channel, int Row, cStep Value) {
    if (Value.ins == 0 && Value.pitch == 0.0f && !HasStorage(Channel)) return;
    StoreStep(CellForWrite(Channel, Row), Value);
}

bool cPattern::HasStorage(int Channel) const { return Column(Channel) != EmptyColumn; }

int cPattern::AllocatedChannels() const {
    int n = 0;
    for (int c = 0; c < ChannelCount; ++c) n += HasStorage(c);
    return n;
}

bool cPattern::HasContent() const {
    for (int c = 0; c < ChannelCount; ++c) {
        if (!HasStorage(c)) continue;
        const cStep* cells = Column(c);
        for (int r = 0; r < RowCapacity; ++r)
            if (LoadStep(cells[r]).ins != 0) return true;
    }
    return false;
}

void cPattern::ClearCells() {
    for (int c = 0; c < ChannelCount; ++c) {
        if (!HasStorage(c)) continue;
        cStep* cells = WritableCells(c);
        for (int r = 0; r < RowCapacity; ++r) StoreStep(cells[r], cStep{});
    }
}
