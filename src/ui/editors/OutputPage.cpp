#include "ui/editors/OutputPage.h"

#include "audio/mixer/LiveMixer.h"
#include "ui/editors/EffectsPanel.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <cstdio>

TOutputPage::TOutputPage(QWidget* Parent) : QWidget(Parent) {
    setObjectName("MixPag");
    auto* layout = new QVBoxLayout(this);
    EffectsPanel = new TEffectsPanel;
    EffectsPanel->setObjectName("EffectsPanel");
    layout->addWidget(EffectsPanel);
    MusicEventsMemo = new QPlainTextEdit;
    MusicEventsMemo->setObjectName("MusicEventsMemo");
    MusicEventsMemo->setReadOnly(true);
    layout->addWidget(MusicEventsMemo, 1);
}

void TOutputPage::UpdateMusicEvents(const TLiveMixer& Mixer) {
    static thread_local std::vector<TLiveMixer::TVoiceInfo> voices;
    Mixer.GetVoices(voices);
    std::string text;
    char numbers[200];
    for (const auto& v : voices) {
        std::snprintf(numbers, sizeof numbers, " Transpose:%.2f Speed:%.2f FilePos:%.2f MixedTime:%.2f TimeToMix:%.2f",
                      double(v.Pitch), v.Speed != 0 ? 1.0 / double(v.Speed) : 0.0, v.FilePos, v.MixedTime,
                      v.TimeToMix);
        text += v.FileName + numbers + "\n";
    }
    if (text == LastEvents) return;
    LastEvents = text;
    MusicEventsMemo->setPlainText(QString::fromStdString(text));
}
