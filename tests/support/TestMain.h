#pragma once

#include "platform/Appearance.h"
#include "viewer/HelpViewerWindow.h"

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, with the program's fonts and icon in place.
#define ORV_TEST_MAIN(TestClass)                                                                                       \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        Appearance::apply(app);                                                                                        \
        HelpViewerWindow::install();                                                                                   \
        TestClass test;                                                                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
