#pragma once
// The window's live output: the device the song plays through, opened with the stored audio
// settings and opened again when they change. No device is no error: the null device plays.
#include "app/LiveOutput.h"

#include <QObject>
#include <QString>

#include <string>

class TAudioX;

class TAudioSession : public QObject {
    Q_OBJECT

  public:
    explicit TAudioSession(TAudioX& Chain, QObject* Parent = nullptr);
    ~TAudioSession() override;

    // Opens (or reopens) the device with the stored settings.
    void Start();
    // Runs the events the audio thread posted and notices a lost device.
    void Poll();
    void Shutdown();
    TLiveOutput& Output() { return Live; }
    // "callbacks=... p99_ms=..." for the Output page.
    std::string StatsSummary();

  signals:
    void problem(const QString& Text);

  private:
    TAudioX& Chain;
    TLiveOutput Live;
    bool Open = false;
};
