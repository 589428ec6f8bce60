#include "song/Pattern.h"

bool cPattern::HasContent() const {
    for (const auto& channel : Cells)
        for (const auto& cell : channel)
            if (cell.ins != 0) return true;
    return false;
}

void cPattern::ClearCells() {
    for (auto& channel : Cells)
        for (auto& cell : channel) StoreStep(cell, cStep{});
}
