#include "ui/views/HeaderBar.h"

#include "ui/views/Log.h"
#include "ui/views/NumberField.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

THeaderBar::THeaderBar(QWidget* Parent) : QWidget(Parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel("Quillon Brindle");
    QFont font = title->font();
    font.setPointSize(font.pointSize() + 6);
    font.setBold(true);
    title->setFont(font);
    row->addWidget(title);
    PlayButton = new QPushButton("|>  Play");
    PlayButton->setObjectName("PlayButton");
    StopButton = new QPushButton("[  ]  Stop");
    StopButton->setObjectName("StopButton");
    // Space toggles play window-wide; the buttons must not eat it.
    PlayButton->setFocusPolicy(Qt::NoFocus);
    StopButton->setFocusPolicy(Qt::NoFocus);
    row->addWidget(PlayButton);
    row->addWidget(StopButton);
    row->addWidget(new QLabel("BPM:"));
    BPMSpin = new TNumberField("BPM");
    BPMSpin->setObjectName("BPMSpin");
    BPMSpin->setRange(1, 500);
    BPMSpin->setValue(120);
    // A tempo takes effect when typed to the end, not at every digit.
    BPMSpin->setKeyboardTracking(false);
    row->addWidget(BPMSpin);
    ApLog = new TLog;
    ApLog->setObjectName("ApLog");
    ApLog->setMaximumHeight(64);
    row->addWidget(ApLog, 1);
}
