#pragma once
// The "Output" page: the master effects panel and the sounding voices.
#include <QWidget>

#include <string>
#include <vector>

class QPlainTextEdit;
class TEffectsPanel;
class TLiveMixer;

class TOutputPage : public QWidget {
    Q_OBJECT

  public:
    explicit TOutputPage(QWidget* Parent = nullptr);

    TEffectsPanel* EffectsPanel;
    QPlainTextEdit* MusicEventsMemo;

    // The voices sounding in Mixer, one line each; repainted only when a line changed.
    void UpdateMusicEvents(const TLiveMixer& Mixer);

  private:
    std::string LastEvents;
};
