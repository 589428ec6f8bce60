#include "song/Sequencer.h"

#include "base/Assert.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

cSequencer::cSequencer() {
    // Every other value starts as a new song's.
    for (auto& ins : Instruments) ins.SetNamePool(&FileNames);
    for (float& v : ChannelVolume) v = 1.0f;
}

void cSequencer::SetBPM(float Value) {
    BPM = Value;
    if (OnBPMChange) OnBPMChange(this);
}

void cSequencer::Reset() {
    OwnPlayer.Stop();
    SetBPM(120);
    for (auto& ins : Instruments) {
        ins.Name.clear();
        ins.SetFileName({});
        ins.StoreVolume(1.0f);
        ins.StoreStretch(1.0f);
        ins.StorePitch(0.0f);
        ins.StoreStopPrev(false);
    }
    for (auto& order : Orders) order.StoreFrom(cOrder{});
    for (auto& pattern : Patterns) {
        pattern.ClearCells(); // storage stays: a block of another player may still read it
        pattern.StoreRowCount(DefaultRowCount);
    }
    for (int c = 0; c < ChannelCount; ++c) SetChannel(c, 1.0f, 0.0f, false);
    Effects = TEffectSettings::Cleared();
    LoadWarnings.clear();
    CurOrder = 0;
    CurPattern = 0;
    CurRow = 0;
    RowBase = 0;
}

void cSequencer::Init() {
    Reset();
    FileName.clear();
}

void cSequencer::SetInstrumentFile(int Instrument, const std::string& Path) {
    BRINDLE_ASSERT(Instrument >= 1 && Instrument <= InstrumentCount);
    auto& ins = InstrumentAt(Instrument);
    ins.SetFileName(Path);
    ins.Name = std::filesystem::path(Path).filename().string();
    ins.StoreVolume(1.0f);
    ins.StoreStretch(1.0f);
    ins.StorePitch(0.0f);
}

void cSequencer::InsertRow(int Pattern, int Channel, int Row) {
    BRINDLE_ASSERT(Pattern >= 1 && Pattern <= PatternCount && Channel >= 0 && Channel < ChannelCount);
    auto& p = PatternAt(Pattern);
    BRINDLE_ASSERT(p.RowCount >= 1 && p.RowCount < RowCapacity && Row >= 0 && Row < RowCapacity);
    if (!p.HasStorage(Channel)) return; // all empty: nothing moves
    cStep* cells = p.WritableCells(Channel);
    for (int i = p.RowCount; i > Row; --i) StoreStep(cells[i], cells[i - 1]);
    StoreStep(cells[Row], cStep{});
}

void cSequencer::DeleteRow(int Pattern, int Channel, int Row) {
    BRINDLE_ASSERT(Pattern >= 1 && Pattern <= PatternCount && Channel >= 0 && Channel < ChannelCount);
    auto& p = PatternAt(Pattern);
    BRINDLE_ASSERT(p.RowCount >= 1 && p.RowCount < RowCapacity && Row >= 0 && Row < RowCapacity);
    if (!p.HasStorage(Channel)) return;
    cStep* cells = p.WritableCells(Channel);
    for (int i = Row; i < p.RowCount; ++i) StoreStep(cells[i], cells[i + 1]);
    StoreStep(cells[p.RowCount], cStep{});
}

void cSequencer::InsertOrder(int Position) {
    BRINDLE_ASSERT(Position >= 1 && Position <= OrderCount);
    for (int i = OrderCount - 1; i > Position - 1; --i) Orders[i].StoreFrom(Orders[i - 1]);
    Orders[Position - 1].StoreFrom(cOrder{});
    FollowOrderEdit(Position, +1);
}

void cSequencer::DeleteOrder(int Position) {
    BRINDLE_ASSERT(Position >= 1 && Position <= OrderCount);
    for (int i = Position - 1; i < OrderCount - 1; ++i) Orders[i].StoreFrom(Orders[i + 1]);
    Orders[OrderCount - 1].StoreFrom(cOrder{});
    FollowOrderEdit(Position, -1);
}

void cSequencer::FollowOrderEdit(int Position, int Shift) {
    // One exchange against the audio thread's own step to the next entry, so neither is lost.
    std::int32_t playing = CurOrder.load();
    while (Position <= playing && !CurOrder.compare_exchange_weak(playing, playing + Shift)) {
    }
}

bool cSequencer::IsPatternEmpty(int Pattern) const {
    BRINDLE_ASSERT(Pattern >= 1 && Pattern <= PatternCount);
    return !PatternAt(Pattern).HasContent();
}

int cSequencer::AllocatedPatterns() const {
    int n = 0;
    for (const auto& pattern : Patterns) n += pattern.AllocatedChannels() > 0;
    return n;
}

std::size_t cSequencer::CellBytes() const {
    std::size_t channels = 0;
    for (const auto& pattern : Patterns) channels += std::size_t(pattern.AllocatedChannels());
    return channels * RowCapacity * sizeof(cStep);
}

void cSequencer::ToggleMute(int Channel) {
    BRINDLE_ASSERT(Channel >= 0 && Channel < ChannelCount);
    SetMuted(Channel, !IsMuted(Channel));
}

void cSequencer::SetChannel(int Channel, float Volume, float Pan, bool Muted) {
    BRINDLE_ASSERT(Channel >= 0 && Channel < ChannelCount);
    Volume = std::isnan(Volume) ? 1.0f : std::clamp(Volume, 0.0f, 2.0f);
    Pan = std::isnan(Pan) ? 0.0f : std::clamp(Pan, -1.0f, 1.0f);
    std::atomic_ref<float>(ChannelVolume[Channel]).store(Volume, std::memory_order_relaxed);
    std::atomic_ref<float>(ChannelPan[Channel]).store(Pan, std::memory_order_relaxed);
    SetMuted(Channel, Muted);
}

void cSequencer::Solo(int Channel) {
    BRINDLE_ASSERT(Channel >= 0 && Channel < ChannelCount);
    for (int c = 0; c < ChannelCount; ++c) SetMuted(c, c != Channel);
}

void cSequencer::UnmuteAll() {
    for (int c = 0; c < ChannelCount; ++c) SetMuted(c, false);
}

double cSequencer::SongLengthSeconds() const {
    std::int64_t rows = 0;
    for (const auto& order : Orders) {
        if (order.IsEmpty() || order.PatternIndex < 1 || order.PatternIndex > PatternCount) break;
        rows += PatternAt(order.PatternIndex).RowCount;
    }
    const double bpm = BPM.load();
    if (!(bpm > 0)) return 0;
    return double(rows) * (60.0 / bpm * 0.25);
}
