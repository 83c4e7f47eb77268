// Writes memos through the record-set engine in a loop and reports each write on stdout, one
// line each, flushed before the next write starts, for the crash and two-copies tests:
//
//   crash_driver <memo book> crash <seed>
//       saves, adds and deletes memos until killed. Each write is announced with
//       "begin save <id> <token>", "begin add <token>" or "begin delete <id>", and reported
//       with "done [<id>]" once the engine has stored it, or "failed <reason>".
//   crash_driver <memo book> copy <name> <saves> <memo id>...
//       one of two running copies: saves the given memos in turn, that many times in all, each
//       after reading it and a pause for the typing. The copy named "first" waits with its first
//       save until the other copy has saved that memo, so that the two surely meet once. Reports "saved <id> <token
//       read> <token written>", "conflict <id>" when another copy changed the memo since it was read (and then
//       sometimes saves again over it), and "failed <id> <reason>" for anything else.
//
// A memo's text starts with its token ("#<token>#"), so that the test can tell which write
// stored what. Some texts are long, so that a write spans several pages of the file.

#include "db/Catalogue.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "db/Statement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>

namespace {

class Typing : public RecordSetClient
{
public:
    void collectPending(QList<FieldEdit>& edits) const override { edits.append(pending); }
    void clearPending() override { pending.clear(); }
    void showCurrent() override { pending.clear(); }
    QList<FieldEdit> pending;
};

void report(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

QString memoText(const QString& token, QRandomGenerator& random)
{
    QString text = QLatin1Char('#') + token + QStringLiteral("#\r\n");
    const int lines = random.bounded(10) == 0 ? 400 : random.bounded(1, 6);
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("差し込み印刷の設定は「ファイル」メニューから。行 %1\r\n").arg(i);
    return text;
}

QString tokenOf(const QVariant& memo)
{
    const QString text = memo.toString();
    return text.startsWith(QLatin1Char('#')) ? text.section(QLatin1Char('#'), 1, 1) : QStringLiteral("-");
}

int crash(RecordSet& memos, Typing& typing, quint32 seed)
{
    QRandomGenerator random(seed);
    for (qint64 n = 0;; ++n) {
        const QString token = QStringLiteral("%1-%2").arg(seed).arg(n);
        const int count = memos.recordCount();
        const int choice = random.bounded(100);
        Result r;
        if (count < 5 || (choice < 25 && count < 40)) {
            report(QStringLiteral("begin add ") + token);
            r = memos.addNew();
            if (r)
                r = memos.moveLast();
            if (r) {
                typing.pending = {{QStringLiteral("メモ"), memoText(token, random)},
                                  {QStringLiteral("日付"), QStringLiteral("2026/12/06")}};
                r = memos.updateRecord();
            }
        } else if (choice < 40) {
            if (!(r = memos.moveTo(random.bounded(count))))
                continue;
            report(QStringLiteral("begin delete ") + memos.field(0).toString());
            r = memos.deleteCurrent();
        } else {
            if (!(r = memos.moveTo(random.bounded(count))))
                continue;
            report(QStringLiteral("begin save ") + memos.field(0).toString() + QLatin1Char(' ') + token);
            typing.pending = {{QStringLiteral("メモ"), memoText(token, random)}};
            r = memos.updateRecord();
        }
        report(r ? QStringLiteral("done ") + memos.field(0).toString() : QStringLiteral("failed ") + r.message);
    }
}

// Watches the memo through a connection of its own until another program has stored it.
void waitForAnotherSave(const QString& path, qint64 id, const QString& token)
{
    std::shared_ptr<Connection> watch = Connection::open(path);
    QElapsedTimer clock;
    clock.start();
    while (watch && clock.elapsed() < 10000) {
        Statement memo(watch->handle(), QStringLiteral("SELECT メモ FROM メモ帳 WHERE ID = %1").arg(id));
        if (memo.step() == Statement::Step::Row && tokenOf(memo.value(0)) != token)
            return;
        QThread::msleep(5);
    }
}

int copy(RecordSet& memos, Typing& typing, const QString& name, int saves, const QList<qint64>& ids)
{
    QRandomGenerator random(qHash(name));
    for (qint64 n = 0; n < saves; ++n) {
        const qint64 id = ids[n % ids.size()];
        const int row = int(memos.columnValues(0).indexOf(QVariant::fromValue(id)));
        if (row < 0 || !memos.moveTo(row)) {
            report(QStringLiteral("failed %1 not found").arg(id));
            continue;
        }
        // Reading again shows what the other copy stored since the last visit.
        memos.updateControls();
        QString base = tokenOf(memos.field(QStringLiteral("メモ")));
        QThread::msleep(random.bounded(5, 25)); // the user typing
        if (n == 0 && name == QLatin1String("first"))
            waitForAnotherSave(memos.databaseName(), id, base);
        const QString token = QStringLiteral("%1-%2").arg(name).arg(n);
        typing.pending = {{QStringLiteral("メモ"), memoText(token, random)}};
        Result r = memos.updateRecord();
        if (!r && r.message.contains(QStringLiteral("changed by another program"))) {
            report(QStringLiteral("conflict %1").arg(id));
            if (random.bounded(2) == 0) {
                typing.pending.clear(); // cancel: the other copy's version stays
                continue;
            }
            base = tokenOf(memos.field(QStringLiteral("メモ"))); // saving again, on purpose
            r = memos.updateRecord();
        }
        report(r ? QStringLiteral("saved %1 %2 %3").arg(id).arg(base, token)
                 : QStringLiteral("failed %1 %2").arg(id).arg(r.message));
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: crash_driver <memo book> crash <seed> | copy <name> <saves> <id>...\n");
        return 2;
    }
    RecordSet memos(QStringLiteral("Data1"));
    memos.setDatabaseName(args[1]);
    memos.setRecordSource(Catalogue::AllMemosForEntry);
    Typing typing;
    memos.attach(&typing);
    if (Result r = memos.refresh(); !r) {
        report(QStringLiteral("failed ") + r.message);
        return 1;
    }
    report(QStringLiteral("ready"));
    if (args[2] == QLatin1String("crash"))
        return crash(memos, typing, args[3].toUInt());
    QList<qint64> ids;
    for (const QString& id : args.mid(5))
        ids.append(id.toLongLong());
    return copy(memos, typing, args[3], args.value(4).toInt(), ids);
}
