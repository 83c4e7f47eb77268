#pragma once

#include "core/Service.h"

#include "core/Result.h"

#include <QStringList>

// Starts a program and returns at once, without watching it afterwards. The program name
// "WINHLP32.EXE" (any letter case) opens the program's own help viewer on the first
// argument; any other program is started detached, without a shell.
class ProcessStarter : public Service<ProcessStarter>
{
public:
    struct Command
    {
        QString commandLine;   // the command line text as the system builds it
        QString program;       // what is really started ...
        QStringList arguments; // ... with these arguments, without a shell
    };

    virtual ~ProcessStarter() = default;
    // Fails when the program cannot be started; then nothing is shown.
    virtual Result start(const Command& command) = 0;

    // The real one, whatever instance is set.
    static ProcessStarter& real();
};
