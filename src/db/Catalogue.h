#pragma once

#include <QString>

// Every query text that the windows issue, in one place. The constant texts are exact,
// blanks included: several end in one blank after "ID".
namespace Catalogue {

// Lists of the values in use.
inline const QString KeywordList = QStringLiteral("SELECT DISTINCT メモ帳.ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE 0 <= ID ");
inline const QString SearchKey1List = QStringLiteral("SELECT DISTINCT メモ帳.検索キー１ FROM メモ帳 WHERE 0 <= ID ");
inline const QString SearchKey2List = QStringLiteral("SELECT DISTINCT メモ帳.検索キー２ FROM メモ帳 WHERE 0 <= ID ");
inline const QString MemoAppIdList = QStringLiteral("SELECT DISTINCT メモ帳.予備１ FROM メモ帳 WHERE 0 <= ID ");
// All registered applications.
inline const QString AllApplications = QStringLiteral("SELECT * FROM パス WHERE 0 <= ID ");
inline const QString AppPathList = QStringLiteral("SELECT DISTINCT パス.パス FROM パス WHERE 0 <= ID ");
inline const QString AppIdList = QStringLiteral("SELECT DISTINCT パス.アプリＩＤ FROM パス WHERE 0 <= ID ");
// All memos, for the entry window and for show all.
inline const QString AllMemosForEntry = QStringLiteral("SELECT * FROM メモ帳 WHERE ID >= 0");
inline const QString AllMemos = QStringLiteral("SELECT * FROM メモ帳 WHERE ID > 0");
// The bare table name: the whole memo table.
inline const QString MemoTableName = QStringLiteral("メモ帳");

// A value between apostrophes. Each apostrophe inside is doubled, so that a value such as
// "don't" is looked for as it stands instead of breaking the statement.
QString quoted(const QString& value);

// The application record of a memo.
QString applicationLookup(const QString& applicationId);
// The one memo handed over for correction. The number is written the way the original
// number-to-text conversion wrote it, with a blank before a number that is not negative,
// so two blanks stand between "=" and the digits.
QString memoById(qint64 id);
// The search condition: keyword, search key 1, search key 2, in this order, each only when
// its text is not empty, joined with " AND ". Texts are taken as they stand, blanks included.
QString searchCondition(const QString& keyword, const QString& key1, const QString& key2);
// The search statement without its ordering, and with it.
QString searchStatement(const QString& condition);
QString orderedSearch(const QString& searchStatement);
// A sort by one field: over all memos when no search is in force, else over the search.
QString sortStatement(const QString& searchStatement, const QString& field);

} // namespace Catalogue
