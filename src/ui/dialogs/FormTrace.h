#pragma once
// The trace window: a stay-on-top tool window of numbered diagnostic lines, shown from the
// command line ("trace", "debug", "traceup", "debugmax"). It keeps at most 40 lines unless
// "noclearlog" is given; "Pause" holds the display while the numbering runs on.
#include <QWidget>

#include <string>

class QPlainTextEdit;
class QPushButton;

class TFormTrace : public QWidget {
    Q_OBJECT
  public:
    static constexpr int LinesPerClear = 40;

    // Applies the command-line switches and registers the window as the one Trace writes to.
    explicit TFormTrace(QWidget* Parent = nullptr);
    ~TFormTrace() override;

    QPushButton* PauseButton;
    QPlainTextEdit* Memo;

    void SetClearFlag(bool Value) { ClearFlag = Value; }
    bool GetClearFlag() const { return ClearFlag; }

    // Numbers the line and shows it unless paused.
    void Trace(const std::string& Text);

    // The window Trace writes to, or null.
    static TFormTrace* Registered();
    // The numbering and the clearing count run across the whole process.
    static int LineNumber();
    static int LinesSinceClear();

  private:
    bool ClearFlag = true;
};

namespace brindle::ui {

// Writes to the trace window when it exists and is visible; otherwise the text is dropped.
void Trace(const std::string& Text);
// Whether trace lines are shown, so callers can skip gathering them.
bool TraceActive();

} // namespace brindle::ui
