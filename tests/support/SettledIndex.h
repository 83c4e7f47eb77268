#pragma once

#include "db/index/MemoIndex.h"

#include <QString>
#include <QtGlobal>

#include <memory>

// The index of a memo book once its build or catch-up has ended.
inline std::shared_ptr<MemoIndex> settledIndex(const QString& bookPath)
{
    std::shared_ptr<MemoIndex> index = MemoIndex::open(bookPath);
    if (!index->waitForIdle(20000))
        qWarning("the index did not settle");
    return index;
}
