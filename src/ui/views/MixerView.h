#pragma once
// The mixer page: a strip for every channel that has notes in the song and the master strip.
// The controls change the song through the document (undo steps, the grid follows); the meters
// follow a TLevelFeed.
#include <QWidget>

#include <vector>

class QHBoxLayout;
class QScrollArea;
class TChannelStrip;
class TLevelFeed;
class TMasterStrip;
class TSongDocument;
class cSequencer;

struct TChannelUse {
    int Channel;    // 0-based
    int Instrument; // the first instrument its notes use (1-based)
};
// The channels with notes anywhere in the song, in channel order.
std::vector<TChannelUse> ChannelsWithNotes(const cSequencer& Song);

class TMixerView : public QWidget {
    Q_OBJECT

  public:
    TMixerView(TSongDocument& Document, TLevelFeed& Feed, QWidget* Parent = nullptr);

    // The strips as they are now (rebuilt when the song's notes change).
    const std::vector<TChannelStrip*>& Strips() const { return StripList; }
    TChannelStrip* StripOf(int Channel) const;
    TMasterStrip* Master = nullptr;

    // Reads the song again: which channels have notes, and their settings.
    void Rebuild();
    // Shows the song's channel settings on the strips.
    void SyncValues();

  protected:
    void showEvent(QShowEvent* Event) override;

  private:
    void ShowLevels();

    TSongDocument& Doc;
    TLevelFeed& Feed;
    QScrollArea* Scroll;
    QWidget* StripBox;
    QHBoxLayout* StripLayout;
    std::vector<TChannelStrip*> StripList;
    bool Stale = true; // notes changed while hidden
};
