#pragma once

#include <QLoggingCategory>

// What the program passes over without a word to the user is recorded here, by layer
// (enable with QT_LOGGING_RULES="orv.*=true").
Q_DECLARE_LOGGING_CATEGORY(lcDb)      // orv.db: the engine, the schema, the record sets
Q_DECLARE_LOGGING_CATEGORY(lcForms)   // orv.forms: bound controls, lists, the command row
Q_DECLARE_LOGGING_CATEGORY(lcStartup) // orv.startup: paths, the backup, the main window's load
Q_DECLARE_LOGGING_CATEGORY(lcViewer)  // orv.viewer: the help viewer and keystrokes
Q_DECLARE_LOGGING_CATEGORY(lcProcess) // orv.process: programs started for a memo's file
