#include "jet/JetConverter.h"
#include "jet/JetReader.h"
#include "support/TestMain.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtEndian>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

QString sample(const char* name)
{
    return QStringLiteral(ORV_JET_TEST_DATA "/") + QString::fromLatin1(name);
}

// Every row of a table as text (NULL as a null QVariant), blobs as QByteArray.
QList<QVariantList> rows(const QString& path, const QString& sql)
{
    QList<QVariantList> result;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return result;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QVariantList row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_NULL:
                    row.append(QVariant());
                    break;
                case SQLITE_INTEGER:
                    row.append(sqlite3_column_int64(stmt, c));
                    break;
                case SQLITE_BLOB:
                    row.append(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, c)),
                                          sqlite3_column_bytes(stmt, c)));
                    break;
                default:
                    row.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                                 sqlite3_column_bytes(stmt, c)));
                }
            }
            result.append(row);
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

// The ID a record added now would get.
qint64 nextId(const QString& path, const QString& table)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const QByteArray sql = u"INSERT INTO %1 DEFAULT VALUES"_s.arg(table).toUtf8();
    const bool added = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    const qint64 id = added ? sqlite3_last_insert_rowid(db) : -1;
    sqlite3_close(db);
    return id;
}

// A reader of made-up tables, for what no sample file holds.
class FakeReader : public JetReader
{
public:
    struct FakeTable : Table
    {
        QList<Column> cols;
        QList<QList<Value>> records;
        std::optional<qint64> nextNumber;
        qsizetype failAt = -1;
        qsizetype position = -1;
        const QList<Column>& columns() const override { return cols; }
        qint64 recordCount() const override { return records.size(); }
        std::optional<qint64> nextAutoNumber() const override { return nextNumber; }
        bool next() override
        {
            ++position;
            return position != failAt && position < records.size();
        }
        void takeValues(QList<Value>& into) override { into = records[position]; }
        Failure failure() const override { return position == failAt ? Failure::Damaged : Failure::None; }
        QString why() const override { return u"made to fail"_s; }
    };

    bool isJet3() const override { return false; }
    QStringList tableNames() const override { return tables.keys(); }
    std::unique_ptr<Table> table(const QString& name, QString*) override
    {
        for (auto it = tables.begin(); it != tables.end(); ++it) {
            if (it.key().compare(name, Qt::CaseInsensitive) == 0)
                return std::make_unique<FakeTable>(it.value());
        }
        return nullptr;
    }
    QMap<QString, FakeTable> tables;
};

JetReader::Value text(const char* utf8)
{
    return {JetReader::Value::Kind::Text, QByteArray(utf8)};
}

JetReader::Value null()
{
    return {};
}

// A memo table of IDs 1, 2, ... and one memo text each.
FakeReader::FakeTable memoTable(int count, const char* memo)
{
    FakeReader::FakeTable memos;
    memos.cols = {{u"ID"_s, 4, true}, {u"メモ"_s, 12, false}};
    for (int i = 0; i < count; ++i)
        memos.records.append({text(QByteArray::number(i + 1).constData()), text(memo)});
    return memos;
}

} // namespace

class TestJetConvert : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString target() const { return dir.filePath(u"new.mdb"_s); }

private Q_SLOTS:
    void cleanup() { QFile::remove(target()); }

    // Every field of every row against the digests the file was made with.
    void sampleComesAcrossExactly()
    {
        const JetConverter::Report report = JetConverter::convert(sample("IDATA2_sample_v2000.mdb"), target());
        QCOMPARE(report.outcome, JetConversion::Outcome::Converted);
        QFile manifestFile(sample("IDATA2_sample_v2000.mdb.json"));
        QVERIFY(manifestFile.open(QIODevice::ReadOnly));
        const QJsonObject manifest = QJsonDocument::fromJson(manifestFile.readAll()).object();
        const QJsonObject tables = manifest.value(u"tables"_s).toObject();
        QCOMPARE(report.memos, tables.value(u"メモ帳"_s).toObject().value(u"row_count"_s).toInt());
        QCOMPARE(report.applications, tables.value(u"パス"_s).toObject().value(u"row_count"_s).toInt());

        for (const QString& table : tables.keys()) {
            const QJsonObject t = tables.value(table).toObject();
            QStringList columns;
            for (const QJsonValue& c : t.value(u"columns"_s).toArray())
                columns.append(u'"' + c.toObject().value(u"name"_s).toString() + u'"');
            QHash<qint64, QVariantList> stored;
            for (const QVariantList& row : rows(target(), u"SELECT %1 FROM %2"_s.arg(columns.join(u','), table)))
                stored.insert(row.first().toLongLong(), row);
            const QJsonArray expected = t.value(u"rows"_s).toArray();
            QCOMPARE(stored.size(), expected.size());
            for (const QJsonValue& r : expected) {
                const qint64 id = r.toObject().value(u"ID"_s).toInteger();
                QVERIFY2(stored.contains(id), qPrintable(u"%1 ID %2 missing"_s.arg(table).arg(id)));
                const QJsonArray digests = r.toObject().value(u"sha256"_s).toArray();
                const QVariantList& row = stored.value(id);
                for (qsizetype c = 0; c < digests.size(); ++c) {
                    const QString where = u"%1 ID %2 %3"_s.arg(table).arg(id).arg(columns[c]);
                    if (digests[c].isNull()) {
                        QVERIFY2(row[c].isNull(), qPrintable(where + u" should be NULL"_s));
                        continue;
                    }
                    QVERIFY2(!row[c].isNull(), qPrintable(where + u" should not be NULL"_s));
                    const QByteArray digest =
                        QCryptographicHash::hash(row[c].toString().toUtf8(), QCryptographicHash::Sha256).toHex();
                    QVERIFY2(digest == digests[c].toString().toLatin1(), qPrintable(where));
                }
            }
            // New records are numbered after the last one ever given, even a deleted one.
            QCOMPARE(nextId(target(), table), t.value(u"next_auto_number"_s).toInteger());
        }
        const int longMemo = manifest.value(u"edge_cases"_s).toObject().value(u"memo_200000_ascii"_s).toInt();
        QCOMPARE(rows(target(), u"SELECT length(メモ) FROM メモ帳 WHERE ID = %1"_s.arg(longMemo)),
                 (QList<QVariantList>{{200000}}));
        // The application table is the program's own: plain index, limits on its texts.
        QCOMPARE(rows(target(), u"SELECT \"unique\" FROM pragma_index_list('パス') WHERE name = 'PrimaryKey'"_s),
                 (QList<QVariantList>{{0}}));
        QCOMPARE(rows(target(), u"SELECT count(*) FROM pragma_index_list('メモ帳')"_s), (QList<QVariantList>{{7}}));
    }

    void otherSamples_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QList<QVariantList>>("expected");
        QTest::addColumn<qint64>("nextMemoId");
        // Jet 4: columns the file lacks come as NULL; "" stays apart from NULL; an emoji whole;
        // a long integer application ID as its decimal text; the deleted ID 2 never comes back.
        QTest::newRow("Jet 4 with fewer columns")
            << u"jp_V2000.mdb"_s
            << u"SELECT ID, ｷｰﾜｰﾄﾞ, 検索キー１, length(メモ), 日付, 予備１ FROM メモ帳 ORDER BY ID"_s
            << QList<QVariantList>{{1, u"ｶﾀｶﾅ"_s, u"かな漢字"_s, 14, QVariant(), QVariant()},
                                   {3, u"①②③ ～ ￥ ― ∥ －"_s, u"ＡＢＣ１２３"_s, 37890, QVariant(), QVariant()},
                                   {4, QString(), QVariant(), 158890, QVariant(), QVariant()},
                                   {5, u"emoji😀"_s, u"Ünïcödé Ελληνικά Русский"_s, 16, QVariant(), QVariant()},
                                   {6, u"after delete"_s, u"削除後"_s, 14, QVariant(), QVariant()}}
            << qint64(7);
        QTest::newRow("Jet 4 application table")
            << u"jp_V2000.mdb"_s << u"SELECT ID, アプリＩＤ, パス FROM パス ORDER BY ID"_s
            << QList<QVariantList>{{1, u"1"_s, u"C:\\Program Files\\アプリ\\app.exe"_s},
                                   {2, u"2"_s, u"D:\\データ\\メモ.txt"_s}}
            << qint64(7);
        // Jet 3 text is code page 932 whatever the header says: the backslash stays one.
        QTest::newRow("Jet 3, header says 1252")
            << u"jp_jet3_cp932_backslash.mdb"_s << u"SELECT ID, ｷｰﾜｰﾄﾞ FROM メモ帳"_s
            << QList<QVariantList>{{2, u"C:\\①~a"_s}} << qint64(3);
        QTest::newRow("Jet 3, header says 932") << u"jp_jet3_cp932_patched.mdb"_s << u"SELECT ID, ｷｰﾜｰﾄﾞ FROM メモ帳"_s
                                                << QList<QVariantList>{{2, u"A日本語"_s}} << qint64(3);
    }

    void otherSamples()
    {
        QFETCH(QString, file);
        QFETCH(QString, sql);
        QFETCH(QList<QVariantList>, expected);
        QFETCH(qint64, nextMemoId);
        const JetConverter::Report report = JetConverter::convert(sample(file.toUtf8().constData()), target());
        QCOMPARE(report.outcome, JetConversion::Outcome::Converted);
        QList<QVariantList> got = rows(target(), sql);
        // Compare as text so that the integer and text columns read alike.
        auto asText = [](QList<QVariantList> list) {
            for (QVariantList& row : list)
                for (QVariant& v : row)
                    v = v.isNull() ? QVariant() : QVariant(v.toString());
            return list;
        };
        QCOMPARE(asText(got), asText(expected));
        QCOMPARE(nextId(target(), u"メモ帳"_s), nextMemoId);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<JetConversion::Outcome>("outcome");
        QTest::newRow("another program's Jet file")
            << sample("noRoman.mdb") << false << JetConversion::Outcome::NoMemoTable;
        QTest::newRow("zero bytes") << sample("empty_0byte.mdb") << false << JetConversion::Outcome::Damaged;
        QTest::newRow("not there") << dir.filePath(u"missing.mdb"_s) << false << JetConversion::Outcome::Unreadable;
        QTest::newRow("a folder") << dir.path() << false << JetConversion::Outcome::Unreadable;
        QTest::newRow("target exists") << sample("jp_V2000.mdb") << true << JetConversion::Outcome::TargetExists;
    }

    void refusals()
    {
        QFETCH(QString, source);
        QFETCH(bool, targetExists);
        QFETCH(JetConversion::Outcome, outcome);
        if (targetExists) {
            QFile f(target());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        QCOMPARE(JetConverter::convert(source, target()).outcome, outcome);
        if (targetExists) {
            QFile f(target());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("keep me"));
        } else {
            QVERIFY2(!QFile::exists(target()), "a failed conversion leaves no file behind");
        }
    }

    // Columns the program does not know are carried across; IDs are kept, never renumbered.
    void unknownColumnsAndBinaryValues()
    {
        FakeReader reader;
        FakeReader::FakeTable memos;
        memos.cols = {{u"id"_s, 4, true},
                      {u"ｷｰﾜｰﾄﾞ"_s, 10, false},
                      {u"担当者"_s, 10, false},
                      {u"写真"_s, 11, false},
                      {u"Say \"hi\""_s, 10, false}};
        memos.records = {
            {text("40"), text("k"), text("山田"), {JetReader::Value::Kind::Blob, QByteArray("\0\1\2", 3)}, null()},
            {text("7"), null(), text(""), null(), text("x")}};
        memos.nextNumber = 100;
        reader.tables.insert(u"メモ帳"_s, memos);
        const JetConverter::Report report = JetConverter::convert(reader, target());
        QCOMPARE(report.outcome, JetConversion::Outcome::Converted);
        QCOMPARE(report.memos, 2);
        QCOMPARE(rows(target(), u"SELECT ID, ｷｰﾜｰﾄﾞ, 担当者, 写真, \"Say \"\"hi\"\"\", メモ FROM メモ帳 ORDER BY ID"_s),
                 (QList<QVariantList>{{7, QVariant(), QString(), QVariant(), u"x"_s, QVariant()},
                                      {40, u"k"_s, u"山田"_s, QByteArray("\0\1\2", 3), QVariant(), QVariant()}}));
        QCOMPARE(nextId(target(), u"メモ帳"_s), 100);
        QVERIFY2(rows(target(), u"SELECT name FROM sqlite_master WHERE name = 'パス'"_s).isEmpty(),
                 "an application table is made only from one the file has");
    }

    // Records are read on a thread of their own while the ones before them are written: none
    // may be lost or repeated, whatever their number.
    void everyRecordInItsOrder_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {0, 1, 2, 255, 256, 257, 700, 1024, 1025})
            QTest::newRow(qPrintable(QString::number(count))) << count;
    }

    void everyRecordInItsOrder()
    {
        QFETCH(int, count);
        FakeReader reader;
        FakeReader::FakeTable memos = memoTable(count, "");
        QList<QVariantList> expected;
        for (int i = 0; i < count; ++i) {
            const QByteArray memo = "メモ " + QByteArray::number(i) + QByteArray(i % 50, 'x');
            memos.records[i] = {text(QByteArray::number(3 * i + 1).constData()), text(memo.constData())};
            expected.append({QString::number(3 * i + 1), QString::fromUtf8(memo)});
        }
        reader.tables.insert(u"メモ帳"_s, memos);
        const JetConverter::Report report = JetConverter::convert(reader, target());
        QCOMPARE(report.outcome, JetConversion::Outcome::Converted);
        QCOMPARE(report.memos, count);
        QCOMPARE(rows(target(), u"SELECT ID, メモ FROM メモ帳 ORDER BY rowid"_s), expected);
    }

    // A large file tells how far it has come every thousand memos or so.
    void progressOfALargeTable()
    {
        FakeReader reader;
        reader.tables.insert(u"メモ帳"_s, memoTable(2500, "m"));
        QList<qint64> reported;
        const JetConverter::Report report = JetConverter::convert(reader, target(), [&](qint64 done, qint64 total) {
            QCOMPARE(total, 2500);
            reported.append(done);
        });
        QCOMPARE(report.outcome, JetConversion::Outcome::Converted);
        QVERIFY(std::is_sorted(reported.cbegin(), reported.cend()));
        QCOMPARE(reported.first(), 0);
        QCOMPARE(reported.last(), 2500);
        for (qint64 thousand : {1000, 2000})
            QVERIFY2(std::any_of(reported.cbegin(), reported.cend(),
                                 [thousand](qint64 done) { return done >= thousand && done < thousand + 1000; }),
                     qPrintable(QString::number(thousand)));
    }

    void failuresRemoveTheNewFile_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("count");
        QTest::newRow("reader fails half-way") << 0 << 3;
        QTest::newRow("two records with one ID") << 1 << 3;
        QTest::newRow("an ID that is no number") << 2 << 3;
        QTest::newRow("application table fails") << 3 << 3;
        QTest::newRow("reader fails far on") << 0 << 2000;
        QTest::newRow("two records with one ID far on") << 1 << 2000;
    }

    void failuresRemoveTheNewFile()
    {
        QFETCH(int, fault);
        QFETCH(int, count);
        FakeReader reader;
        FakeReader::FakeTable memos = memoTable(count, "a");
        FakeReader::FakeTable paths;
        paths.cols = {{u"ID"_s, 4, true}, {u"パス"_s, 10, false}};
        paths.records = {{text("1"), text("p")}};
        const int late = count - 1;
        switch (fault) {
        case 0:
            memos.failAt = late;
            break;
        case 1:
            memos.records[late][0] = text("1");
            break;
        case 2:
            memos.records[1][0] = text("zwei");
            break;
        case 3:
            paths.failAt = 0;
            break;
        }
        reader.tables.insert(u"メモ帳"_s, memos);
        reader.tables.insert(u"パス"_s, paths);
        QCOMPARE(JetConverter::convert(reader, target()).outcome, JetConversion::Outcome::Damaged);
        QVERIFY(!QFile::exists(target()));
    }

    void textOfOtherTypes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("date") << "date" << 46363.0 << "2026/12/07";
        QTest::newRow("date and time") << "date" << 46363.75 << "2026/12/07 18:00:00";
        QTest::newRow("day zero") << "date" << 0.0 << "1899/12/30";
        QTest::newRow("before day zero, with time") << "date" << -1.25 << "1899/12/29 06:00:00";
        QTest::newRow("a second before midnight rounds up") << "date" << 46363.9999999 << "2026/12/08";
        QTest::newRow("out of Jet's range") << "date" << 1e7 << "1e+07";
        QTest::newRow("double") << "double" << 0.1 << "0.1";
        QTest::newRow("single") << "single" << double(0.1f) << "0.1";
        QTest::newRow("negative double") << "double" << -1234.5 << "-1234.5";
        QTest::newRow("currency") << "currency" << 123456.0 << "12.3456";
        QTest::newRow("currency, trailing zeros") << "currency" << 125000.0 << "12.5";
        QTest::newRow("currency, whole") << "currency" << -50000.0 << "-5";
        QTest::newRow("byte, unsigned") << "byte" << 255.0 << "255";
        QTest::newRow("integer, negative") << "integer" << -2.0 << "-2";
        QTest::newRow("integer, above a byte") << "integer" << 300.0 << "300";
        QTest::newRow("long, negative") << "long" << -70000.0 << "-70000";
        QTest::newRow("yes") << "yes/no" << 1.0 << "True";
        QTest::newRow("no") << "yes/no" << 0.0 << "False";
    }

    void textOfOtherTypes()
    {
        QFETCH(QString, kind);
        QFETCH(double, value);
        QFETCH(QString, expected);
        if (kind == u"date"_s)
            QCOMPARE(JetText::dateTime(value), expected);
        else if (kind == u"currency"_s)
            QCOMPARE(JetText::currency(qint64(value)), expected);
        else if (kind == u"yes/no"_s)
            QCOMPARE(JetText::yesNo(value != 0), expected);
        else if (const int bytes = kind == u"byte"_s      ? 1
                                   : kind == u"integer"_s ? 2
                                                          : 4;
                 kind != u"double"_s && kind != u"single"_s) {
            const auto stored = qToLittleEndian(qint32(value)); // the low bytes come first
            QCOMPARE(JetText::integer(reinterpret_cast<const unsigned char*>(&stored), bytes), expected);
        } else
            QCOMPARE(JetText::number(value, kind == u"single"_s), expected);
    }

    void jet4Text_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("valid");
        QTest::newRow("UTF-16") << QByteArray::fromHex("41006500") << "Ae" << true;
        QTest::newRow("outside the BMP") << QByteArray::fromHex("42d8b7df") << "𠮷" << true;
        QTest::newRow("compressed") << QByteArray::fromHex("fffe414243") << "ABC" << true;
        // A zero byte switches between one-byte and two-byte characters.
        QTest::newRow("compressed, mixed") << QByteArray::fromHex("fffe4100226f575b0042") << "A漢字B" << true;
        QTest::newRow("empty") << QByteArray() << "" << true;
        QTest::newRow("odd length") << QByteArray::fromHex("410065") << "" << false;
        QTest::newRow("lone high surrogate") << QByteArray::fromHex("42d84100") << "" << false;
        QTest::newRow("lone high surrogate at the end") << QByteArray::fromHex("410042d8") << "" << false;
        QTest::newRow("lone low surrogate") << QByteArray::fromHex("b7df") << "" << false;
    }

    void jet4Text()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, expected);
        QFETCH(bool, valid);
        const std::optional<QByteArray> utf8 = JetText::utf8FromJet4(stored.constData(), stored.size());
        QCOMPARE(utf8.has_value(), valid);
        if (valid)
            QCOMPARE(QString::fromUtf8(*utf8), expected);
    }
};

ORV_TEST_MAIN(TestJetConvert)
#include "tst_jet_convert.moc"
