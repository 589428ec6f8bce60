#include "app/SongEdit.h"

#include "base/Assert.h"
#include "song/Sequencer.h"

#include <algorithm>
#include <atomic>

namespace {

bool sameCell(const cStep& X, const cStep& Y) { return X.ins == Y.ins && X.pitch == Y.pitch; }

// The 1-based position where Longer has one entry that Shorter lacks (Shorter's last entry
// dropped off the end), or 0 when the lists differ otherwise.
template <typename A, typename B> int shiftedAt(const A& Shorter, const B& Longer) {
    auto same = [](const cOrder& X, const cOrder& Y) { return X.PatternIndex == Y.PatternIndex && X.Text == Y.Text; };
    int i = 0;
    while (i < OrderCount && same(Shorter[i], Longer[i])) ++i;
    if (i == OrderCount) return 0;
    for (int j = i; j + 1 < OrderCount; ++j)
        if (!same(Shorter[j], Longer[j + 1])) return 0;
    return i + 1;
}

} // namespace

cSongEdit& cSongEdit::Cells(int Pattern, int Channel0, int Channel1, int Row0, int Row1) {
    BRINDLE_ASSERT(Pattern >= 1 && Pattern <= PatternCount);
    Channel0 = std::max(Channel0, 0);
    Channel1 = std::min(Channel1, ChannelCount - 1);
    Row0 = std::max(Row0, 0);
    Row1 = std::min(Row1, RowCapacity - 1);
    if (Channel0 <= Channel1 && Row0 <= Row1) Blocks.push_back({Pattern, Channel0, Channel1, Row0, Row1, {}});
    return *this;
}

cSongEdit& cSongEdit::RowCount(int Pattern) {
    BRINDLE_ASSERT(Pattern >= 1 && Pattern <= PatternCount);
    Lengths.push_back({Pattern});
    return *this;
}

cSongEdit& cSongEdit::Orders() {
    HasOrders = true;
    return *this;
}

cSongEdit& cSongEdit::Instrument(int Instrument) {
    BRINDLE_ASSERT(Instrument >= 1 && Instrument <= InstrumentCount);
    Slots.push_back({Instrument, {}, {}});
    return *this;
}

cSongEdit& cSongEdit::Channels() {
    HasChannels = true;
    return *this;
}

void cSongEdit::Read(bool After) {
    // Reading makes no storage: a channel never written reads as empty cells.
    if (!After) {
        CellChanges.clear();
        for (auto& b : Blocks) {
            b.Before.clear();
            const auto& pattern = Song->PatternAt(b.Pattern);
            for (int c = b.Channel0; c <= b.Channel1; ++c)
                for (int r = b.Row0; r <= b.Row1; ++r) b.Before.push_back(pattern.Cell(c, r));
        }
    } else {
        for (auto& b : Blocks) {
            const auto& pattern = Song->PatternAt(b.Pattern);
            std::size_t i = 0;
            for (int c = b.Channel0; c <= b.Channel1; ++c)
                for (int r = b.Row0; r <= b.Row1; ++r, ++i) {
                    const cStep now = pattern.Cell(c, r);
                    if (i < b.Before.size() && !sameCell(b.Before[i], now))
                        CellChanges.push_back({KeyOf(b.Pattern, c, r), b.Before[i], now});
                }
            std::vector<cStep>().swap(b.Before); // the scope's copy goes; only the changes stay
        }
        // Overlapping blocks name a cell twice with the same values: keep it once.
        std::stable_sort(CellChanges.begin(), CellChanges.end(),
                         [](const cCellChange& A, const cCellChange& B) { return A.Key < B.Key; });
        CellChanges.erase(std::unique(CellChanges.begin(), CellChanges.end(),
                                      [](const cCellChange& A, const cCellChange& B) { return A.Key == B.Key; }),
                          CellChanges.end());
        CellChanges.shrink_to_fit();
    }
    for (auto& l : Lengths) (After ? l.After : l.Before) = Song->PatternAt(l.Pattern).RowCount;
    if (HasOrders) (After ? OrdersAfter : OrdersBefore).assign(std::begin(Song->Orders), std::end(Song->Orders));
    for (auto& s : Slots) {
        const auto& ins = Song->InstrumentAt(s.Instrument);
        (After ? s.After : s.Before) = {ins.Name,         ins.GetFileName(), ins.LoadVolume(),
                                        ins.LoadStretch(), ins.LoadPitch(),   ins.LoadStopPrev()};
    }
    if (HasChannels) {
        auto& channels = After ? ChannelsAfter : ChannelsBefore;
        channels.clear();
        for (int c = 0; c < ChannelCount; ++c)
            channels.push_back({Song->GetChannelVolume(c), Song->GetChannelPan(c), Song->IsMuted(c)});
    }
}

void cSongEdit::Capture() { Read(false); }

void cSongEdit::Finish() { Read(true); }

bool cSongEdit::Changed() const {
    for (const auto& c : CellChanges)
        if (!sameCell(c.Before, c.After)) return true;
    for (const auto& l : Lengths)
        if (l.Before != l.After) return true;
    if (HasOrders)
        for (int i = 0; i < OrderCount; ++i)
            if (OrdersBefore[i].PatternIndex != OrdersAfter[i].PatternIndex || OrdersBefore[i].Text != OrdersAfter[i].Text)
                return true;
    for (const auto& s : Slots)
        if (!(s.Before == s.After)) return true;
    if (HasChannels && ChannelsBefore != ChannelsAfter) return true;
    return false;
}

void cSongEdit::Apply(bool After) const {
    // Lengths first when shrinking and last when growing would be finer; the player bounds every
    // row it reads by the length it loaded, so any order is safe.
    for (const auto& c : CellChanges)
        Song->PatternAt(int(c.Key >> 16))
            .SetCell(int((c.Key >> 9) & 127), int(c.Key & 511), After ? c.After : c.Before);
    for (const auto& l : Lengths)
        std::atomic_ref<std::int32_t>(Song->PatternAt(l.Pattern).RowCount).store(After ? l.After : l.Before,
                                                                                 std::memory_order_relaxed);
    if (HasOrders) {
        // An entry inserted or deleted goes through the song's own insert and delete, which keep
        // the playing entry playing; any other change is written entry by entry.
        const auto& orders = After ? OrdersAfter : OrdersBefore;
        if (const int at = shiftedAt(Song->Orders, orders); at > 0) {
            Song->InsertOrder(at);
            Song->Orders[at - 1].StoreFrom(orders[std::size_t(at - 1)]);
        } else if (const int gone = shiftedAt(orders, Song->Orders); gone > 0) {
            Song->DeleteOrder(gone);
        }
        for (int i = 0; i < OrderCount; ++i) Song->Orders[i].StoreFrom(orders[std::size_t(i)]);
    }
    for (const auto& s : Slots) {
        const cSlot& slot = After ? s.After : s.Before;
        auto& ins = Song->InstrumentAt(s.Instrument);
        ins.Name = slot.Name;
        if (ins.GetFileName() != slot.FileName) ins.SetFileName(slot.FileName);
        ins.StoreVolume(slot.Volume);
        ins.StoreStretch(slot.Stretch);
        ins.StorePitch(slot.Pitch);
        ins.StoreStopPrev(slot.StopPrev);
    }
    if (HasChannels) {
        const auto& channels = After ? ChannelsAfter : ChannelsBefore;
        for (int c = 0; c < ChannelCount && c < int(channels.size()); ++c) {
            const auto& ch = channels[std::size_t(c)];
            Song->SetChannel(c, ch.Volume, ch.Pan, ch.Muted);
        }
    }
}

int cSongEdit::InstrumentSlot() const {
    return Slots.empty() ? 0 : Slots.front().Instrument;
}

void cSongEdit::Extend(const cSongEdit& Later) {
    for (const auto& later : Later.CellChanges) {
        const auto at = std::lower_bound(CellChanges.begin(), CellChanges.end(), later.Key,
                                         [](const cCellChange& C, std::uint32_t Key) { return C.Key < Key; });
        if (at != CellChanges.end() && at->Key == later.Key) at->After = later.After;
        else CellChanges.insert(at, later);
    }
    for (std::size_t i = 0; i < Lengths.size() && i < Later.Lengths.size(); ++i) Lengths[i].After = Later.Lengths[i].After;
    if (HasOrders && Later.HasOrders) OrdersAfter = Later.OrdersAfter;
    for (std::size_t i = 0; i < Slots.size() && i < Later.Slots.size(); ++i) Slots[i].After = Later.Slots[i].After;
    if (HasChannels && Later.HasChannels) ChannelsAfter = Later.ChannelsAfter;
}

int cSongEdit::Pattern() const {
    if (!Blocks.empty()) return Blocks.front().Pattern;
    if (!Lengths.empty()) return Lengths.front().Pattern;
    return 0;
}
