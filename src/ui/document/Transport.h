#pragma once
// Play, stop and record, and where the song is: the window's transport. A 10 ms timer polls the
// play position the audio thread publishes and reports it; record mode plays the pattern in a
// loop while notes are written at the playing row.
#include <QObject>

#include <functional>

class QTimer;
class TAudioSession;
class TSongDocument;
class cApp;

class TTransport : public QObject {
    Q_OBJECT

  public:
    TTransport(TSongDocument& Document, cApp& Selection, TAudioSession& Audio, QObject* Parent = nullptr);

    // Every start clears the mixer and its clock. A start asked for while the song's instruments
    // are still being decoded happens as soon as they are (the last one asked for; Stop drops it). Rows are grid rows (1 is the pattern's first
    // row); order rows are 0-based grid rows of the order list.
    void PlayPattern(int GridRow);
    void PlaySong(int OrderRow);
    // Ends record mode too.
    void Stop();
    bool Playing() const;
    // Record mode on at GridRow, or off again (StartRow then goes back to where it began).
    void ToggleRecord(int GridRow);
    bool Recording() const { return IsRecording; }
    int RecordStartRow() const { return StartRow; }

    QTimer* PositionTimer() const { return Timer; }
    // The timer's work: the audio side's events, then the position.
    void Poll();

  signals:
    void positionChanged(int Order, int Pattern, int Row);
    void recordingChanged(bool On, int StartRow);

  private:
    void StartWhenReady(std::function<void()> Start);

    TSongDocument& Document;
    cApp& Selection;
    TAudioSession& Audio;
    QTimer* Timer;
    bool IsRecording = false;
    int StartRow = 1;
    int LastOrder = -1, LastPattern = -1, LastRow = -1;
    std::function<void()> PendingStart;
};
