#pragma once
// The "Output" page: the master effects panel, the sounding voices and the output's statistics.
#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class TEffectsPanel;
class TLiveMixer;

class TOutputPage : public QWidget {
    Q_OBJECT

  public:
    explicit TOutputPage(QWidget* Parent = nullptr);

    TEffectsPanel* EffectsPanel;
    QPlainTextEdit* MusicEventsMemo;
    QLabel* AudioStats;

    // The voices sounding in Mixer, one line each; repainted only when a line changed.
    void UpdateMusicEvents(const TLiveMixer& Mixer);
    void SetStats(const std::string& Summary);

  private:
    std::string LastEvents;
};
