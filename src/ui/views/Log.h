#pragma once
// Stand-in until the log control lands.
#include <QPlainTextEdit>
#include <functional>
#include <string>

class TLog : public QPlainTextEdit {
public:
    explicit TLog(QWidget* Parent = nullptr) : QPlainTextEdit(Parent) { setReadOnly(true); }
    std::function<void(TLog*, const std::string&)> OnLog;
    void Add(const std::string& Text) {
        appendPlainText(QString::fromStdString(Text));
        if (OnLog) OnLog(this, Text);
    }
};
