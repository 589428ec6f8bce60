#pragma once
// The application log: a read-only memo, white on black, that shows progress and error messages,
// each new line stamped with the time of day. It trims itself to stay light with long sessions.
#include <QPlainTextEdit>

#include <functional>
#include <string>

class TLog : public QPlainTextEdit {
    Q_OBJECT
  public:
    using TLogEvent = std::function<void(TLog* Sender, const std::string& Text)>;

    explicit TLog(QWidget* Parent = nullptr);

    void SetShowTime(bool Value) { ShowTime = Value; }
    bool GetShowTime() const { return ShowTime; }
    void SetMaxLines(int Value) { MaxLines = Value; }
    int GetMaxLines() const { return MaxLines; }
    // Fired after every logged text, with the text as given (without the time).
    TLogEvent OnLog;

    void Add(const std::string& Text) { Log(Text, true); }
    void LogSameLine(const std::string& Text) { Log(Text, false); }
    void Log(const std::string& Text, bool NewLine);

    // Lines held; an empty log holds none (the document's lone empty block is not a line).
    int LineCount() const;
    std::string Line(int Index) const;

  private:
    bool IsEmpty() const;
    void TrimLines();

    bool ShowTime = true;
    int MaxLines = 1000;
};
