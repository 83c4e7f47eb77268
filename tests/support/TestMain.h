#pragma once

#include "forms/Application.h"
#include "viewer/HelpViewerWindow.h"
#include "widgets/Appearance.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

// Like QTEST_MAIN, with the program's fonts and icon in place, and the user's settings in a
// folder of the test's own, so that no test reads or writes the settings of the person running it.
#define ORV_TEST_MAIN(TestClass)                                                                                       \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        QTemporaryDir settingsHome;                                                                                    \
        qputenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit());                                                 \
        Application app(argc, argv);                                                                                   \
        Appearance::apply(app);                                                                                        \
        HelpViewerWindow::install();                                                                                   \
        TestClass test;                                                                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
