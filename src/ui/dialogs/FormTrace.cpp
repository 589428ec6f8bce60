#include "ui/dialogs/FormTrace.h"

#include "base/Switches.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

TFormTrace* TheWindow = nullptr;
int TraceLineNumber = 0;
int TraceLinesSinceClear = 0;

QFont traceFont() {
    // The first of these that really is fixed pitch: a family name can resolve to a substitute
    // (Courier New to a URW font Qt measures as proportional) depending on the fonts installed.
    for (const char* family : {"Courier New", "DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono"}) {
        QFont font(family);
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
        if (QFontInfo(font).fixedPitch()) return font;
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

} // namespace

TFormTrace::TFormTrace(QWidget* Parent) : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setWindowTitle("Trace Log (Debug Info)");
    PauseButton = new QPushButton("Pause", this);
    PauseButton->setCheckable(true);
    Memo = new QPlainTextEdit(this);
    Memo->setReadOnly(true);
    Memo->setUndoRedoEnabled(false);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(PauseButton);
    Buttons->addStretch();
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);
    Layout->addLayout(Buttons);
    Layout->addWidget(Memo, 1);
    resize(867, 99);
    TheWindow = this;

    if (brindle::SwitchPresent("noclearlog")) ClearFlag = false;
    if (brindle::SwitchPresent("trace") || brindle::SwitchPresent("debug")) show();
    if (brindle::SwitchPresent("traceheight")) {
        // A missing or unusable height keeps the window's own rather than collapsing it.
        const int Height = brindle::SwitchInt("traceheight", 0);
        if (Height > 0) resize(width(), Height);
    }
    if (brindle::SwitchPresent("traceup")) {
        show();
        move(0, 0);
    }
    if (brindle::SwitchPresent("debugmax")) showMaximized();
}

void TFormTrace::showEvent(QShowEvent* Event) {
    // Finding a fixed-pitch font costs the font database a look at every family; most runs
    // never show this window, so the search waits for its first showing.
    if (!FontChosen) Memo->setFont(traceFont());
    FontChosen = true;
    QWidget::showEvent(Event);
}

TFormTrace::~TFormTrace() {
    if (TheWindow == this) TheWindow = nullptr;
}

TFormTrace* TFormTrace::Registered() {
    return TheWindow;
}
int TFormTrace::LineNumber() {
    return TraceLineNumber;
}
int TFormTrace::LinesSinceClear() {
    return TraceLinesSinceClear;
}

void TFormTrace::Trace(const std::string& Text) {
    // The line that empties the memo is its first, so the memo never holds more than 40 lines.
    if (++TraceLinesSinceClear > LinesPerClear) {
        TraceLinesSinceClear = 1;
        if (ClearFlag) Memo->clear();
    }
    ++TraceLineNumber;
    if (PauseButton->isChecked()) return;
    Memo->appendPlainText(QString::number(TraceLineNumber) + ": " + QString::fromStdString(Text));
}

namespace brindle::ui {

void Trace(const std::string& Text) {
    if (TheWindow && TheWindow->isVisible()) TheWindow->Trace(Text);
}

bool TraceActive() {
    return TheWindow && TheWindow->isVisible();
}

std::string TraceLine(std::string_view Expression, std::string_view SourceFile, int Line,
                      std::string_view Value) {
    const std::size_t slash = SourceFile.find_last_of("/\\");
    if (slash != std::string_view::npos) SourceFile.remove_prefix(slash + 1);
    std::string line(Expression);
    line += '(';
    line += SourceFile;
    line += "):" + std::to_string(Line) + ':';
    line += Value;
    return line;
}

void TraceAt(std::string_view Expression, std::string_view SourceFile, int Line, std::string_view Value) {
    if (TraceActive()) Trace(TraceLine(Expression, SourceFile, Line, Value));
}

} // namespace brindle::ui
