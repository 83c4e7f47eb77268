#include "forms/Lists.h"

#include "core/Log.h"
#include "db/RecordSet.h"

Result Lists::run(std::initializer_list<Source> lists, OnFailure policy)
{
    Result first;
    for (const Source& source : lists) {
        source.list->setRecordSource(source.statement);
        const Result ran = source.list->refresh();
        if (!ran && policy == OnFailure::Stop)
            return ran;
        skipOnFailure(ran, lcForms(), qPrintable(source.list->objectName()));
        if (!ran && first)
            first = ran;
    }
    return first;
}
