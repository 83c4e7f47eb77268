// The full-text index: how texts are folded and matched, and how the index keeps up with the
// memo book (saves, deletes, other programs' changes, a missing, damaged or read-only file).
#include "core/TextFold.h"
#include "db/Catalogue.h"
#include "db/Connection.h"
#include "db/MemoSearch.h"
#include "db/RecordSet.h"
#include "db/Statement.h"
#include "db/index/MemoIndex.h"
#include "db/index/MemoIndexFile.h"
#include "support/EngineTestMain.h"
#include "support/IndexProbe.h"
#include "support/MemoBook.h"
#include "support/SettledIndex.h"

#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QThread>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// The folded form as the definition gives it, character tables and all.
QString foldByTheBook(const QString& text)
{
    QString folded = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (QChar& c : folded) {
        const char16_t u = c.unicode();
        if ((u >= 0x30A1 && u <= 0x30F6) || u == 0x30FD || u == 0x30FE)
            c = QChar(char16_t(u - 0x60));
    }
    return folded;
}

QString ids(const QVector<qint64>& list)
{
    QStringList parts;
    for (qint64 id : list)
        parts.append(QString::number(id));
    return parts.join(u',');
}

} // namespace

class TestMemoIndex : public QObject
{
    Q_OBJECT

    std::unique_ptr<MemoBook> book;
    std::shared_ptr<Connection> shared;

    // IDs of the memos found, as the display window's search statement finds them.
    QString search(const QString& typed)
    {
        Statement found(shared->handle(),
                        u"SELECT ID FROM メモ帳 WHERE "_s + MemoSearch::condition(typed) + u" Order By ID"_s);
        if (!found.prepared())
            return u"error: "_s + found.prepared().message;
        QVector<qint64> list;
        Statement::Step step;
        while ((step = found.step()) == Statement::Step::Row)
            list.append(found.int64(0));
        return step == Statement::Step::Error ? u"error: "_s + found.lastError().message : ids(list);
    }

    // The display window's search statement in ID order, as its record set runs it.
    static QString searchStatement(const QString& typed)
    {
        return Catalogue::orderedSearch(Catalogue::searchStatement(MemoSearch::condition(typed)));
    }

    // The words of a full-text search as the display window hands them over.
    static FullTextQuery query(const QString& typed, const QString& sortField = {})
    {
        return FullTextQuery{TextFold::words(typed), sortField};
    }

    // The keys of a record set's run, as the grid lists its rows; ranSearch tells whether the
    // run asked SQLite for the search's memos (the statement ran) or read them from the index.
    QString keysOf(RecordSet& result, bool* ranSearch = nullptr)
    {
        QStringList statements;
        sqlite3_trace_v2(
            shared->handle(), SQLITE_TRACE_STMT,
            [](unsigned, void* list, void*, void* sql) {
                static_cast<QStringList*>(list)->append(QString::fromUtf8(static_cast<const char*>(sql)));
                return 0;
            },
            &statements);
        const Result ran = result.refresh();
        sqlite3_trace_v2(shared->handle(), 0, nullptr, nullptr);
        if (ranSearch)
            *ranSearch = std::any_of(statements.begin(), statements.end(),
                                     [](const QString& sql) { return sql.contains(u"全文検索"_s); });
        if (!ran)
            return u"error: "_s + ran.message;
        QStringList keys;
        for (int row = 0; row < result.recordCount(); ++row)
            keys.append(result.value(row, result.fieldIndex(u"ID"_s)).toString());
        return keys.join(u',');
    }

    // The keys that the display window's record set reads for a statement.
    QString recordSetKeys(const QString& statement, const std::optional<FullTextQuery>& fullText = std::nullopt,
                          bool* ranSearch = nullptr)
    {
        RecordSet result(u"Data1"_s);
        result.setDatabaseName(book->dbPath());
        result.setRecordSource(statement, fullText);
        return keysOf(result, ranSearch);
    }

    // The keys read straight from the index, or "statement" when it must be run instead.
    QString quickKeys(const FullTextQuery& fullText)
    {
        QVector<qint64> keys;
        return MemoSearch::quickKeys(shared->handle(), fullText, keys) ? ids(keys) : u"statement"_s;
    }

    // A change saved the way the windows save: through the shared connection.
    void save(const QString& sql)
    {
        const Result done = shared->exec(sql);
        QVERIFY2(done, qPrintable(done.message));
    }

    // A restart after the index agreed with the memo book finds nothing to make again.
    void expectKeptOnRestart(std::shared_ptr<MemoIndex>& index)
    {
        index.reset();
        index = MemoIndex::open(book->dbPath());
        QSignalSpy remade(index.get(), &MemoIndex::progressChanged);
        QSignalSpy states(index.get(), &MemoIndex::stateChanged);
        QCOMPARE(index->state(), MemoIndex::State::Checking);
        QVERIFY(index->waitForIdle(20000));
        QCOMPARE(index->state(), MemoIndex::State::Ready);
        QCOMPARE(states.count(), 1);
        QCOMPARE(remade.count(), 1); // the comparison's end, no build
    }

    void addSample()
    {
        const QList<MemoBook::Memo> memos = {
            {"2026/01/05", "/doc/印刷.hlp", "印刷", "設定", "Word", "HLP", "余白を変える"},  // 1
            {"2025/03/10", "/doc/一覧.xls", "ワード", "ﾏｸﾛ", "", "EXCEL", "ＡＢＣの表"},     // 2
            {"", "", "わーど", "", "", "", "Don't use 100% of C++ (really) AND/OR NEAR it"}, // 3
            {"", "", "ﾜｰﾄﾞ", "", "", "", "under_score \"quoted\" a-b star*"},                // 4
            {"", "", "abc", "", "", "", "行\r\n末"},                                         // 5
            {"", "", "印", "", "", "", "はがき"},                                            // 6
        };
        for (const MemoBook::Memo& memo : memos)
            book->addMemo(memo);
    }

private Q_SLOTS:
    void init()
    {
        book = std::make_unique<MemoBook>();
        QVERIFY(book->isValid());
        shared = Connection::shared(book->dbPath());
        QVERIFY(shared);
    }

    void cleanup()
    {
        shared.reset();
        book.reset();
    }

    // The quick path gives what the tables give, for every character and for mixtures; words
    // split at blanks of either width.
    void foldAgreesWithTheTables()
    {
        for (char32_t c = 0x20; c < 0x10000; ++c) {
            if (QChar::isSurrogate(c))
                continue;
            const QString one{QChar(char16_t(c))};
            if (TextFold::fold(one) != foldByTheBook(one))
                QFAIL(qPrintable(QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0'))));
        }
        const QString pool = u"aZ９ｶﾞかカ漢、 　ﾟー①ΑＢ'%_*"_s;
        QRandomGenerator random(13);
        for (int i = 0; i < 2000; ++i) {
            QString text;
            for (int n = random.bounded(1, 12); n > 0; --n)
                text.append(pool.at(random.bounded(int(pool.size()))));
            QCOMPARE(TextFold::fold(text), foldByTheBook(text));
        }
        QCOMPARE(TextFold::words(u" ＡＢ　c\td  "_s), (QStringList{u"ab"_s, u"c"_s, u"d"_s}));
    }

    // Words are found in any field, whatever their width, case or kana; all words must occur;
    // a word may be one character; nothing in the words is read as syntax. The index and a
    // plain reading of the memo book give the same answer.
    void matching_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found");
        QTest::newRow("half-width finds all forms") << u"ﾜｰﾄﾞ"_s << u"2,3,4"_s;
        QTest::newRow("full-width letters") << u"ａｂｃ"_s << u"2,5"_s;
        QTest::newRow("case") << u"DON'T"_s << u"3"_s;
        QTest::newRow("two words, both must occur") << u"印刷 余白"_s << u"1"_s;
        QTest::newRow("words in different fields") << u"word hlp 2026 xls"_s << u""_s;
        QTest::newRow("key, app ID, date, file") << u"設定 hlp 2026/01 /doc/印"_s << u"1"_s;
        QTest::newRow("one character") << u"印"_s << u"1,6"_s;
        QTest::newRow("one character at a field's end") << u"き"_s << u"6"_s;
        QTest::newRow("one and two characters") << u"印 はが"_s << u"6"_s;
        QTest::newRow("many words") << u"C++ really AND/OR near 100%"_s << u"3"_s;
        QTest::newRow("lone apostrophe") << u"'"_s << u"3"_s;
        QTest::newRow("lone double quote") << u"\""_s << u"4"_s;
        QTest::newRow("percent") << u"%"_s << u"3"_s;
        QTest::newRow("underscore") << u"r_s"_s << u"4"_s;
        QTest::newRow("underscore is no wildcard") << u"u_d"_s << u""_s;
        QTest::newRow("star is no prefix") << u"sta*"_s << u""_s;
        QTest::newRow("star") << u"star*"_s << u"4"_s;
        QTest::newRow("unbalanced parenthesis") << u"(really"_s << u"3"_s;
        QTest::newRow("query keywords as words") << u"AND OR NEAR"_s << u"3"_s;
        QTest::newRow("lone minus") << u"-"_s << u"4"_s;
        QTest::newRow("minus inside") << u"a-b"_s << u"4"_s;
        QTest::newRow("no word across a line break") << u"行末"_s << u""_s;
        QTest::newRow("line ends separate words") << u"行 末"_s << u"5"_s;
        QTest::newRow("a pasted line separator separates words") << u"行\u2028末"_s << u"5"_s;
        QTest::newRow("no word across fields") << u"印刷設定"_s << u""_s;
        QTest::newRow("statement syntax stays a value") << u"'); DROP TABLE メモ帳; --"_s << u""_s;
        QTest::newRow("blanks only") << u"  　 "_s << u""_s;
    }
    void matching()
    {
        QFETCH(QString, typed);
        QFETCH(QString, found);
        addSample();
        // While the index is being made the memo book is read; the words are read the same way.
        std::shared_ptr<MemoIndex> index = MemoIndex::open(book->dbPath());
        QCOMPARE(index->state(), MemoIndex::State::Building);
        QCOMPARE(search(typed), found);
        QCOMPARE(quickKeys(query(typed)), u"statement"_s);
        QCOMPARE(recordSetKeys(searchStatement(typed), query(typed)), found);
        QVERIFY(index->waitForIdle(20000));
        QCOMPARE(index->state(), MemoIndex::State::Ready);
        QCOMPARE(search(typed), found);
        // The record set of the display window takes the keys from the index itself.
        QCOMPARE(quickKeys(query(typed)), found);
        QCOMPARE(recordSetKeys(searchStatement(typed), query(typed)), found);
        QCOMPARE(book->count(u"メモ帳"_s), 6);
    }

    // A memo saved, added or deleted through the program's connection is found at once, and
    // the index holds it too once the change has been written.
    void keepsUpWithSaves()
    {
        addSample();
        std::shared_ptr<MemoIndex> index = settledIndex(book->dbPath());
        save(u"UPDATE メモ帳 SET メモ = '新しい内容です' WHERE ID = 1"_s);
        save(u"INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ, メモ) VALUES ('追加', '新しい')"_s);
        save(u"DELETE FROM メモ帳 WHERE ID = 6"_s);
        // Before the notes have been written into the index.
        QCOMPARE(search(u"新しい"_s), u"1,7"_s);
        QCOMPARE(search(u"余白"_s), u""_s);
        QCOMPARE(search(u"はがき"_s), u""_s);
        QVERIFY(index->waitForIdle(5000));
        // And the index itself holds them, as a second program sharing it reads it.
        QCOMPARE(indexedIds(book->dbPath(), u"新しい"_s), u"1,7"_s);
        QCOMPARE(indexedIds(book->dbPath(), u"余白"_s), u""_s);
        QCOMPARE(indexedIds(book->dbPath(), u"印"_s), u"1"_s);
        expectKeptOnRestart(index);
        // A change undone is no change.
        save(u"BEGIN"_s);
        save(u"UPDATE メモ帳 SET メモ = '取り消す' WHERE ID = 2"_s);
        save(u"ROLLBACK"_s);
        QVERIFY(index->waitForIdle(5000));
        QCOMPARE(search(u"取り消す"_s), u""_s);
        QCOMPARE(search(u"ＡＢＣの表"_s), u"2"_s);
    }

    // Changes the program did not see (another program, a restored file) are found after the
    // next start; so is everything when the index file has gone, is damaged, is read-only or
    // is of another format, and a memo book that never had an index (one just converted): a new
    // index is made and takes the old one's place.
    void catchesUpAtStart_data()
    {
        QTest::addColumn<QString>("happening");
        QTest::newRow("another program's change") << u"change"_s;
        QTest::newRow("index file deleted") << u"delete"_s;
        QTest::newRow("index file damaged") << u"damage"_s;
        QTest::newRow("index file read-only") << u"read-only"_s;
        QTest::newRow("index of another format") << u"format"_s;
        QTest::newRow("memo book without an index") << u"none"_s;
    }
    void catchesUpAtStart()
    {
        QFETCH(QString, happening);
        addSample();
        const QString path = MemoIndexFile::pathFor(book->dbPath());
        if (happening != u"none"_s)
            settledIndex(book->dbPath()).reset();
        QVERIFY(happening == u"none"_s || QFile::exists(path));
        // Through the test's own connection, which the program's notes do not see.
        book->exec(u"UPDATE メモ帳 SET メモ = '外から変えた' WHERE ID = 5"_s);
        if (happening == u"delete"_s) {
            QVERIFY(QFile::remove(path));
        } else if (happening == u"damage"_s) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(0);
            file.write(QByteArray(4096, 'x'));
        } else if (happening == u"read-only"_s) {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        } else if (happening == u"format"_s) {
            const SqliteHandle db = MemoIndexFile::openConnection(path, false, false, nullptr);
            QVERIFY(db);
            QVERIFY(Statement::run(db.get(), u"UPDATE memo_meta SET value = 0 WHERE key = 'format'"_s));
        }
        // A file that cannot serve is set aside at once; a stale one is found by the comparison.
        const bool usable = happening == u"change"_s || (happening == u"read-only"_s && QFileInfo(path).isWritable());
        std::shared_ptr<MemoIndex> index = MemoIndex::open(book->dbPath());
        const auto name = [](MemoIndex::State state) {
            return QString::fromLatin1(QMetaEnum::fromType<MemoIndex::State>().valueToKey(int(state)));
        };
        QStringList seen{name(index->state())};
        connect(index.get(), &MemoIndex::stateChanged, this, [&](MemoIndex::State state) { seen.append(name(state)); });
        // A search meanwhile reads the file that is about to be replaced.
        QVERIFY(!search(u"行"_s).startsWith(u"error"_s));
        QVERIFY(index->waitForIdle(20000));
        QCOMPARE(seen.join(u' '), (usable ? u"Checking "_s : QString()) + u"Building SwappingIn Ready"_s);
        QVERIFY(QFileInfo(path).isWritable());
        QCOMPARE(indexedIds(book->dbPath(), u"外から"_s), u"5"_s);
        QCOMPARE(search(u"外から"_s), u"5"_s);
        QCOMPARE(search(u"行"_s), u""_s);
        QCOMPARE(search(u"ワード"_s), u"2,3,4"_s);
        QVERIFY(!QFile::exists(path + u".new"_s));
        QVERIFY(!QFile::exists(path + u".new-chars"_s));
        // The file replaced is deleted in the background, not left behind.
        QTRY_VERIFY(!QFile::exists(path + u".old"_s));
    }

    // A memo changed while the index is made may be held in any of its versions, or not at all:
    // only the version the index holds is taken out, and a version it does not know fails
    // rather than damage the index.
    void changeTakesOutOnlyWhatTheIndexHolds_data()
    {
        QTest::addColumn<QString>("held");       // the version the index was made from, "" for none
        QTest::addColumn<QStringList>("before"); // the versions the change knows of
        QTest::addColumn<QString>("now");        // "" for deleted
        QTest::addColumn<bool>("applies");
        QTest::newRow("held among the versions before") << u"初め"_s << QStringList{u"初め"_s} << u"二番"_s << true;
        QTest::newRow("held already as it is now") << u"二番"_s << QStringList{u"初め"_s} << u"二番"_s << true;
        QTest::newRow("added after the index read") << QString() << QStringList{u"初め"_s} << u"二番"_s << true;
        QTest::newRow("deleted, held") << u"初め"_s << QStringList{u"初め"_s} << QString() << true;
        QTest::newRow("deleted, never held") << QString() << QStringList{u"初め"_s} << QString() << true;
        QTest::newRow("held in a version not known") << u"二番"_s << QStringList{u"初め"_s} << u"三番"_s << false;
    }

    void changeTakesOutOnlyWhatTheIndexHolds()
    {
        QFETCH(QString, held);
        QFETCH(QStringList, before);
        QFETCH(QString, now);
        QFETCH(bool, applies);
        const qint64 id = book->addMemo({"2026/12/07", "", u"語"_s, "", "", "", u"初め"_s});
        QCOMPARE(id, qint64(1));
        auto bodyOf = [this](const QString& version) {
            save(u"UPDATE メモ帳 SET メモ = '%1の文' WHERE ID = 1"_s.arg(version));
            Statement row(shared->handle(),
                          u"SELECT %1 FROM メモ帳 WHERE ID = 1"_s.arg(QString::fromUtf8(MemoIndexFile::Fields)));
            return row.step() == Statement::Step::Row ? MemoIndexFile::body(row.handle(), 0) : QByteArray();
        };
        QList<QByteArray> oldBodies;
        for (const QString& version : before)
            oldBodies.append(bodyOf(version));
        const QByteArray current = bodyOf(now.isEmpty() ? u"初め"_s : now);
        if (!held.isEmpty())
            bodyOf(held);
        else
            save(u"DELETE FROM メモ帳 WHERE ID = 1"_s);
        const QString path = MemoIndexFile::pathFor(book->dbPath());
        MemoIndexFile::Progress progress;
        QVERIFY(MemoIndexFile::build(book->dbPath(), path, progress));

        Result opened;
        const SqliteHandle owned = MemoIndexFile::openConnection(path, false, false, &opened);
        sqlite3* const db = owned.get();
        QVERIFY2(db, qPrintable(opened.message));
        const Result applied = MemoIndexFile::apply(db, 1, oldBodies, now.isEmpty() ? nullptr : &current);
        QCOMPARE(bool(applied), applies);
        // The full-text tables are whole, whatever the outcome.
        for (const char* table : {"memo_pairs", "memo_chars"}) {
            Statement check(db, u"INSERT INTO %1(%1) VALUES('integrity-check')"_s.arg(QLatin1String(table)));
            const Result whole = check.exec();
            QVERIFY2(whole, qPrintable(whole.message));
        }
        if (!applies)
            return;
        for (const QString& version : {u"初め"_s, u"二番"_s, u"三番"_s})
            QCOMPARE(indexedIds(book->dbPath(), version), version == now ? u"1"_s : QString());
    }

    // Saves made while the index is being made are in it when it takes over.
    void savesDuringTheBuild()
    {
        book->exec(u"BEGIN"_s);
        for (int i = 0; i < 8000; ++i)
            book->addMemo({"", "", u"語%1"_s.arg(i), "", "", "", u"本文%1"_s.arg(i)});
        book->exec(u"COMMIT"_s);
        std::shared_ptr<MemoIndex> index = MemoIndex::open(book->dbPath());
        QCOMPARE(index->state(), MemoIndex::State::Building);
        const QString started = index->progressText();
        QVERIFY(started.startsWith(u"全文索引を作成中"_s));
        // Until the build has read the first memos: their changes must then be replayed.
        QElapsedTimer waited;
        waited.start();
        while (index->progressText() == started && waited.elapsed() < 20000)
            QThread::msleep(1);
        QCOMPARE(index->state(), MemoIndex::State::Building);
        save(u"UPDATE メモ帳 SET メモ = '途中で変えた' WHERE ID IN (1, 2999)"_s);
        save(u"DELETE FROM メモ帳 WHERE ID = 3000"_s);
        QCoreApplication::processEvents();
        save(u"UPDATE メモ帳 SET メモ = '二度目に変えた' WHERE ID = 2999"_s);
        QVERIFY(index->waitForIdle(20000));
        QCOMPARE(index->state(), MemoIndex::State::Ready);
        QVERIFY(index->progressText().isEmpty());
        QCOMPARE(search(u"途中で"_s), u"1"_s);
        QCOMPARE(indexedIds(book->dbPath(), u"途中で"_s), u"1"_s);
        QCOMPARE(indexedIds(book->dbPath(), u"本文0"_s), u""_s);
        QCOMPARE(search(u"二度目"_s), u"2999"_s);
        QCOMPARE(search(u"本文2998"_s), u""_s);
        QCOMPARE(search(u"語2998"_s), u"2999"_s);
        QCOMPARE(indexedIds(book->dbPath(), u"語2999"_s), u""_s);
        QCOMPARE(search(u"本文1234"_s), u"1235"_s);
        expectKeptOnRestart(index);
    }

    // The keys of a full-text search come from the index only while it agrees with the memo
    // book: after another program's change the statement runs, and a memo that program
    // deleted is not listed. A statement handed over without its words always runs, however
    // much it looks like a search, and so does one set after a search without words of its own.
    void keysFromTheIndex_data()
    {
        QTest::addColumn<QString>("happening");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("words"); // as typed; none: the statement comes alone
        QTest::addColumn<QString>("sortField");
        QTest::addColumn<QString>("quick");
        QTest::addColumn<QString>("keys");
        const QString words = u"ワード"_s;
        const QString search = Catalogue::searchStatement(MemoSearch::condition(words));
        const QString inIdOrder = searchStatement(words);
        QTest::newRow("index agrees") << u""_s << inIdOrder << words << u""_s << u"2,3,4"_s << u"2,3,4"_s;
        QTest::newRow("own save") << u"save"_s << inIdOrder << words << u""_s << u"2,4"_s << u"2,4"_s;
        QTest::newRow("own delete") << u"delete"_s << inIdOrder << words << u""_s << u"3,4"_s << u"3,4"_s;
        QTest::newRow("another program's delete")
            << u"other delete"_s << inIdOrder << words << u""_s << u"statement"_s << u"3,4"_s;
        QTest::newRow("another program's change")
            << u"other save"_s << inIdOrder << words << u""_s << u"statement"_s << u"2,3,4"_s;
        QTest::newRow("next start after another program's change")
            << u"other save, restart"_s << inIdOrder << words << u""_s << u"2,4"_s << u"2,4"_s;
        QTest::newRow("quotes in the words")
            << u""_s << searchStatement(u"don't"_s) << u"don't"_s << u""_s << u"3"_s << u"3"_s;
        QTest::newRow("sorted by ID") << u""_s << Catalogue::sortStatement(search, u"ID"_s) << words << u"ID"_s
                                      << u"2,3,4"_s << u"2,3,4"_s;
        QTest::newRow("sorted by a field")
            << u""_s << Catalogue::sortStatement(search, u"日付"_s) << words << u"日付"_s << u"3,4,2"_s << u"3,4,2"_s;
        QTest::newRow("sorted by a field without an index") << u""_s << Catalogue::sortStatement(search, u"メモ"_s)
                                                            << words << u"メモ"_s << u"statement"_s << u"3,4,2"_s;
        // The keys come from the words handed over, not from the statement's text.
        QTest::newRow("the words handed over are what is read")
            << u""_s << inIdOrder << u"印"_s << u""_s << u"1,6"_s << u"1,6"_s;
        QTest::newRow("a search statement alone") << u""_s << inIdOrder << u""_s << u""_s << u""_s << u"2,3,4"_s;
        QTest::newRow("a plain statement after a search")
            << u"search first"_s
            << Catalogue::orderedSearch(Catalogue::searchStatement(MemoSearch::condition(words) + u" AND ID > 2"_s))
            << u""_s << u""_s << u""_s << u"3,4"_s;
    }
    void keysFromTheIndex()
    {
        QFETCH(QString, happening);
        QFETCH(QString, statement);
        QFETCH(QString, words);
        QFETCH(QString, sortField);
        QFETCH(QString, quick);
        QFETCH(QString, keys);
        addSample();
        std::shared_ptr<MemoIndex> index = settledIndex(book->dbPath());
        QCOMPARE(index->state(), MemoIndex::State::Ready);
        if (happening == u"save"_s)
            save(u"UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = '別' WHERE ID = 3"_s);
        else if (happening == u"delete"_s)
            save(u"DELETE FROM メモ帳 WHERE ID = 2"_s);
        else if (happening == u"other delete"_s)
            book->exec(u"DELETE FROM メモ帳 WHERE ID = 2"_s);
        else if (happening.startsWith(u"other save"_s))
            book->exec(u"UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = '別' WHERE ID = 3"_s);
        if (happening.endsWith(u"restart"_s)) {
            index.reset();
            index = settledIndex(book->dbPath());
        }
        bool ranSearch = false;
        if (!words.isEmpty()) {
            QCOMPARE(quickKeys(query(words, sortField)), quick);
            QCOMPARE(recordSetKeys(statement, query(words, sortField), &ranSearch), keys);
            QCOMPARE(ranSearch, quick == u"statement"_s);
            return;
        }
        RecordSet result(u"Data1"_s);
        result.setDatabaseName(book->dbPath());
        if (happening == u"search first"_s) {
            result.setRecordSource(searchStatement(u"ワード"_s), query(u"ワード"_s));
            QCOMPARE(keysOf(result, &ranSearch), u"2,3,4"_s);
            QVERIFY(!ranSearch);
        }
        result.setRecordSource(statement);
        QCOMPARE(keysOf(result, &ranSearch), keys);
        QVERIFY(ranSearch);
    }

    // A full-text result sorted by a field comes from the field's index in exactly the order
    // that the sorted statement gives, either way round: NULL and empty texts where SQLite puts
    // them, Latin letters without regard to case, Japanese by its bytes, and memos of equal
    // values by ascending ID.
    void sortedKeysAreTheStatements_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("descending");
        for (const char* field : {"ID", "日付", "ヘルプファイル", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "予備１"}) {
            for (bool descending : {false, true}) {
                QTest::addRow("%s %s", field, descending ? "descending" : "ascending")
                    << QString::fromUtf8(field) << descending;
            }
        }
    }
    void sortedKeysAreTheStatements()
    {
        QFETCH(QString, field);
        QFETCH(bool, descending);
        const QStringList pool = {u"NULL"_s,         u"''"_s,         u"'abc'"_s,  u"'ABC'"_s,      u"'Abc'"_s,
                                  u"'abd'"_s,        u"'ab'"_s,       u"'b'"_s,    u"' a'"_s,       u"'a '"_s,
                                  u"'印刷'"_s,       u"'いんさつ'"_s, u"'ｲﾝｻﾂ'"_s, u"'インサツ'"_s, u"'Ａ'"_s,
                                  u"'2026/01/05'"_s, u"'2026/1/5'"_s};
        QRandomGenerator random(29);
        book->exec(u"BEGIN"_s);
        for (int i = 0; i < 120; ++i) {
            QStringList values;
            for (int f = 0; f < 6; ++f)
                values.append(pool.at(random.bounded(int(pool.size()))));
            // Two memos in three hold the word: enough for the index to be walked.
            values.append(random.bounded(3) == 0 ? u"'ほか'"_s : u"'探す言葉'"_s);
            book->exec(u"INSERT INTO メモ帳 (日付, ヘルプファイル, ｷｰﾜｰﾄﾞ, 検索キー１, 検索キー２, 予備１, メモ) "
                       u"VALUES (%1)"_s.arg(values.join(u',')));
        }
        book->exec(u"COMMIT"_s);
        std::shared_ptr<MemoIndex> index = settledIndex(book->dbPath());
        const QString statement =
            Catalogue::sortStatement(Catalogue::searchStatement(MemoSearch::condition(u"探す言葉"_s)), field) +
            (descending ? u" DESC"_s : u""_s);
        Statement sorted(shared->handle(), u"SELECT ID FROM ("_s + statement + u")"_s);
        QVector<qint64> bySqlite;
        while (sorted.step() == Statement::Step::Row)
            bySqlite.append(sorted.int64(0));
        QVERIFY(bySqlite.size() > 60);
        const FullTextQuery fullText{TextFold::words(u"探す言葉"_s), field, descending};
        QCOMPARE(quickKeys(fullText), ids(bySqlite));
        bool ranSearch = true;
        QCOMPARE(recordSetKeys(statement, fullText, &ranSearch), ids(bySqlite));
        QVERIFY(!ranSearch);
    }

    // Saves through the memo book's connection reach the index when no window had it open: it
    // takes them in at its next opening instead of finding itself stale and being made anew.
    void savesWithoutTheIndexOpen()
    {
        addSample();
        settledIndex(book->dbPath()).reset();
        // As the program starts anew: its first connection has never seen an index.
        shared.reset();
        shared = Connection::shared(book->dbPath());
        save(u"UPDATE メモ帳 SET メモ = '窓なしで変えた' WHERE ID = 2"_s);
        save(u"DELETE FROM メモ帳 WHERE ID = 3"_s);
        std::shared_ptr<MemoIndex> index = MemoIndex::open(book->dbPath());
        QSignalSpy states(index.get(), &MemoIndex::stateChanged);
        QCOMPARE(search(u"窓なし"_s), u"2"_s);
        QVERIFY(index->waitForIdle(20000));
        QCOMPARE(index->state(), MemoIndex::State::Ready);
        QCOMPARE(states.count(), 1); // Checking to Ready, no build
        QCOMPARE(indexedIds(book->dbPath(), u"窓なし"_s), u"2"_s);
        QCOMPARE(indexedIds(book->dbPath(), u"わーど"_s), u"2,4"_s);
        QCOMPARE(quickKeys(query(u"ワード"_s)), u"2,4"_s);
    }

    // Where no index can be made (here a folder stands where its file would be made), a reading
    // of the memo book made off the window's thread answers its words exactly for as long as
    // it holds: this program's saves since are judged by their text, another program's change
    // makes the book be read again.
    void keptReading_data()
    {
        QTest::addColumn<QString>("happening");
        QTest::addColumn<QString>("quick");
        QTest::newRow("nothing since") << u""_s << u"2,3,4"_s;
        QTest::newRow("own save adds one") << u"save"_s << u"2,3,4,5"_s;
        QTest::newRow("own save takes one out") << u"save out"_s << u"3,4"_s;
        QTest::newRow("own delete") << u"delete"_s << u"2,4"_s;
        QTest::newRow("another program's change") << u"other save"_s << u"statement"_s;
        QTest::newRow("other words") << u"other words"_s << u"statement"_s;
    }
    void keptReading()
    {
        QFETCH(QString, happening);
        QFETCH(QString, quick);
        addSample();
        QVERIFY(QDir().mkpath(MemoIndexFile::pathFor(book->dbPath()) + u".new"_s));
        std::shared_ptr<MemoIndex> index = MemoIndex::open(book->dbPath());
        QVERIFY(index->waitForIdle(20000));
        QCOMPARE(index->state(), MemoIndex::State::Unavailable);
        index->setReadAtOnceLimit(0);
        const QStringList words = TextFold::words(u"ワード"_s);
        QVERIFY(!index->answersAtOnce(words));
        QCOMPARE(quickKeys(query(u"ワード"_s)), u"statement"_s);
        QObject owner;
        bool ready = false;
        QVERIFY(index->readBookFor(&owner, words, [&ready] { ready = true; }));
        QTRY_VERIFY(ready);
        if (happening == u"save"_s)
            save(u"UPDATE メモ帳 SET メモ = 'ワードの話' WHERE ID = 5"_s);
        else if (happening == u"save out"_s)
            save(u"UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = '別' WHERE ID = 2"_s);
        else if (happening == u"delete"_s)
            save(u"DELETE FROM メモ帳 WHERE ID = 3"_s);
        else if (happening == u"other save"_s)
            book->exec(u"UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = '別' WHERE ID = 6"_s);
        const QString typed = happening == u"other words"_s ? u"印"_s : u"ワード"_s;
        QCOMPARE(quickKeys(query(typed)), quick);
        QCOMPARE(index->answersAtOnce(TextFold::words(typed)), quick != u"statement"_s);
        // The statement itself always gives what the book holds.
        QCOMPARE(search(typed), recordSetKeys(searchStatement(typed)));
    }

    void noIndexWithoutBook()
    {
        const QString missing = book->dir() + u"/none.mdb"_s;
        std::shared_ptr<MemoIndex> index = MemoIndex::open(missing);
        QCOMPARE(index->state(), MemoIndex::State::Unavailable);
        QVERIFY(index->waitForIdle(1000));
        QVERIFY(!QFile::exists(MemoIndexFile::pathFor(missing)));
        QVERIFY(!QFile::exists(missing));
    }
};

ORV_ENGINE_TEST_MAIN(TestMemoIndex)
#include "tst_memo_index.moc"
