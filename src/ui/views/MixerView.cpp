#include "ui/views/MixerView.h"

#include "song/Sequencer.h"
#include "ui/document/SongDocument.h"
#include "ui/views/ChannelStrip.h"
#include "ui/views/LevelFeed.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>

std::vector<TChannelUse> ChannelsWithNotes(const cSequencer& Song) {
    std::vector<TChannelUse> used;
    for (int c = 0; c < ChannelCount; ++c) {
        int first = 0;
        for (int p = 1; p <= PatternCount && !first; ++p) {
            const cPattern& pattern = Song.PatternAt(p);
            if (!pattern.HasStorage(c)) continue; // never written: no cell to look at
            for (int r = 0; r < pattern.RowCount && !first; ++r) {
                const int ins = pattern.Cell(c, r).ins;
                if (ins > 0 && ins <= InstrumentCount) first = ins;
            }
        }
        if (first) used.push_back({c, first});
    }
    return used;
}

TMixerView::TMixerView(TSongDocument& Document, TLevelFeed& Feed, QWidget* Parent)
    : QWidget(Parent), Doc(Document), Feed(Feed) {
    setObjectName("MixerView");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    Scroll = new QScrollArea;
    Scroll->setWidgetResizable(true);
    Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    StripBox = new QWidget;
    StripLayout = new QHBoxLayout(StripBox);
    StripLayout->setContentsMargins(0, 0, 0, 0);
    StripLayout->setSpacing(2);
    StripLayout->addStretch();
    Scroll->setWidget(StripBox);
    layout->addWidget(Scroll, 1);
    Master = new TMasterStrip;
    layout->addWidget(Master);

    connect(Master->ClipLight, &QPushButton::clicked, this, [this] {
        this->Feed.ClearClip();
        Master->SetClipped(this->Feed.Clipped());
    });
    connect(&Feed, &TLevelFeed::clipChanged, Master, &TMasterStrip::SetClipped);
    connect(&Feed, &TLevelFeed::levelsChanged, this, &TMixerView::ShowLevels);
    auto rebuildSoon = [this] {
        Stale = true;
        if (isVisible()) Rebuild();
    };
    connect(&Doc, &TSongDocument::songReplaced, this, rebuildSoon);
    connect(&Doc, &TSongDocument::patternChanged, this, rebuildSoon);
    connect(&Doc, &TSongDocument::instrumentChanged, this, rebuildSoon);
    connect(&Doc, &TSongDocument::channelsChanged, this, &TMixerView::SyncValues);
}

TChannelStrip* TMixerView::StripOf(int Channel) const {
    for (auto* s : StripList)
        if (s->Channel() == Channel) return s;
    return nullptr;
}

void TMixerView::Rebuild() {
    Stale = false;
    const cSequencer& song = Doc.Song();
    const auto used = ChannelsWithNotes(song);
    // The same channels with the same names: the strips stay (a drag in progress is not cut off).
    bool same = used.size() == StripList.size();
    for (std::size_t i = 0; same && i < used.size(); ++i)
        same = StripList[i]->Channel() == used[i].Channel &&
               StripList[i]->Title->toolTip() == QString::fromStdString(song.Instruments[used[i].Instrument - 1].Name);
    if (!same) {
        for (auto* s : StripList) delete s;
        StripList.clear();
        for (const auto& u : used) {
            auto* strip = new TChannelStrip(u.Channel, QString::fromStdString(song.Instruments[u.Instrument - 1].Name));
            strip->OnChange = [this](TChannelStrip* Sender, float Volume, float Pan, bool Mute) {
                Doc.SetChannel(Sender->Channel(), Volume, Pan, Mute);
            };
            strip->OnSolo = [this](TChannelStrip* Sender) { Doc.SoloChannel(Sender->Channel()); };
            StripLayout->insertWidget(StripLayout->count() - 1, strip);
            StripList.push_back(strip);
        }
    }
    SyncValues();
}

void TMixerView::SyncValues() {
    const cSequencer& song = Doc.Song();
    int unmuted = 0, only = -1;
    for (int c = 0; c < ChannelCount; ++c)
        if (!song.IsMuted(c)) {
            ++unmuted;
            only = c;
        }
    for (auto* s : StripList) {
        const int c = s->Channel();
        s->Show(song.GetChannelVolume(c), song.GetChannelPan(c), song.IsMuted(c), unmuted == 1 && only == c);
    }
}

void TMixerView::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    // The grid's mute keys change the song while this page is hidden.
    if (Stale)
        Rebuild();
    else
        SyncValues();
    Master->SetClipped(Feed.Clipped());
    Feed.Wake();
}

void TMixerView::ShowLevels() {
    if (!isVisible()) return;
    for (auto* s : StripList) s->Meter->SetLevel(Feed.Shown(s->Channel()));
    Master->SetLevel(Feed.Shown(brindle::TLevelMeters::Master));
}
