// The journal of changes the index has yet to take in: what stays noted through writes that
// succeed, fail or race a newer save, and what a build's replay is given.
#include "db/index/ChangeJournal.h"

#include <QObject>
#include <QStringList>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString describe(const QList<ChangeJournal::Entry>& entries)
{
    QStringList parts;
    for (const ChangeJournal::Entry& entry : entries) {
        QStringList bodies;
        for (const QByteArray& body : entry.oldBodies)
            bodies.append(QString::fromUtf8(body));
        parts.append(QString::number(entry.id) + u':' + bodies.join(u','));
    }
    std::sort(parts.begin(), parts.end());
    return parts.join(u' ');
}

QString describe(const QHash<qint64, QList<QByteArray>>& replay)
{
    QList<ChangeJournal::Entry> entries;
    for (auto it = replay.cbegin(); it != replay.cend(); ++it)
        entries.append({it.key(), it.value(), 0});
    return describe(entries);
}

} // namespace

class TestChangeJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Steps, separated by blanks: "n1a" notes memo 1 with "a" as its text before ("n1-" for a
    // memo added), "s" hands the unsent changes to the writer, "t" takes every change, "w+" and
    // "w-" report the last batch written or failed, "r" and "d" settle it for the replay or
    // for nothing.
    void steps_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("pending");
        QTest::addColumn<QString>("unsent");
        QTest::addColumn<QString>("replay");
        QTest::addColumn<int>("settlements");
        QTest::newRow("noted") << u"n1a n2-"_s << u"1:a 2:"_s << u"1:a 2:"_s << u""_s << 0;
        QTest::newRow("each old text once") << u"n1a n1a n1b"_s << u"1:a,b"_s << u"1:a,b"_s << u""_s << 0;
        QTest::newRow("given to the writer, not given again") << u"n1a s"_s << u"1:a"_s << u""_s << u""_s << 0;
        QTest::newRow("written") << u"n1a s w+"_s << u""_s << u""_s << u""_s << 1;
        QTest::newRow("changed again while written stays")
            << u"n1a s n1b w+"_s << u"1:a,b"_s << u"1:a,b"_s << u""_s << 1;
        QTest::newRow("a failed write settles all") << u"n1a s n1b w-"_s << u""_s << u""_s << u""_s << 1;
        QTest::newRow("only the memos written") << u"n1a s n2b w+"_s << u"2:b"_s << u"2:b"_s << u""_s << 1;
        QTest::newRow("kept for the replay") << u"n1a n2- t r"_s << u""_s << u""_s << u"1:a 2:"_s << 1;
        QTest::newRow("dropped without a build") << u"n1a t d"_s << u""_s << u""_s << u""_s << 1;
        QTest::newRow("changed again while settled stays")
            << u"n1a t n1b r"_s << u"1:a,b"_s << u"1:a,b"_s << u"1:a"_s << 1;
        QTest::newRow("the replay gathers every old text")
            << u"n1a t r n1b t r n1a t r"_s << u""_s << u""_s << u"1:a,b"_s << 3;
    }
    void steps()
    {
        QFETCH(QString, steps);
        QFETCH(QString, pending);
        QFETCH(QString, unsent);
        QFETCH(QString, replay);
        QFETCH(int, settlements);
        ChangeJournal journal;
        QList<qint64> heard;
        journal.setListener([&heard](qint64 id) { heard.append(id); });
        QList<ChangeJournal::Entry> batch;
        int notes = 0;
        for (const QString& step : steps.split(u' ')) {
            if (step.startsWith(u'n')) {
                const QByteArray old = step.mid(2).toUtf8();
                journal.note(step.mid(1, 1).toLongLong(), old == "-" ? nullptr : &old);
                ++notes;
            } else if (step == u"s"_s) {
                batch = journal.unsent();
                journal.markSent(batch);
            } else if (step == u"t"_s) {
                batch = journal.all();
            } else if (step.startsWith(u'w')) {
                QList<QPair<qint64, quint64>> written;
                for (const ChangeJournal::Entry& entry : std::as_const(batch))
                    written.append({entry.id, entry.serial});
                journal.written(written, step == u"w+"_s);
            } else {
                journal.settle(batch, step == u"r"_s);
            }
        }
        QCOMPARE(describe(journal.all()), pending);
        QCOMPARE(describe(journal.unsent()), unsent);
        QCOMPARE(journal.isEmpty(), pending.isEmpty());
        for (const ChangeJournal::Entry& entry : journal.all())
            QVERIFY(journal.contains(entry.id));
        QCOMPARE(int(journal.settlements()), settlements);
        QCOMPARE(heard.size(), notes);
        QCOMPARE(describe(journal.takeReplay()), replay);
        QCOMPARE(describe(journal.takeReplay()), u""_s);
    }
};

QTEST_GUILESS_MAIN(TestChangeJournal)
#include "tst_change_journal.moc"
