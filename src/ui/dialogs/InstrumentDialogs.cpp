#include "ui/dialogs/InstrumentDialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TRowsFitDialog::TRowsFitDialog(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Fit");
    Rows = new QComboBox;
    for (const char* n : {"2", "4", "8", "16", "32", "64", "128", "256"}) Rows->addItem(n);
    Rows->setCurrentText("4");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Fit to number of rows:"));
    layout->addWidget(Rows);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

double TRowsFitDialog::RowCount() const {
    bool ok = false;
    const double n = Rows->currentText().toDouble(&ok);
    return ok && n > 0 ? n : 16;
}

Tdialog_Key::Tdialog_Key(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Dialog");
    HotKey1 = new QKeySequenceEdit(QKeySequence("Ctrl+A"));
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(HotKey1, &QKeySequenceEdit::keySequenceChanged, this,
            [this](const QKeySequence&) { Buttons->button(QDialogButtonBox::Ok)->setEnabled(Acceptable(Key())); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Press Key you want to assign this instrument to"));
    layout->addWidget(HotKey1);
    layout->addWidget(Buttons);
}

bool Tdialog_Key::Acceptable(const QKeySequence& Key) {
    if (Key.count() != 1) return false;
    const Qt::KeyboardModifiers mods = Key[0].keyboardModifiers();
    // A plain key would play while typing; Shift alone changes only the character.
    return mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

// The first key combination typed; the field would collect up to four.
QKeySequence Tdialog_Key::Key() const {
    const QKeySequence all = HotKey1->keySequence();
    return all.isEmpty() ? QKeySequence() : QKeySequence(all[0]);
}

void Tdialog_Key::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    HotKey1->setFocus();
}
