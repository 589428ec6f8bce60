#pragma once
// The master effects panel: three groups (compressor, reverb, equalizer) with a check box, scroll
// bars whose captions show their values, and a "Default" button each. The panel holds the live
// values; the main window applies them to the effect nodes and copies them into the song on save.
#include "song/EffectSettings.h"

#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

class TEffectsPanel : public QWidget {
    Q_OBJECT

public:
    // Values changed by the user (EnabledChanged: a check box, which needs a new chain).
    using TChangeEvent = std::function<void(TEffectsPanel* Sender, const TEffectSettings& Value, bool EnabledChanged)>;

    explicit TEffectsPanel(QWidget* Parent = nullptr);

    TChangeEvent OnChange;

    // The values as stored: every position x 0.001, the check boxes.
    TEffectSettings Settings() const;
    // Shows stored values: positions are the values x 1000, rounded. Raises no OnChange.
    void SetSettings(const TEffectSettings& Value);

    // Caption texts, exactly as the panel formats them.
    static std::string EqCaption(const char* Name, int Position);
    static std::string LevelCaption(int Position);
    static std::string DelayCaption(int Position);
    static std::string ThresholdCaption(int Position);
    static std::string AttackCaption(int Position);
    static std::string ReleaseCaption(int Position);

    QCheckBox* CompressorCheck;
    QScrollBar* CompressorThreshold;
    QScrollBar* CompressorAttack;
    QScrollBar* CompressorRelease;
    QLabel* CompressorThresholdCap;
    QLabel* AttackTimeCap;
    QLabel* ReleastTimeCap;
    QPushButton* CompDef;
    QCheckBox* ReverbCheck;
    QScrollBar* ReverbLevel;
    QScrollBar* ReverbDelay;
    QLabel* ReverbLevelCap;
    QLabel* ReverbDelayCap;
    QPushButton* RevDef;
    QCheckBox* EqCheck;
    QScrollBar* Eq[3];
    QLabel* EqCap[3];
    QPushButton* EqDef;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void UpdateCaptions();
    void Changed(bool EnabledChanged);
    bool Setting = false;
};
