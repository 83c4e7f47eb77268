#include "support/TestMain.h"
#include "viewer/ChmArchive.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

namespace {

const QString Compiler = QStringLiteral("/usr/bin/chmcmd");

QByteArray sjis(const QString& text)
{
    QStringEncoder encoder("Shift_JIS");
    return encoder.encode(text);
}

// Bytes that no compressor shrinks, the same on every run.
QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

QString entryText(const ChmArchive::Entry& entry)
{
    return QStringLiteral("%1|%2|%3|%4").arg(entry.level).arg(entry.name, entry.local, entry.topic);
}

QStringList entryTexts(const QList<ChmArchive::Entry>& entries)
{
    QStringList texts;
    for (const ChmArchive::Entry& entry : entries)
        texts.append(entryText(entry));
    return texts;
}

quint32 le32(const QByteArray& b, qint64 at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uchar(b.at(at + i));
    return v;
}

quint64 le64(const QByteArray& b, qint64 at)
{
    return le32(b, at) | quint64(le32(b, at + 4)) << 32;
}

void put32(QByteArray& b, qint64 at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

void put64(QByteArray& b, qint64 at, quint64 v)
{
    put32(b, at, quint32(v));
    put32(b, at + 4, quint32(v >> 32));
}

// The container as the format lays it out, read independently of the code under test, so that a test can
// damage one part of it on purpose.
struct Layout
{
    qint64 itsp = 0;
    qint64 chunkBase = 0;
    qint64 chunkSize = 0;
    qint64 chunkCount = 0;
    qint64 dataOffset = 0;
    qint64 root = -1;

    struct Item
    {
        QByteArray name;
        quint64 space = 0, start = 0, length = 0;
    };

    explicit Layout(const QByteArray& chm)
    {
        itsp = qint64(le64(chm, 0x48));
        chunkBase = itsp + 0x54;
        chunkSize = le32(chm, itsp + 0x10);
        chunkCount = (qint64(le64(chm, 0x50)) - 0x54) / chunkSize;
        dataOffset = qint64(le64(chm, 0x58));
        root = qint32(le32(chm, itsp + 0x1c));
    }

    qint64 chunk(int i) const { return chunkBase + i * chunkSize; }

    static quint64 number(const QByteArray& b, qint64* at)
    {
        quint64 v = 0;
        uchar c;
        do {
            c = uchar(b.at((*at)++));
            v = v << 7 | (c & 0x7f);
        } while (c >= 0x80);
        return v;
    }

    static QByteArray encode(quint64 v)
    {
        QByteArray out(1, char(v & 0x7f));
        while (v >>= 7)
            out.prepend(char(0x80 | (v & 0x7f)));
        return out;
    }

    QList<Item> items(const QByteArray& chm, int i) const
    {
        QList<Item> list;
        const qint64 base = chunk(i);
        const qint64 end = base + chunkSize - le32(chm, base + 4);
        for (qint64 at = base + 0x14; at < end;) {
            Item item;
            const quint64 size = number(chm, &at);
            item.name = chm.mid(at, qsizetype(size));
            at += qint64(size);
            item.space = number(chm, &at);
            item.start = number(chm, &at);
            item.length = number(chm, &at);
            list.append(item);
        }
        return list;
    }

    // Writes the listing chunk anew with the entries as given.
    void rewrite(QByteArray& chm, int i, const QList<Item>& list) const
    {
        QByteArray body;
        for (const Item& item : list)
            body += encode(quint64(item.name.size())) + item.name + encode(item.space) + encode(item.start) +
                    encode(item.length);
        QVERIFY(body.size() <= chunkSize - 0x14);
        const qint64 base = chunk(i);
        chm.replace(base + 0x14, body.size(), body);
        chm.replace(base + 0x14 + body.size(), chunkSize - 0x14 - body.size(),
                    QByteArray(chunkSize - 0x14 - body.size(), 0));
        put32(chm, base + 4, quint32(chunkSize - 0x14 - body.size()));
    }

    // Changes the entry of that name wherever it is listed; false when no chunk lists it.
    bool change(QByteArray& chm, const QByteArray& name, const std::function<void(Item&)>& how) const
    {
        for (int i = 0; i < chunkCount; ++i) {
            if (chm.mid(chunk(i), 4) != "PMGL")
                continue;
            QList<Item> list = items(chm, i);
            for (Item& item : list) {
                if (item.name == name) {
                    how(item);
                    rewrite(chm, i, list);
                    return true;
                }
            }
        }
        return false;
    }

    Item find(const QByteArray& chm, const QByteArray& name) const
    {
        for (int i = 0; i < chunkCount; ++i) {
            if (chm.mid(chunk(i), 4) != "PMGL")
                continue;
            for (const Item& item : items(chm, i)) {
                if (item.name == name)
                    return item;
            }
        }
        return {};
    }
};

const QByteArray ControlData = "::DataSpace/Storage/MSCompressed/ControlData";
const QByteArray ResetTable =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
const QByteArray Content = "::DataSpace/Storage/MSCompressed/Content";

enum class Damage {
    ListingLoops,
    IndexLoops,
    ChunkSizeZero,
    ChunkSizeHuge,
    DirectoryPastEnd,
    RootPastDirectory,
    DataPastEnd,
    NameRunsPastChunk,
    EmptyName,
    UnknownSection,
    StoredMemberPastEnd,
    CompressedMemberPastSection,
    ControlDataWindowZero,
    ControlDataWindowOdd,
    ControlDataShort,
    ResetTableFrameZero,
    ResetTableFrameHuge,
    ResetTableJump,
    ResetTableTooFewFrames,
    ContentPastEnd,
};

} // namespace

Q_DECLARE_METATYPE(Damage)

class TestChmArchive : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QHash<QString, QByteArray> m_sources; // what went into the help file, by member
    QString m_chm;                        // the full help file
    QString m_plain;                      // one without an index, its contents in Shift_JIS
    QString m_many;                       // one with a directory of several chunks

    QString path(const QString& name) const { return m_dir.filePath(name); }

    bool write(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        QFile f(path(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    QByteArray bytesOf(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Compiles a project in its own folder, as the help author would.
    QString compile(const QString& folder, const QString& project)
    {
        QProcess compiler;
        compiler.setWorkingDirectory(path(folder));
        compiler.setProcessChannelMode(QProcess::MergedChannels);
        compiler.start(Compiler, {project});
        if (!compiler.waitForFinished(60000) || compiler.exitCode() != 0) {
            qWarning() << compiler.readAll();
            return {};
        }
        QDir dir(path(folder));
        const QStringList made = dir.entryList({QStringLiteral("*.chm")});
        return made.isEmpty() ? QString() : dir.filePath(made.first());
    }

    QString damaged(const QByteArray& bytes, const QString& name)
    {
        const QString file = path(QStringLiteral("damaged/") + name);
        return write(QStringLiteral("damaged/") + name, bytes) ? file : QString();
    }

    // Opens it, and reads every member it then lists: each read succeeds or fails, the program stays.
    static bool openAndReadAll(const QString& file)
    {
        Result result;
        const std::unique_ptr<ChmArchive> chm = ChmArchive::open(file, &result);
        if (!chm) {
            if (result.ok || result.message.isEmpty())
                qFatal("a refused file without its reason");
            return false;
        }
        for (const QString& member : chm->members()) {
            Result read;
            const QByteArray data = chm->read(member, &read);
            if (!read && !data.isEmpty())
                qFatal("a failed read with data");
        }
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(Compiler))
            QSKIP("chmcmd (fp-utils) is not installed");
        QVERIFY(m_dir.isValid());

        m_sources["/a.htm"] = QStringLiteral("<html><head><title>印刷の手引き</title>"
                                             "<link rel=\"stylesheet\" href=\"style.css\"></head><body><h1>印刷</h1>"
                                             "<p>余白の設定は <a href=\"b.htm#margin\">こちら</a>。</p>"
                                             "<img src=\"pic.png\"></body></html>")
                                  .toUtf8();
        m_sources["/b.htm"] = sjis(QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" "
                                                  "content=\"text/html; charset=Shift_JIS\"><title>余白</title></head>"
                                                  "<body><h1><a name=\"margin\"></a>余白</h1><p>用紙の余白を変える。"
                                                  "</p></body></html>"));
        m_sources["/sub/c.htm"] = QStringLiteral("<html><body><p>下位のページ</p></body></html>").toUtf8();
        // Larger than several compression frames and reset intervals, each line different.
        QByteArray big;
        for (int i = 0; big.size() < 300000; ++i)
            big += QStringLiteral("<p>%1 行目：メモ帳の説明。</p>\n").arg(i).toUtf8();
        m_sources["/big.htm"] = big;
        m_sources["/pic.png"] = "\x89PNG\r\n\x1a\n" + noise(70000, 7);
        m_sources["/style.css"] = "h1 { color: navy; }\n";
        for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it)
            QVERIFY(write(QStringLiteral("full") + it.key(), it.value()));

        const QByteArray toc =
            QStringLiteral("<html><body><object type=\"text/site properties\"><param name=\"Name\" "
                           "value=\"無視\"></object><ul>\n"
                           "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"印刷\">"
                           "<param name=\"Local\" value=\"a.htm\"></object>\n<ul>\n"
                           "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"余白の設定\">"
                           "<param name=\"Local\" value=\"b.htm#margin\"></object>\n"
                           "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"下位 &amp; 詳細\">"
                           "<param name=\"Local\" value=\"sub/c.htm\"></object>\n</ul>\n"
                           "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"大きなページ\">"
                           "<param name=\"Local\" value=\"big.htm\"></object>\n"
                           "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"見出し\">"
                           "</object>\n</ul></body></html>")
                .toUtf8();
        const QByteArray index = QStringLiteral("<html><body><ul>\n"
                                                "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"余白\">"
                                                "<param name=\"Name\" value=\"余白の設定\"><param name=\"Local\" "
                                                "value=\"b.htm#margin\"><param name=\"Name\" value=\"印刷の余白\">"
                                                "<param name=\"Local\" value=\"a.htm\"></object>\n"
                                                "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"印刷\">"
                                                "<param name=\"Local\" value=\"a.htm\"></object>\n"
                                                "</ul></body></html>")
                                     .toUtf8();
        QVERIFY(write(QStringLiteral("full/toc.hhc"), toc));
        QVERIFY(write(QStringLiteral("full/index.hhk"), index));
        m_sources["/toc.hhc"] = toc;
        QVERIFY(write(QStringLiteral("full/help.hhp"),
                      QStringLiteral("[OPTIONS]\nCompiled file=Help.chm\nContents file=toc.hhc\nIndex file=index.hhk\n"
                                     "Default topic=a.htm\nTitle=テスト文書\nLanguage=0x411 Japanese\n\n[FILES]\n"
                                     "a.htm\nb.htm\nsub/c.htm\nbig.htm\npic.png\nstyle.css\n")
                          .toUtf8()));
        m_chm = compile(QStringLiteral("full"), QStringLiteral("help.hhp"));
        QVERIFY2(!m_chm.isEmpty(), "chmcmd made no help file");

        // Contents in Shift_JIS that do not say so, as older Japanese help projects have them.
        QVERIFY(write(QStringLiteral("plain/p.htm"), "<html><body>p</body></html>"));
        QVERIFY(write(QStringLiteral("plain/toc.hhc"),
                      sjis(QStringLiteral("<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"表紙\">"
                                          "<param name=\"Local\" value=\"p.htm\"></object></ul>"))));
        QVERIFY(write(QStringLiteral("plain/plain.hhp"),
                      "[OPTIONS]\nCompiled file=plain.chm\nContents file=toc.hhc\nLanguage=0x411 Japanese\n\n"
                      "[FILES]\np.htm\n"));
        m_plain = compile(QStringLiteral("plain"), QStringLiteral("plain.hhp"));
        QVERIFY2(!m_plain.isEmpty(), "chmcmd made no help file without an index");

        QStringList pages;
        for (int i = 0; i < 300; ++i) {
            pages.append(QStringLiteral("page_with_a_rather_long_name_number_%1.htm").arg(i, 3, 10, QLatin1Char('0')));
            QVERIFY(write(QStringLiteral("many/") + pages.last(), QByteArray::number(i)));
        }
        QVERIFY(
            write(QStringLiteral("many/many.hhp"),
                  ("[OPTIONS]\nCompiled file=many.chm\nTitle=many\n\n[FILES]\n" + pages.join('\n') + '\n').toUtf8()));
        m_many = compile(QStringLiteral("many"), QStringLiteral("many.hhp"));
        QVERIFY2(!m_many.isEmpty(), "chmcmd made no help file of many pages");
    }

    void settings()
    {
        Result result;
        const auto chm = ChmArchive::open(m_chm, &result);
        QVERIFY2(chm, qPrintable(result.message));
        QVERIFY(result.ok);
        QCOMPARE(chm->title(), QStringLiteral("テスト文書"));
        QCOMPARE(chm->defaultTopic(), QStringLiteral("/a.htm"));
        QCOMPARE(chm->lcid(), 0x0411u);
        QVERIFY(chm->members().contains(QStringLiteral("/sub/c.htm")));
        QVERIFY(chm->members().contains(QStringLiteral("/#SYSTEM")));
    }

    void contentsAndIndex()
    {
        const auto chm = ChmArchive::open(m_chm);
        QVERIFY(chm);
        QCOMPARE(entryTexts(chm->contents()), QStringList({
                                                  QStringLiteral("0|印刷|/a.htm|"),
                                                  QStringLiteral("1|余白の設定|/b.htm#margin|"),
                                                  QStringLiteral("1|下位 & 詳細|/sub/c.htm|"),
                                                  QStringLiteral("0|大きなページ|/big.htm|"),
                                                  QStringLiteral("0|見出し||"),
                                              }));
        QCOMPARE(entryTexts(chm->keywordIndex()), QStringList({
                                                      QStringLiteral("0|余白|/b.htm#margin|余白の設定"),
                                                      QStringLiteral("0|余白|/a.htm|印刷の余白"),
                                                      QStringLiteral("0|印刷|/a.htm|"),
                                                  }));
    }

    void readMember_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("source");
        QTest::newRow("without the leading slash") << "sub/c.htm"
                                                   << "/sub/c.htm";
        QTest::newRow("letter case ignored") << "/SUB/C.HTM"
                                             << "/sub/c.htm";
        QTest::newRow("fragment passed over") << "/b.htm#margin"
                                              << "/b.htm";
    }

    void readMember()
    {
        QFETCH(QString, member);
        QFETCH(QString, source);
        const auto chm = ChmArchive::open(m_chm);
        QVERIFY(chm);
        QVERIFY(chm->contains(member));
        Result result;
        const QByteArray data = chm->read(member, &result);
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(data.size(), m_sources.value(source).size());
        QVERIFY(data == m_sources.value(source));
    }

    void readMissing_data()
    {
        QTest::addColumn<QString>("member");
        QTest::newRow("absent") << "/nothing.htm";
        QTest::newRow("empty") << "";
        QTest::newRow("a folder of it") << "/sub";
        QTest::newRow("part of a name") << "/a.ht";
    }

    void readMissing()
    {
        QFETCH(QString, member);
        const auto chm = ChmArchive::open(m_chm);
        QVERIFY(chm);
        QVERIFY(!chm->contains(member));
        Result result;
        QVERIFY(chm->read(member, &result).isEmpty());
        QVERIFY(!result.ok);
        QVERIFY(!result.message.isEmpty());
    }

    // Pages are read from the viewer's thread and from the search in the background at once.
    void readFromSeveralThreads()
    {
        const auto chm = ChmArchive::open(m_chm);
        QVERIFY(chm);
        QAtomicInt wrong = 0;
        QList<QThread*> threads;
        for (int t = 0; t < 4; ++t) {
            threads.append(QThread::create([&, t] {
                for (int i = 0; i < 20; ++i) {
                    const QString member = (i + t) % 2 ? QStringLiteral("/big.htm") : QStringLiteral("/pic.png");
                    if (chm->read(member) != m_sources.value(member))
                        wrong.ref();
                }
            }));
            threads.last()->start();
        }
        for (QThread* thread : threads) {
            QVERIFY(thread->wait(60000));
            delete thread;
        }
        QCOMPARE(wrong.loadRelaxed(), 0);
    }

    void withoutIndex()
    {
        Result result;
        const auto chm = ChmArchive::open(m_plain, &result);
        QVERIFY2(chm, qPrintable(result.message));
        QVERIFY(chm->keywordIndex().isEmpty());
        QCOMPARE(entryTexts(chm->contents()), QStringList{QStringLiteral("0|表紙|/p.htm|")});
        // It names no default topic: the first page of its contents.
        QCOMPARE(chm->defaultTopic(), QStringLiteral("/p.htm"));
    }

    void severalDirectoryChunks()
    {
        const QByteArray bytes = bytesOf(m_many);
        QVERIFY(Layout(bytes).root >= 0); // the lookup goes through an index chunk
        const auto chm = ChmArchive::open(m_many);
        QVERIFY(chm);
        QCOMPARE(chm->title(), QStringLiteral("many"));
        for (int i = 0; i < 300; ++i)
            QVERIFY(chm->members().contains(
                QStringLiteral("/page_with_a_rather_long_name_number_%1.htm").arg(i, 3, 10, QLatin1Char('0'))));
        for (int i : {0, 150, 299}) {
            const QString page =
                QStringLiteral("/PAGE_WITH_A_RATHER_LONG_NAME_NUMBER_%1.HTM").arg(i, 3, 10, QLatin1Char('0'));
            QCOMPARE(chm->read(page), QByteArray::number(i));
        }
    }

    void resolve_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* tag, const char* from, const char* link, const char* expected) {
            QTest::newRow(tag) << QString::fromUtf8(from) << QString::fromUtf8(link) << QString::fromUtf8(expected);
        };
        row("beside", "/dir/a.htm", "b.htm#x", "/dir/b.htm#x");
        row("up a folder", "/dir/a.htm", "../c.htm", "/c.htm");
        row("down a folder", "/a.htm", "sub/./d.htm", "/sub/d.htm");
        row("from the root", "/dir/a.htm", "/e.htm", "/e.htm");
        row("anchor in the same page", "/dir/a.htm#top", "#end", "/dir/a.htm#end");
        row("percent-encoded", "/a.htm", "%E4%BD%99%E7%99%BD%20x.htm", "/余白 x.htm");
        row("backslashes", "/dir/a.htm", "sub\\f.htm", "/dir/sub/f.htm");
        row("help file link", "/dir/a.htm", "ms-its:x.chm::/y.htm", "/y.htm");
        row("help file link, old form", "/a.htm", "mk:@MSITStore:C:\\help\\x.chm::/dir/y.htm#z", "/dir/y.htm#z");
        row("another help file", "/a.htm", "other.chm::/x.htm", "");
        row("script", "/a.htm", "javascript:alert(1)", "");
        row("drive letter", "/a.htm", "C:\\x.htm", "");
        row("network", "/a.htm", "//server/x.htm", "");
        row("above the root", "/dir/a.htm", "../../x.htm", "");
        row("empty", "/a.htm", "", "");
    }

    void resolve()
    {
        QFETCH(QString, from);
        QFETCH(QString, link);
        QFETCH(QString, expected);
        QCOMPARE(ChmArchive::resolve(from, link), expected);
    }

    void parseSitemap_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<quint32>("lcid");
        QTest::addColumn<QString>("sitemap");
        QTest::addColumn<QStringList>("expected");
        auto item = [](const QString& name, const QString& local) {
            return QStringLiteral("<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"%1\">"
                                  "<param name=\"Local\" value=\"%2\"></object>")
                .arg(name, local);
        };
        QTest::newRow("entities") << QStringLiteral("<ul>%1</ul>")
                                         .arg(item(QStringLiteral("&lt;A&gt; &amp; &#12354;&#x3044; &quot;&bogus; &"),
                                                   QStringLiteral("a&amp;b.htm")))
                                         .toUtf8()
                                  << 0u << "/toc.hhc"
                                  << QStringList{QStringLiteral("0|<A> & あい \"&bogus; &|/a&b.htm|")};
        QTest::newRow("locals beside the sitemap")
            << item(QStringLiteral("x"), QStringLiteral("../b.htm#m")).toUtf8() << 0u << "/dir/sub/toc.hhc"
            << QStringList{QStringLiteral("0|x|/dir/b.htm#m|")};
        QTest::newRow("keyword of two topics")
            << QByteArray("<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"k\">"
                          "<param name=\"Name\" value=\"t1\"><param name=\"Local\" value=\"1.htm\">"
                          "<param name=\"Name\" value=\"t2\"><param name=\"Local\" value=\"2.htm\"></object></ul>")
            << 0u << "/i.hhk" << QStringList{QStringLiteral("0|k|/1.htm|t1"), QStringLiteral("0|k|/2.htm|t2")};
        QTest::newRow("keyword of one titled topic")
            << QByteArray("<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"k\">"
                          "<param name=\"Name\" value=\"t1\"><param name=\"Local\" value=\"1.htm\"></object></ul>")
            << 0u << "/i.hhk" << QStringList{QStringLiteral("0|k|/1.htm|")};
        // A link the file cannot follow leaves the entry without a page.
        QTest::newRow("link out of the file")
            << item(QStringLiteral("web"), QStringLiteral("http://example.com/")).toUtf8() << 0u << "/toc.hhc"
            << QStringList{QStringLiteral("0|web||")};
        QTest::newRow("charset named wins over the language")
            << QByteArray("<meta charset=\"windows-1252\"><ul><li><object type=\"text/sitemap\">"
                          "<param name=\"Name\" value=\"caf\xe9\"><param name=\"Local\" value=\"y.htm\"></object></ul>")
            << 0x0411u << "" << QStringList{QStringLiteral("0|café|/y.htm|")};
        QTest::newRow("missing </ul>")
            << QStringLiteral("<ul>%1<ul>%2%3").arg(item("a", "a.htm"), item("b", "b.htm"), item("c", "c.htm")).toUtf8()
            << 0u << "" << QStringList{"0|a|/a.htm|", "1|b|/b.htm|", "1|c|/c.htm|"};
        QTest::newRow("more </ul> than <ul>") << QStringLiteral("<ul>%1</ul></ul></ul><ul><ul>%2</ul></ul>%3")
                                                     .arg(item("a", "a.htm"), item("b", "b.htm"), item("c", "c.htm"))
                                                     .toUtf8()
                                              << 0u << "" << QStringList{"0|a|/a.htm|", "1|b|/b.htm|", "0|c|/c.htm|"};
        QTest::newRow("a level skipped") << QStringLiteral("<ul>%1<ul><ul><ul>%2</ul></ul>%3")
                                                .arg(item("a", "a.htm"), item("b", "b.htm"), item("c", "c.htm"))
                                                .toUtf8()
                                         << 0u << "" << QStringList{"0|a|/a.htm|", "1|b|/b.htm|", "1|c|/c.htm|"};
        QTest::newRow("absurd nesting") << (QByteArray("<ul>").repeated(200000) + item("deep", "d.htm").toUtf8() +
                                            QByteArray("</ul>").repeated(200000) + item("top", "t.htm").toUtf8())
                                        << 0u << "" << QStringList{"0|deep|/d.htm|", "0|top|/t.htm|"};
        QTest::newRow("attributes in any case and quoting")
            << QByteArray("<UL><LI><OBJECT TYPE='text/sitemap'><PARAM NAME=name VALUE='a b'>"
                          "<param value=\"x.htm\" name=\"LOCAL\"></OBJECT></UL>")
            << 0u << "" << QStringList{"0|a b|/x.htm|"};
        QTest::newRow("other objects and comments passed over")
            << QByteArray("<!-- <object type=\"text/sitemap\"><param name=\"Name\" value=\"no\"></object> -->"
                          "<object type=\"text/site properties\"><param name=\"Name\" value=\"no\"></object>"
                          "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"a > b\"></object></ul>")
            << 0u << "" << QStringList{"0|a > b||"};
        QTest::newRow("cut in a tag") << QByteArray(
                                             "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"a")
                                      << 0u << "" << QStringList{};
    }

    void parseSitemap()
    {
        QFETCH(QByteArray, html);
        QFETCH(quint32, lcid);
        QFETCH(QString, sitemap);
        QFETCH(QStringList, expected);
        QCOMPARE(entryTexts(ChmArchive::parseSitemap(html, lcid, sitemap)), expected);
    }

    void sitemapLimits()
    {
        // A keyword of three topics each: the last one read goes over the limit by its first topic.
        const QByteArray three = "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"k\">"
                                 "<param name=\"Local\" value=\"a\"><param name=\"Local\" value=\"b\">"
                                 "<param name=\"Local\" value=\"c\"></object>";
        QCOMPARE(ChmArchive::parseSitemap(three.repeated(ChmArchive::MaxEntries / 3 + 10)).size(),
                 ChmArchive::MaxEntries);
        const QByteArray one = "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"x\"></object>";
        QVERIFY(ChmArchive::parseSitemap(one + QByteArray(ChmArchive::MaxSitemapSize, ' ')).isEmpty());
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("lcid");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<QString>("expected");
        const QString text = QStringLiteral("余白～①");
        QTest::newRow("UTF-8 first") << text.toUtf8() << 0x0411u << QByteArray("Shift_JIS") << text;
        QTest::newRow("charset named") << sjis(text) << 0x0409u << QByteArray("Shift_JIS") << text;
        QTest::newRow("Japanese language") << sjis(text) << 0x0411u << QByteArray() << text;
        QTest::newRow("no language: Shift_JIS") << sjis(text) << 0u << QByteArray() << text;
        QTest::newRow("unknown charset: the language's") << sjis(text) << 0x0411u << QByteArray("no-such-set") << text;
        QTest::newRow("Western language") << QByteArray("caf\xe9") << 0x0409u << QByteArray() << QStringLiteral("café");
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, lcid);
        QFETCH(QByteArray, charset);
        QFETCH(QString, expected);
        QCOMPARE(ChmArchive::decode(bytes, lcid, charset), expected);
    }

    void refusesWhatIsNoHelpFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("<html><body>not compiled</body></html>\n").repeated(10);
        QTest::newRow("only the signature") << QByteArray("ITSF\x03\0\0\0", 8);
    }

    void refusesWhatIsNoHelpFile()
    {
        QFETCH(QByteArray, bytes);
        const QString file = damaged(bytes, QStringLiteral("not.chm"));
        Result result;
        QVERIFY(!ChmArchive::open(file, &result));
        QVERIFY(!result.ok);
        QVERIFY(result.message.contains(QStringLiteral("ヘルプファイル")));
    }

    void refusesFolderAndMissingFile()
    {
        Result result;
        QVERIFY(!ChmArchive::open(m_dir.path(), &result));
        QVERIFY(!result.ok);
        QVERIFY(!result.message.isEmpty());
        result = Result::success();
        QVERIFY(!ChmArchive::open(path(QStringLiteral("absent.chm")), &result));
        QVERIFY(!result.ok);
        // A named pipe would have a reader wait for a writer that never comes.
        const QString pipe = path(QStringLiteral("pipe.chm"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!ChmArchive::open(pipe, &result));
        QVERIFY(clock.elapsed() < 2000);
    }

    void refusesHugeFileWithoutReadingIt()
    {
        const QString file = path(QStringLiteral("huge.chm"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(bytesOf(m_chm)) > 0);
        QVERIFY(f.resize(2LL * 1024 * 1024 * 1024));
        f.close();
        QElapsedTimer clock;
        clock.start();
        Result result;
        QVERIFY(!ChmArchive::open(file, &result));
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(result.message.contains(QStringLiteral("大きすぎる")));
        QFile::remove(file);
    }

    void truncated_data()
    {
        QTest::addColumn<qint64>("keep");
        const qint64 size = QFileInfo(m_chm).size();
        const qint64 data = Layout(bytesOf(m_chm)).dataOffset;
        QTest::newRow("header only") << qint64(0x60);
        QTest::newRow("in the directory") << data - 1000;
        QTest::newRow("before the data") << data;
        QTest::newRow("half") << size / 2;
        QTest::newRow("all but 10 bytes") << size - 10;
    }

    void truncated()
    {
        QFETCH(qint64, keep);
        const QString file = damaged(bytesOf(m_chm).left(keep), QStringLiteral("cut.chm"));
        Result result;
        QVERIFY(!ChmArchive::open(file, &result));
        QVERIFY(!result.ok);
        QVERIFY(result.message.contains(QStringLiteral("途中で切れて")));
    }

    void damagedParts_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("unreadable"); // a member that then fails to read
        QTest::newRow("listing chain loops") << Damage::ListingLoops << false << "";
        QTest::newRow("index chunk leads to itself") << Damage::IndexLoops << false << "";
        QTest::newRow("chunk size zero") << Damage::ChunkSizeZero << false << "";
        QTest::newRow("chunk size huge") << Damage::ChunkSizeHuge << false << "";
        QTest::newRow("directory past the end") << Damage::DirectoryPastEnd << false << "";
        QTest::newRow("root past the directory") << Damage::RootPastDirectory << false << "";
        QTest::newRow("data past the end") << Damage::DataPastEnd << false << "";
        QTest::newRow("name runs past its chunk") << Damage::NameRunsPastChunk << false << "";
        QTest::newRow("empty name") << Damage::EmptyName << false << "";
        QTest::newRow("unknown section") << Damage::UnknownSection << false << "";
        QTest::newRow("stored member past the end") << Damage::StoredMemberPastEnd << true << "/#SYSTEM";
        QTest::newRow("compressed member past its section") << Damage::CompressedMemberPastSection << true << "/a.htm";
        QTest::newRow("window zero") << Damage::ControlDataWindowZero << false << "";
        QTest::newRow("window not a power of two") << Damage::ControlDataWindowOdd << false << "";
        QTest::newRow("control data short") << Damage::ControlDataShort << false << "";
        QTest::newRow("frame size zero") << Damage::ResetTableFrameZero << false << "";
        QTest::newRow("frame size huge") << Damage::ResetTableFrameHuge << false << "";
        QTest::newRow("frame larger than its buffer") << Damage::ResetTableJump << false << "";
        QTest::newRow("fewer frames than the section") << Damage::ResetTableTooFewFrames << false << "";
        QTest::newRow("compressed section past the end") << Damage::ContentPastEnd << false << "";
    }

    void damagedParts()
    {
        QFETCH(Damage, damage);
        QFETCH(bool, opens);
        QFETCH(QString, unreadable);
        QByteArray bytes = bytesOf(damage == Damage::IndexLoops ? m_many : m_chm);
        const Layout layout(bytes);
        const Layout::Item control = layout.find(bytes, ControlData);
        const Layout::Item table = layout.find(bytes, ResetTable);
        const qint64 tableAt = layout.dataOffset + qint64(table.start);
        switch (damage) {
        case Damage::ListingLoops: {
            int listing = 0;
            while (bytes.mid(layout.chunk(listing), 4) != "PMGL")
                ++listing;
            put32(bytes, layout.chunk(listing) + 0x10, quint32(listing));
            break;
        }
        case Damage::IndexLoops: {
            QVERIFY(layout.root >= 0);
            const qint64 base = layout.chunk(int(layout.root));
            QCOMPARE(bytes.mid(base, 4), QByteArray("PMGI"));
            qint64 at = base + 8;
            at += qint64(Layout::number(bytes, &at)); // the first name, then the chunk it leads to
            QVERIFY(uchar(bytes.at(at)) < 0x80);
            bytes[at] = char(layout.root);
            break;
        }
        case Damage::ChunkSizeZero:
            put32(bytes, layout.itsp + 0x10, 0);
            break;
        case Damage::ChunkSizeHuge:
            put32(bytes, layout.itsp + 0x10, 0xfffff000u);
            break;
        case Damage::DirectoryPastEnd:
            put64(bytes, 0x50, quint64(1) << 40);
            break;
        case Damage::RootPastDirectory:
            put32(bytes, layout.itsp + 0x1c, 1000);
            break;
        case Damage::DataPastEnd:
            put64(bytes, 0x58, quint64(bytes.size()) + 1);
            break;
        case Damage::NameRunsPastChunk: {
            // The free space taken for entries, and full of numbers that never end.
            const qint64 base = layout.chunk(0);
            const qint64 free = le32(bytes, base + 4);
            bytes.replace(base + layout.chunkSize - free, free, QByteArray(free, '\xff'));
            put32(bytes, base + 4, 0);
            break;
        }
        case Damage::EmptyName:
            QVERIFY(layout.change(bytes, "/b.htm", [](Layout::Item& item) { item.name.clear(); }));
            break;
        case Damage::UnknownSection:
            QVERIFY(layout.change(bytes, "/b.htm", [](Layout::Item& item) { item.space = 2; }));
            break;
        case Damage::StoredMemberPastEnd:
            QVERIFY(layout.change(bytes, "/#SYSTEM", [&](Layout::Item& item) { item.start = bytes.size(); }));
            break;
        case Damage::CompressedMemberPastSection:
            // Ten bytes beyond the end of the section, in the last frame.
            QVERIFY(layout.change(bytes, "/a.htm", [&](Layout::Item& item) {
                item.start = le64(bytes, tableAt + 16) - 10;
                item.length = 20;
            }));
            break;
        case Damage::ControlDataWindowZero:
            put32(bytes, layout.dataOffset + qint64(control.start) + 16, 0);
            break;
        case Damage::ControlDataWindowOdd:
            put32(bytes, layout.dataOffset + qint64(control.start) + 16, 3);
            break;
        case Damage::ControlDataShort:
            QVERIFY(layout.change(bytes, ControlData, [](Layout::Item& item) { item.length = 0; }));
            break;
        case Damage::ResetTableFrameZero:
            put64(bytes, tableAt + 32, 0);
            break;
        case Damage::ResetTableFrameHuge:
            put64(bytes, tableAt + 32, quint64(1) << 24);
            break;
        case Damage::ResetTableJump: {
            // Between two incompressible frames of the picture: one frame a byte larger than CHMLib's buffer.
            const qint64 entries = tableAt + le32(bytes, tableAt + 12);
            const qint64 count = le32(bytes, tableAt + 4);
            qint64 i = 0;
            while (i + 2 < count && le64(bytes, entries + (i + 2) * 8) - le64(bytes, entries + i * 8) <= 0x8000 + 6145)
                ++i;
            QVERIFY(i + 2 < count);
            put64(bytes, entries + (i + 1) * 8, le64(bytes, entries + i * 8) + 0x8000 + 6145);
            break;
        }
        case Damage::ResetTableTooFewFrames:
            put32(bytes, tableAt + 4, 1);
            break;
        case Damage::ContentPastEnd:
            QVERIFY(layout.change(bytes, Content, [&](Layout::Item& item) { item.length = bytes.size(); }));
            break;
        }
        const QString file = damaged(bytes, QStringLiteral("part.chm"));
        QElapsedTimer clock;
        clock.start();
        Result result;
        const auto chm = ChmArchive::open(file, &result);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(bool(chm), opens);
        QCOMPARE(result.ok, opens);
        if (!chm)
            return;
        Result read;
        QVERIFY(chm->read(unreadable, &read).isEmpty());
        QVERIFY(!read.ok);
        // The rest stays readable.
        const QString other =
            unreadable == QLatin1String("/a.htm") ? QStringLiteral("/pic.png") : QStringLiteral("/a.htm");
        QCOMPARE(chm->read(other), m_sources.value(other));
    }

    // Random bytes over the headers, the directory and the stored parts: each copy opens or is refused,
    // and each member it lists reads or fails.
    void randomDamage()
    {
        const QByteArray original = bytesOf(m_chm);
        const Layout layout(original);
        const qint64 stored = layout.dataOffset + qint64(layout.find(original, Content).start);
        QLoggingCategory::setFilterRules(QStringLiteral("orv.viewer.warning=false"));
        auto restore = qScopeGuard([] { QLoggingCategory::setFilterRules({}); });
        QRandomGenerator random(20240611);
        int opened = 0;
        int refused = 0;
        QElapsedTimer clock;
        clock.start();
        for (int variant = 0; variant < 400; ++variant) {
            QByteArray bytes = original;
            const int changes = 1 + random.bounded(4);
            for (int i = 0; i < changes; ++i) {
                // Half of them in the headers and the directory's first entries, where most numbers are.
                const qint64 end = variant % 2 ? qMin<qint64>(layout.chunk(0) + 0x200, stored) : stored;
                bytes[random.bounded(end)] = char(random.bounded(256));
            }
            const QString file = damaged(bytes, QStringLiteral("random.chm"));
            (openAndReadAll(file) ? opened : refused)++;
        }
        QVERIFY2(opened > 0 && refused > 0,
                 qPrintable(QStringLiteral("%1 opened, %2 refused").arg(opened).arg(refused)));
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    }
};

ORV_TEST_MAIN(TestChmArchive)
#include "tst_chm_archive.moc"
