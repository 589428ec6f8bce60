// brindle: the main window.
#include "base/AppInfo.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    brindle::SetCommandLine(argc, argv);
    brindle::SetApplicationTitle("Quillon Brindle");
    QApplication app(argc, argv);
    QLabel placeholder("Brindle");
    placeholder.show();
    return app.exec();
}
