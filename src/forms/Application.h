#pragma once

#include <QApplication>

// The program's application object: each event it hands to a window is one action of the
// user, whose statements wait for another program's lock until one deadline in all, under
// the busy cursor.
class Application : public QApplication
{
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
