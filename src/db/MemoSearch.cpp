#include "db/MemoSearch.h"

#include "core/TextFold.h"
#include "db/Catalogue.h"
#include "db/MemoSort.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/index/MemoIndexFile.h"

#include <QHash>

#include <algorithm>

#include <sqlite3.h>

namespace {

QHash<sqlite3*, const MemoSearch::ExactFinder*>& exactFinders()
{
    static QHash<sqlite3*, const MemoSearch::ExactFinder*> finders;
    return finders;
}

const char* const ModuleName = "全文検索";

// Whether a field is the memo table's integer key, by which the index gives its IDs.
bool isMemoKey(sqlite3* db, const QString& field)
{
    const char* type = nullptr;
    int primaryKey = 0;
    return sqlite3_table_column_metadata(db, "main", Schema::MemoTable.toUtf8().constData(), field.toUtf8().constData(),
                                         &type, nullptr, nullptr, &primaryKey, nullptr) == SQLITE_OK &&
           primaryKey && type && qstricmp(type, "INTEGER") == 0;
}

struct Table
{
    sqlite3_vtab base{};
    sqlite3* db = nullptr;
    const MemoSearch::Finder* finder = nullptr;
};

struct Cursor
{
    sqlite3_vtab_cursor base{};
    QVector<qint64> ids;
    qsizetype position = 0;
    QString words;
};

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**)
{
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(ID INTEGER, words HIDDEN)");
    if (rc != SQLITE_OK)
        return rc;
    auto* table = new Table;
    table->db = db;
    table->finder = static_cast<const MemoSearch::Finder*>(aux);
    *out = &table->base;
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab* vtab)
{
    delete reinterpret_cast<Table*>(vtab);
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab*, sqlite3_index_info* info)
{
    int words = -1;
    bool unusable = false;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.iColumn != 1 || c.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        if (c.usable)
            words = i;
        else
            unusable = true;
    }
    if (words < 0) {
        // Without its words the function has nothing to give; a plan that can supply them wins.
        if (unusable)
            return SQLITE_CONSTRAINT;
        info->idxNum = 0;
        info->estimatedCost = 1e12;
        return SQLITE_OK;
    }
    info->aConstraintUsage[words].argvIndex = 1;
    info->aConstraintUsage[words].omit = 1;
    info->idxNum = 1;
    info->estimatedCost = 1000;
    info->estimatedRows = 1000;
    // The IDs come in ascending order.
    if (info->nOrderBy == 1 && (info->aOrderBy[0].iColumn == 0 || info->aOrderBy[0].iColumn == -1) &&
        !info->aOrderBy[0].desc)
        info->orderByConsumed = 1;
    return SQLITE_OK;
}

int openCursor(sqlite3_vtab*, sqlite3_vtab_cursor** out)
{
    *out = &(new Cursor)->base;
    return SQLITE_OK;
}

int closeCursor(sqlite3_vtab_cursor* cursor)
{
    delete reinterpret_cast<Cursor*>(cursor);
    return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* base, int idxNum, const char*, int argc, sqlite3_value** argv)
{
    auto* cursor = reinterpret_cast<Cursor*>(base);
    auto* table = reinterpret_cast<Table*>(base->pVtab);
    cursor->ids.clear();
    cursor->position = 0;
    if (idxNum != 1 || argc < 1)
        return SQLITE_OK;
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    cursor->words = QString::fromUtf8(text, sqlite3_value_bytes(argv[0]));
    const QStringList words = TextFold::words(cursor->words);
    if (words.isEmpty())
        return SQLITE_OK;
    const Result found = table->finder && *table->finder ? (*table->finder)(words, cursor->ids)
                                                         : MemoSearch::scan(table->db, words, cursor->ids);
    if (!found) {
        sqlite3_free(base->pVtab->zErrMsg);
        base->pVtab->zErrMsg = sqlite3_mprintf("%s", found.message.toUtf8().constData());
        return SQLITE_ERROR;
    }
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* base)
{
    ++reinterpret_cast<Cursor*>(base)->position;
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* base)
{
    const auto* cursor = reinterpret_cast<Cursor*>(base);
    return cursor->position >= cursor->ids.size();
}

int column(sqlite3_vtab_cursor* base, sqlite3_context* context, int n)
{
    const auto* cursor = reinterpret_cast<Cursor*>(base);
    if (n == 0) {
        sqlite3_result_int64(context, cursor->ids[cursor->position]);
    } else {
        const QByteArray words = cursor->words.toUtf8();
        sqlite3_result_text(context, words.constData(), int(words.size()), SQLITE_TRANSIENT);
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* base, sqlite3_int64* out)
{
    const auto* cursor = reinterpret_cast<Cursor*>(base);
    *out = cursor->ids[cursor->position];
    return SQLITE_OK;
}

sqlite3_module makeModule()
{
    sqlite3_module m{};
    m.iVersion = 0;
    m.xCreate = nullptr; // eponymous only: it exists without CREATE VIRTUAL TABLE
    m.xConnect = connect;
    m.xBestIndex = bestIndex;
    m.xDisconnect = disconnect;
    m.xOpen = openCursor;
    m.xClose = closeCursor;
    m.xFilter = filter;
    m.xNext = next;
    m.xEof = eof;
    m.xColumn = column;
    m.xRowid = rowid;
    return m;
}

} // namespace

Result MemoSearch::install(sqlite3* db, const Finder* finder)
{
    static const sqlite3_module module = makeModule();
    if (sqlite3_create_module_v2(db, ModuleName, &module, const_cast<Finder*>(finder), nullptr) != SQLITE_OK)
        return Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    return Result::success();
}

QString MemoSearch::condition(const QString& typed)
{
    // Control characters separate words like blanks; as blanks they cannot end the statement.
    QString text = typed;
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral("ID IN (SELECT ID FROM %1('%2'))").arg(QString::fromUtf8(ModuleName), text);
}

void MemoSearch::setExactFinder(sqlite3* db, const ExactFinder* finder)
{
    if (finder)
        exactFinders().insert(db, finder);
    else
        exactFinders().remove(db);
}

bool MemoSearch::quickKeys(sqlite3* db, const FullTextQuery& query, QVector<qint64>& ids)
{
    ids.clear();
    const ExactFinder* finder = exactFinders().value(db);
    if (!finder || !*finder)
        return false;
    const bool byKey = query.sortField.isEmpty() || isMemoKey(db, query.sortField);
    if (!byKey && MemoSort::indexFor(db, query.sortField).isEmpty())
        return false;
    if (!(*finder)(query.words, ids)) {
        ids.clear(); // the statement gives them all
        return false;
    }
    if (byKey) {
        if (query.descending)
            std::reverse(ids.begin(), ids.end());
        return true;
    }
    // A few memos SQLite looks up and sorts sooner than the whole index is walked.
    if (!MemoSort::walkPays(db, ids.size()) || !MemoSort::byField(db, query.sortField, query.descending, ids)) {
        ids.clear();
        return false;
    }
    return true;
}

Result MemoSearch::scan(sqlite3* db, const QStringList& words, QVector<qint64>& ids)
{
    ids.clear();
    Statement all(db, QStringLiteral("SELECT ID, %1 FROM main.%2 ORDER BY ID")
                          .arg(QString::fromUtf8(MemoIndexFile::Fields), quoteIdentifier(Schema::MemoTable)));
    if (!all.prepared())
        return all.prepared();
    Statement::Step step;
    while ((step = all.step()) == Statement::Step::Row) {
        const QByteArray body = MemoIndexFile::body(all.handle(), 1);
        if (TextFold::containsAll(TextFold::fold(QString::fromUtf8(body)), words))
            ids.append(all.int64(0));
    }
    return step == Statement::Step::Error ? all.lastError() : Result::success();
}
