#pragma once
// The strip above the pages: the program's name, Play and Stop, the tempo field and the log.
#include <QWidget>

class QPushButton;
class QSpinBox;
class TLog;

class THeaderBar : public QWidget {
    Q_OBJECT

  public:
    explicit THeaderBar(QWidget* Parent = nullptr);

    QPushButton* PlayButton;
    QPushButton* StopButton;
    QSpinBox* BPMSpin;
    TLog* ApLog;
};
