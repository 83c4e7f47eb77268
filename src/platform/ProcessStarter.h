#pragma once

#include "platform/Result.h"

#include <QStringList>

// Starts a program and returns at once, without watching it afterwards.
class ProcessStarter
{
public:
    struct Command
    {
        QString commandLine;   // the command line text as the system builds it
        QString program;       // what is really started ...
        QStringList arguments; // ... with these arguments, without a shell
    };

    virtual ~ProcessStarter() = default;
    virtual Result start(const Command& command) = 0;

    static ProcessStarter& instance();
    static void setInstance(ProcessStarter* starter);
};
