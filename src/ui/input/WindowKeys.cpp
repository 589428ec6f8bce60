#include "ui/input/WindowKeys.h"

#include "base/Switches.h"
#include "ui/input/LiveNotes.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

TWindowKeys::TWindowKeys(QWidget& Window, TLiveNotes& Notes, QWidget& Browser)
    : QObject(&Window), Window(Window), Notes(Notes), Browser(Browser) {
    qApp->installEventFilter(this);
}

TWindowKeys::~TWindowKeys() { qApp->removeEventFilter(this); }

bool TWindowKeys::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::KeyPress || Event->type() == QEvent::KeyRelease) {
        // Each key once, where it is delivered first: the focused widget of this window.
        auto* widget = qobject_cast<QWidget*>(Watched);
        QWidget* focus = QApplication::focusWidget();
        if (widget && widget->window() == &Window && (widget == focus || (!focus && widget == &Window)))
            return PreviewKey(static_cast<QKeyEvent*>(Event));
        return false;
    }
    if (Event->type() != QEvent::ShortcutOverride) return false;
    const auto* key = static_cast<QKeyEvent*>(Event);
    if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier) return false;
    if (Watched == &Browser) {
        // Space assigns the browser's file here; the window's play key waits.
        Event->accept();
        return true;
    }
    if (std::find(SpaceFields.begin(), SpaceFields.end(), Watched) != SpaceFields.end()) {
        Event->ignore(); // not claimed by the field: the window's shortcut runs
        return true;
    }
    return false;
}

bool TWindowKeys::PreviewKey(QKeyEvent* Event) {
    if (Event->type() == QEvent::KeyPress && Event->key() == Qt::Key_Escape && brindle::SwitchPresent("ide")) {
        if (CloseRequested) CloseRequested();
        return true;
    }
    QWidget* focus = QApplication::focusWidget();
    if (focus == &Browser && Event->key() == Qt::Key_Space && Event->modifiers() == Qt::NoModifier) {
        if (Event->type() == QEvent::KeyPress && !Event->isAutoRepeat() && AssignFromBrowser) AssignFromBrowser();
        return true;
    }
    // Text typed into a field is text, and a key with Ctrl, Alt or Meta is a command. A release
    // always gets through: a note held before a modifier went down, or before the focus moved
    // into a field, must still end with its key.
    const bool press = Event->type() == QEvent::KeyPress;
    const auto* edit = qobject_cast<QLineEdit*>(focus);
    const bool typing = (edit && !edit->isReadOnly()) || qobject_cast<QAbstractSpinBox*>(focus);
    const bool command = Event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (press && (typing || command)) return false;
    const bool note = Notes.KeyEvent(*Event);
    if (!press && (typing || command)) return false; // the field or the shortcut sees its release too
    // A list would take a note key as a search for an item.
    return note && qobject_cast<QAbstractItemView*>(focus);
}
