#include "ui/dialogs/InstrumentDialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TRowsFitDialog::TRowsFitDialog(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Fit");
    Rows = new QComboBox;
    for (const char* n : {"2", "4", "8", "16", "32", "64", "128", "256"})
        Rows->addItem(n);
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
    // A field of its own rather than a key-sequence editor: that one records Enter and Escape as
    // keys and collects up to four combinations, so the dialog could not be answered by keyboard.
    HotKey1 = new QLineEdit;
    HotKey1->setReadOnly(true);
    HotKey1->installEventFilter(this);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Press Key you want to assign this instrument to"));
    layout->addWidget(HotKey1);
    layout->addWidget(Buttons);
    SetKey(QKeySequence(Qt::ControlModifier | Qt::Key_A));
}

bool Tdialog_Key::Acceptable(const QKeySequence& Key) {
    if (Key.count() != 1) return false;
    const Qt::KeyboardModifiers mods = Key[0].keyboardModifiers();
    // A plain key would play while typing; Shift alone changes only the character.
    return mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

void Tdialog_Key::SetKey(const QKeySequence& Key) {
    Chosen = Key;
    HotKey1->setText(Key.toString(QKeySequence::NativeText));
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(Acceptable(Key));
}

bool Tdialog_Key::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched != HotKey1) return QDialog::eventFilter(Watched, Event);
    if (Event->type() == QEvent::ShortcutOverride) {
        // Every key is the field's: no menu shortcut of the window runs while one is chosen.
        Event->accept();
        return true;
    }
    if (Event->type() != QEvent::KeyPress) return QDialog::eventFilter(Watched, Event);
    const auto* press = static_cast<QKeyEvent*>(Event);
    const Qt::KeyboardModifiers mods = press->modifiers() & ~Qt::KeypadModifier;
    const int k = press->key();
    if (mods == Qt::NoModifier && k == Qt::Key_Escape) {
        reject();
    } else if (mods == Qt::NoModifier && (k == Qt::Key_Return || k == Qt::Key_Enter)) {
        if (Acceptable(Chosen)) accept();
    } else if (k == Qt::Key_Tab || k == Qt::Key_Backtab) {
        return QDialog::eventFilter(Watched, Event); // the focus moves on to the buttons
    } else {
        const bool modifierAlone = k == Qt::Key_Control || k == Qt::Key_Shift || k == Qt::Key_Alt ||
                                   k == Qt::Key_Meta || k == Qt::Key_AltGr || k == Qt::Key_unknown;
        if (!modifierAlone) SetKey(QKeySequence(QKeyCombination(mods, Qt::Key(k))));
    }
    return true;
}

void Tdialog_Key::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    HotKey1->setFocus();
}
