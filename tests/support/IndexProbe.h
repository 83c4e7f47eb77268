#pragma once

#include <QString>

// The IDs, ascending and joined by commas, of the memos that the index file beside a memo book
// holds for one word, read from the file alone as a second program would read it; "error: …"
// when it cannot be read.
QString indexedIds(const QString& bookPath, const QString& word);
