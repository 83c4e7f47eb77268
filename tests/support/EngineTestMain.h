#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

// Like QTEST_GUILESS_MAIN, for the engine's tests, which run without any display; the user's
// settings are kept in a folder of the test's own.
#define ORV_ENGINE_TEST_MAIN(TestClass)                                                                                \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        QTemporaryDir settingsHome;                                                                                    \
        qputenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit());                                                 \
        QCoreApplication app(argc, argv);                                                                              \
        TestClass test;                                                                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
