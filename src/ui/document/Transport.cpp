#include "ui/document/Transport.h"

#include "app/App.h"
#include "song/Sequencer.h"
#include "ui/document/AudioSession.h"
#include "ui/document/SongDocument.h"

#include <QTimer>

#include <utility>

TTransport::TTransport(TSongDocument& Document, cApp& Selection, TAudioSession& Audio, QObject* Parent)
    : QObject(Parent), Document(Document), Selection(Selection), Audio(Audio), Timer(new QTimer(this)) {
    Timer->setInterval(10);
    connect(Timer, &QTimer::timeout, this, &TTransport::Poll);
    Timer->start();
    // A new song starts stopped.
    connect(&Document, &TSongDocument::songReplaced, this, &TTransport::Stop);
    connect(&Document, &TSongDocument::instrumentsReady, this, [this] {
        if (auto start = std::exchange(PendingStart, nullptr)) start();
    });
}

void TTransport::StartWhenReady(std::function<void()> Start) {
    if (Document.PreparingInstruments())
        PendingStart = std::move(Start);
    else
        Start();
}

void TTransport::PlayPattern(int GridRow) {
    StartWhenReady([this, GridRow] { Selection.PlayPatternFromRow(GridRow); });
}

void TTransport::PlaySong(int OrderRow) {
    // The song takes over from the recording loop.
    if (IsRecording) {
        IsRecording = false;
        emit recordingChanged(false, StartRow);
    }
    StartWhenReady([this, OrderRow] { Selection.PlaySongFromOrderRow(OrderRow); });
}

void TTransport::Stop() {
    PendingStart = nullptr;
    Selection.Stop();
    if (!IsRecording) return;
    IsRecording = false;
    emit recordingChanged(false, StartRow);
}

bool TTransport::Playing() const { return Selection.Playing(); }

void TTransport::ToggleRecord(int GridRow) {
    if (IsRecording) {
        Stop();
        return;
    }
    StartWhenReady([this, GridRow] { Selection.PlayPatternFromRow(GridRow); });
    IsRecording = true;
    StartRow = GridRow;
    emit recordingChanged(true, StartRow);
}

void TTransport::Poll() {
    Audio.Poll();
    Document.Poll();
    const cSequencer& song = Document.Song();
    const int order = song.CurOrder, pattern = song.CurPattern, row = song.CurRow;
    if (order == LastOrder && pattern == LastPattern && row == LastRow) return;
    LastOrder = order;
    LastPattern = pattern;
    LastRow = row;
    emit positionChanged(order, pattern, row);
}
