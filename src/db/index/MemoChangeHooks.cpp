#include "db/index/MemoChangeHooks.h"

#include "core/Log.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/index/IndexSearch.h"
#include "db/index/MemoIndexFile.h"

#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

namespace {

// The triggers note every change of a memo, with the memo's text as it was before.
QStringList triggerSql()
{
    const QString table = QStringLiteral("main.") + quoteIdentifier(Schema::MemoTable);
    QStringList fields = QString::fromUtf8(MemoIndexFile::Fields).split(QStringLiteral(", "));
    for (QString& field : fields)
        field.prepend(QStringLiteral("old."));
    const QString before = QStringLiteral("orv_memo_changed(old.ID, %1)").arg(fields.join(QStringLiteral(", ")));
    const QString create =
        QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS orv_index_%1 AFTER %2 ON %3 BEGIN SELECT %4; END");
    return {create.arg(QStringLiteral("insert"), QStringLiteral("INSERT"), table,
                       QStringLiteral("orv_memo_changed(new.ID)")),
            create.arg(QStringLiteral("update"), QStringLiteral("UPDATE"), table,
                       before + QStringLiteral(", orv_memo_changed(new.ID)")),
            create.arg(QStringLiteral("delete"), QStringLiteral("DELETE"), table, before)};
}

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
    for (const QString& sql : triggerSql()) {
        if (Result r = Statement::run(m_db, sql); !r)
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
    const SqliteHandle owned = MemoIndexFile::openConnection(indexPath, false, false, &done);
    sqlite3* const index = owned.get();
    if (!index)
        return done;
    done = MemoIndexFile::check(index);
    auto exec = [index](const char* sql) { return Statement::run(index, QString::fromLatin1(sql)); };
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
    m_journal.settle(pending, false);
    return done;
}

void MemoChangeHooks::setFinders(MemoSearch::Finder finder, MemoSearch::ExactFinder exactFinder)
{
    m_indexFinder = std::move(finder);
    m_indexExact = std::move(exactFinder);
}
