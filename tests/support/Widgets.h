#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

class QWidget;

// The child of parent with the given objectName; a missing control ends the test run
// with its name.
template <class T> T* findRequired(const QObject* parent, const QString& name)
{
    T* child = parent->findChild<T*>(name);
    if (!child)
        qFatal("no control named %s", qPrintable(name));
    return child;
}

// Closes every window of the program and lets them be destroyed.
void closeAllForms();

// Makes a window of the program the active one, as a click into it would, and waits for
// its activation.
bool activate(QWidget* window);

// The labels and buttons of a window whose captions do not fit their room in the fonts of
// this system, by name; empty when all fit.
QStringList clippedCaptions(const QWidget* window);

// The text of a message box, with its line breaks as written.
QStringList messageLines(const QString& text);
