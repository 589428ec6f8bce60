// Main of the widget tests: an offscreen QApplication and settings in a folder of the run's own,
// so no test reads or writes the user's settings.
#include "base/AppInfo.h"
#include "base/RegString.h"

#include "ui/Application.h"
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BRINDLE_AUDIO", "null");
    QTemporaryDir home;
    // The recovery file and other data land in the run's own folder too.
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    TApplication app(argc, argv);
    brindle::SetCommandLine(argc, argv);
    brindle::SetApplicationTitle("Quillon Brindle");
    brindle::SetSettingsFolder((home.path() + "/settings").toStdString());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
