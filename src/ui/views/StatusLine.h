#pragma once
// The window's status bar: where the playing song is ("Order 2/6 · Pattern 3 · Row 12/64 ·
// 0:07.4 / 0:23.1"), how many voices sound, how much of its time the output spends computing,
// and a red "REC" while recording.
#include <QStatusBar>

class QLabel;
class TDevice;
class TLiveMixer;
class cSequencer;

class TStatusLine : public QStatusBar {
    Q_OBJECT

  public:
    explicit TStatusLine(QWidget* Parent = nullptr);

    QLabel* Position;
    QLabel* Voices;
    QLabel* Load;
    QLabel* Recording;

    void Update(const cSequencer& Song, const TLiveMixer& Mixer, const TDevice& Output, bool IsRecording);

  private:
    static void fixToWidest(QLabel* Label, const QString& Widest);
};
