#include "db/index/MemoChangeHooks.h"

#include "core/Log.h"
#include "db/Statement.h"
#include "db/index/IndexSearch.h"
#include "db/index/MemoIndexFile.h"

#include <QFileInfo>

#include <sqlite3.h>

namespace {

// The triggers note every change of a memo, with the memo's text as it was before.
const char* const TriggerSql[] = {
    "CREATE TEMP TRIGGER IF NOT EXISTS orv_index_insert AFTER INSERT ON main.メモ帳 "
    "BEGIN SELECT orv_memo_changed(new.ID); END",
    "CREATE TEMP TRIGGER IF NOT EXISTS orv_index_update AFTER UPDATE ON main.メモ帳 "
    "BEGIN SELECT orv_memo_changed(old.ID, old.ｷｰﾜｰﾄﾞ, old.検索キー１, old.検索キー２, old.予備１, old.日付, "
    "old.ヘルプファイル, old.メモ), orv_memo_changed(new.ID); END",
    "CREATE TEMP TRIGGER IF NOT EXISTS orv_index_delete AFTER DELETE ON main.メモ帳 "
    "BEGIN SELECT orv_memo_changed(old.ID, old.ｷｰﾜｰﾄﾞ, old.検索キー１, old.検索キー２, old.予備１, old.日付, "
    "old.ヘルプファイル, old.メモ); END",
};

void changed(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    auto* journal = static_cast<ChangeJournal*>(sqlite3_user_data(context));
    if (argc < 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    const qint64 id = sqlite3_value_int64(argv[0]);
    if (argc != 1 + MemoIndexFile::FieldCount) {
        journal->note(id, nullptr);
        return;
    }
    QList<QByteArray> fields;
    for (int i = 1; i < argc; ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[i]));
        fields.append(text ? QByteArray(text, sqlite3_value_bytes(argv[i])) : QByteArray());
    }
    const QByteArray old = MemoIndexFile::body(fields);
    journal->note(id, &old);
}

} // namespace

MemoChangeHooks::MemoChangeHooks(sqlite3* db) : m_db(db)
{
    m_finder = [this](const QStringList& words, QVector<qint64>& ids) {
        return m_indexFinder ? m_indexFinder(words, ids) : MemoSearch::scan(m_db, words, ids);
    };
    m_exact = [this](const QStringList& words, QVector<qint64>& ids) {
        return m_indexExact && m_indexExact(words, ids);
    };
    if (sqlite3_create_function_v2(db, "orv_memo_changed", -1, SQLITE_UTF8, &m_journal, changed, nullptr, nullptr,
                                   nullptr) != SQLITE_OK)
        qCWarning(lcDb, "the change notes could not be installed: %s", sqlite3_errmsg(db));
    if (Result r = MemoSearch::install(db, &m_finder); !r)
        qCWarning(lcDb, "the search function could not be installed: %s", qUtf8Printable(r.message));
    MemoSearch::setExactFinder(db, &m_exact);
}

MemoChangeHooks::~MemoChangeHooks()
{
    MemoSearch::setExactFinder(m_db, nullptr);
}

Result MemoChangeHooks::watch()
{
    for (const char* sql : TriggerSql) {
        Statement statement(m_db, QString::fromUtf8(sql));
        if (!statement.prepared())
            return statement.prepared();
        if (Result r = statement.exec(); !r)
            return r;
    }
    return Result::success();
}

Result MemoChangeHooks::writeInto(const QString& indexPath)
{
    const QList<ChangeJournal::Entry> pending = m_journal.all();
    if (pending.isEmpty() || !QFileInfo::exists(indexPath))
        return Result::success();
    Result done;
    sqlite3* index = MemoIndexFile::openConnection(indexPath, false, false, &done);
    if (!index)
        return done;
    done = MemoIndexFile::check(index);
    auto exec = [index](const char* sql) {
        Statement statement(index, QString::fromLatin1(sql));
        return statement.prepared() ? statement.exec() : statement.prepared();
    };
    if (done)
        done = exec("BEGIN");
    for (const ChangeJournal::Entry& entry : pending) {
        if (!done)
            break;
        QByteArray current;
        bool exists = false;
        done = IndexSearch::readStored(m_db, entry.id, current, exists);
        if (done)
            done = MemoIndexFile::apply(index, entry.id, entry.oldBodies, exists ? &current : nullptr);
    }
    if (done)
        done = exec("COMMIT");
    else if (!sqlite3_get_autocommit(index))
        skipOnFailure(exec("ROLLBACK"), lcDb(), "rolling back the index's changes");
    sqlite3_close_v2(index);
    m_journal.settle(pending, false);
    return done;
}

void MemoChangeHooks::setFinders(MemoSearch::Finder finder, MemoSearch::ExactFinder exactFinder)
{
    m_indexFinder = std::move(finder);
    m_indexExact = std::move(exactFinder);
}
