#include "ui/Application.h"

#include <cstdio>
#include <exception>

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {}

TApplication* TApplication::Instance() { return dynamic_cast<TApplication*>(QCoreApplication::instance()); }

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& e) {
        if (OnException) OnException(e.what());
        else std::fprintf(stderr, "brindle: %s\n", e.what());
    } catch (...) {
        if (OnException) OnException("unknown error");
    }
    return false;
}
