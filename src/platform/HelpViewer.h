#pragma once

#include "core/Result.h"
#include "core/Service.h"

// The help viewer that stands in for the system help viewer.
class HelpViewer : public Service<HelpViewer>
{
public:
    virtual ~HelpViewer() = default;
    // Shows a file (an empty path included) in the viewer window and gives that window the focus.
    virtual Result showFile(const QString& path) = 0;
    // Shows a file at one of its topics (F1 in a window).
    virtual Result showTopic(const QString& path, const QString& topic) = 0;
    // A word to the user shown with the next file (what could not be done in its place).
    virtual void setNotice(const QString& text) { (void)text; }

    // The product help file that F1 opens, set once at start-up.
    static void setApplicationHelpFile(const QString& path);
    static QString applicationHelpFile();

    // The viewer window of the program, whatever instance is set; the viewer installs it.
    static HelpViewer& real();
    static void setReal(HelpViewer* viewer);
};
