#include "core/Log.h"

#include "core/Result.h"

Q_LOGGING_CATEGORY(lcDb, "orv.db", QtWarningMsg)
Q_LOGGING_CATEGORY(lcForms, "orv.forms", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStartup, "orv.startup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcViewer, "orv.viewer", QtWarningMsg)
Q_LOGGING_CATEGORY(lcProcess, "orv.process", QtWarningMsg)

void skipOnFailure(const Result& result, const QLoggingCategory& category, const char* step)
{
    if (!result)
        qCInfo(category, "%s skipped: %s", step, qUtf8Printable(result.message));
}
