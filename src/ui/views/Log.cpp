#include "ui/views/Log.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTime>

TLog::TLog(QWidget* Parent) : QPlainTextEdit(Parent) {
    setReadOnly(true);
    // A log is never undone; keeping undo steps would grow without bound.
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QPalette Colours = palette();
    Colours.setColor(QPalette::Base, Qt::black);
    Colours.setColor(QPalette::Text, Qt::white);
    setPalette(Colours);
}

// A document always holds one block; while it has no text the log holds no line. (So a log whose
// only line is an empty text counts as empty, which only matters with ShowTime off.)
bool TLog::IsEmpty() const {
    return document()->isEmpty();
}

int TLog::LineCount() const {
    return IsEmpty() ? 0 : document()->blockCount();
}

std::string TLog::Line(int Index) const {
    if (Index < 0 || Index >= LineCount()) return {};
    return document()->findBlockByNumber(Index).text().toStdString();
}

void TLog::TrimLines() {
    if (MaxLines < 0 || LineCount() <= MaxLines) return;
    // Drop the older half in one edit rather than a line at a time.
    const QTextBlock Keep = document()->findBlockByNumber(MaxLines / 2);
    QTextCursor Cursor(document());
    Cursor.setPosition(0);
    Cursor.setPosition(Keep.position(), QTextCursor::KeepAnchor);
    Cursor.removeSelectedText();
}

void TLog::Log(const std::string& Text, bool NewLine) {
    TrimLines();
    const QScrollBar* Bar = verticalScrollBar();
    const bool Following = Bar->value() == Bar->maximum();
    QString Shown = QString::fromStdString(Text);
    const bool Empty = IsEmpty();
    QTextCursor Cursor(document());
    Cursor.movePosition(QTextCursor::End);
    if (NewLine || Empty) {
        if (NewLine && ShowTime) Shown = QTime::currentTime().toString("hh:mm:ss") + ": " + Shown;
        if (!Empty) Cursor.insertBlock();
        Cursor.insertText(Shown);
    } else {
        Cursor.insertText(Shown);
    }
    // Stay at the newest line unless the user scrolled back to read.
    if (Following) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    if (OnLog) OnLog(this, Text);
}
