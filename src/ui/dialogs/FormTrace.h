#pragma once
// The trace window: a stay-on-top tool window of numbered diagnostic lines, shown from the
// command line ("trace", "debug", "traceup", "debugmax"). It keeps at most 40 lines unless
// "noclearlog" is given; "Pause" holds the display while the numbering runs on.
#include <QWidget>

#include <string>
#include <string_view>

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

  protected:
    void showEvent(QShowEvent* Event) override;

  private:
    bool ClearFlag = true;
    bool FontChosen = false;
};

namespace brindle::ui {

// Writes to the trace window when it exists and is visible; otherwise the text is dropped.
void Trace(const std::string& Text);
// Whether trace lines are shown, so callers can skip gathering them.
bool TraceActive();
// A trace line by the program's convention: the traced expression, "(", the source file's name,
// "):", the line, ":" and the value.
std::string TraceLine(std::string_view Expression, std::string_view SourceFile, int Line,
                      std::string_view Value);
void TraceAt(std::string_view Expression, std::string_view SourceFile, int Line, std::string_view Value);

} // namespace brindle::ui

// A fixed text traced as itself, quoted, with its place in the source.
#define BRINDLE_TRACE_TEXT(Text) ::brindle::ui::TraceAt("\"" Text "\"", __FILE__, __LINE__, Text)
// A value under the name it is traced as.
#define BRINDLE_TRACE_VALUE(Name, Value)                                                                     \
    ::brindle::ui::TraceAt(Name, __FILE__, __LINE__, std::to_string(Value))
