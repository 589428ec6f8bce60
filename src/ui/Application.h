#pragma once
// The Qt application of the brindle program: exceptions that reach the event loop are handed to a
// handler (the main window's log) instead of ending the program.
#include <QApplication>

#include <functional>
#include <string>

class TApplication : public QApplication {
public:
    TApplication(int& Argc, char** Argv);

    // Receives the text of every exception that escaped an event handler.
    std::function<void(const std::string& Message)> OnException;

    bool notify(QObject* Receiver, QEvent* Event) override;
    // The running TApplication, or null when the running application is a plain QApplication.
    static TApplication* Instance();
};
