#pragma once
// One undoable change of the song: the editor names what it may touch (cell blocks, pattern
// lengths, the order list, instrument slots), the record keeps those parts as they were before and
// after, and can put either back. Of the cell blocks it keeps only the cells that changed, so a
// step is as large as its change, not as its scope. Cells and values are written whole, as the
// audio thread reads them.
#include "song/Order.h"
#include "song/Step.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class cSequencer;

class cSongEdit {
public:
    explicit cSongEdit(cSequencer& Song) : Song(&Song) {}

    // Scope, named before Capture. Channels and rows are inclusive and clipped to the storage.
    cSongEdit& Cells(int Pattern, int Channel0, int Channel1, int Row0, int Row1);
    cSongEdit& RowCount(int Pattern);
    cSongEdit& Orders();
    cSongEdit& Instrument(int Instrument);
    // Every channel's volume, balance and mute flag.
    cSongEdit& Channels();

    // Keeps the scope as it is now: call before changing the song, Finish after.
    void Capture();
    void Finish();
    // True when Finish found anything different from what Capture kept.
    bool Changed() const;
    // Puts the song back as it was before (false) or after (true) the change.
    void Apply(bool After) const;
    // The first pattern the change touches, or 0 when it touched only the order list.
    int Pattern() const;
    // The first instrument slot the change touches, or 0.
    int InstrumentSlot() const;
    bool TouchesOrders() const { return HasOrders; }
    bool TouchesChannels() const { return HasChannels; }
    // A later change of the same scope continues this one: its end state becomes this one's.
    void Extend(const cSongEdit& Later);
    // Cells the finished change keeps (before and after values of each).
    std::size_t KeptCells() const { return CellChanges.size(); }

private:
    // A scope named; Before holds its cells between Capture and Finish only.
    struct cBlock {
        int Pattern, Channel0, Channel1, Row0, Row1;
        std::vector<cStep> Before;
    };
    // One changed cell; Key orders by pattern, channel, row.
    struct cCellChange {
        std::uint32_t Key;
        cStep Before, After;
    };
    static std::uint32_t KeyOf(int Pattern, int Channel, int Row) {
        return (std::uint32_t(Pattern) << 16) | (std::uint32_t(Channel) << 9) | std::uint32_t(Row);
    }
    struct cLength {
        int Pattern;
        int Before = 0, After = 0;
    };
    struct cSlot {
        std::string Name, FileName;
        float Volume = 1, Stretch = 1, Pitch = 0;
        bool StopPrev = false;
        bool operator==(const cSlot&) const = default;
    };
    struct cSlotEdit {
        int Instrument;
        cSlot Before, After;
    };
    struct cChannel {
        float Volume = 1, Pan = 0;
        bool Muted = false;
        bool operator==(const cChannel&) const = default;
    };
    void Read(bool After);

    cSequencer* Song;
    std::vector<cBlock> Blocks;
    std::vector<cCellChange> CellChanges; // sorted by Key
    std::vector<cLength> Lengths;
    bool HasOrders = false;
    std::vector<cOrder> OrdersBefore, OrdersAfter;
    std::vector<cSlotEdit> Slots;
    bool HasChannels = false;
    std::vector<cChannel> ChannelsBefore, ChannelsAfter;
};
