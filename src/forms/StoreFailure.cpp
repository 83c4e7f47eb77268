#include "forms/StoreFailure.h"

#include "core/AppInfo.h"
#include "core/Log.h"
#include "db/RecordSet.h"
#include "forms/Messages.h"
#include "platform/MessageBox.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

enum ConflictChoice { StoreMine, ShowTheirs, CopyAndShowTheirs };
enum ClosingChoice { KeepOpen, CloseWithoutStoring };

// The typing as text to paste elsewhere: the value alone when one field holds it, otherwise
// each field with its name, the memo text last.
QString typingAsText(const QList<FieldEdit>& edits)
{
    if (edits.size() == 1)
        return edits.first().second.toString();
    QStringList lines;
    QString memo;
    for (const FieldEdit& edit : edits) {
        if (edit.first == QStringLiteral("メモ"))
            memo = edit.second.toString();
        else
            lines.append(edit.first + QStringLiteral("：") + edit.second.toString());
    }
    if (!memo.isNull())
        lines.append(QStringLiteral("メモ：") + QStringLiteral("\r\n") + memo);
    return lines.join(QStringLiteral("\r\n"));
}

ConflictChoice askConflict(bool deleted)
{
    const int answer =
        MessageBox::instance().choose({StoreFailure::conflictText(deleted), AppInfo::Title,
                                       MessageBox::Icon::Exclamation, MessageBox::Buttons::Ok, MessageBox::Answer::Ok},
                                      StoreFailure::conflictChoices(deleted), CopyAndShowTheirs, CopyAndShowTheirs);
    // Whatever closes the question without a choice loses nothing.
    return answer == StoreMine || answer == ShowTheirs ? ConflictChoice(answer) : CopyAndShowTheirs;
}

} // namespace

QString StoreFailure::conflictText(bool deleted)
{
    return Messages::lines(
        {deleted ? QStringLiteral("このメモは、表示した後に、ほかに起動しているオルバレントで削除されました。")
                 : QStringLiteral("このメモは、表示した後に、ほかに起動しているオルバレントで変更されました。"),
         QStringLiteral("入力した内容をどうしますか？")});
}

QStringList StoreFailure::conflictChoices(bool deleted)
{
    return {deleted ? QStringLiteral("入力した内容で保存し直す") : QStringLiteral("入力した内容で上書きする"),
            QStringLiteral("相手の内容を表示（入力は破棄）"), QStringLiteral("入力をコピーして相手の内容を表示")};
}

QString StoreFailure::closingText(const Result& failure)
{
    QString why = QStringLiteral("メモ帳に書き込めませんでした。");
    if (failure.cause == Result::Cause::Busy)
        why = QStringLiteral("メモ帳（IDATA2.mdb）をほかのプログラムが使用中です。");
    else if (failure.cause == Result::Cause::DiskFull)
        why = QStringLiteral("ディスクの空き容量が足りません。");
    return Messages::lines({QStringLiteral("入力した内容を保存出来ませんでした。"), why,
                            QStringLiteral("このまま閉じると、入力した内容は失われます。")});
}

QStringList StoreFailure::closingChoices()
{
    return {QStringLiteral("閉じない"), QStringLiteral("保存しないで閉じる")};
}

StoreFailure::Outcome StoreFailure::resolve(RecordSet& recordSet, const Result& failure, const QString& message)
{
    Result now = failure;
    while (now.isConflict()) {
        const QList<FieldEdit> typing = recordSet.pendingEdits();
        switch (askConflict(now.cause == Result::Cause::Deleted)) {
        case StoreMine:
            now = recordSet.updateRecordOverOthers();
            if (now)
                return Outcome::Stored;
            // Changed again meanwhile, or refused for another reason: asked or told anew.
            continue;
        case CopyAndShowTheirs:
            QGuiApplication::clipboard()->setText(typingAsText(typing));
            [[fallthrough]];
        case ShowTheirs:
            recordSet.updateControls();
            return Outcome::Dropped;
        }
    }
    if (now.cause == Result::Cause::Busy)
        Messages::warn(Messages::InUse);
    else if (now.cause == Result::Cause::DiskFull)
        Messages::warn(Messages::because(message.isEmpty() ? Messages::SaveFailure : message, now));
    else if (!message.isEmpty())
        Messages::warn(message);
    else
        qCInfo(lcForms, "not stored: %s", qUtf8Printable(now.message));
    return Outcome::Kept;
}

bool StoreFailure::resolveOnClosing(RecordSet& recordSet, const Result& failure)
{
    if (failure.isConflict())
        return resolve(recordSet, failure, Messages::SaveFailure) == Outcome::Stored;
    const int answer =
        MessageBox::instance().choose({closingText(failure), AppInfo::Title, MessageBox::Icon::Exclamation,
                                       MessageBox::Buttons::Ok, MessageBox::Answer::Ok},
                                      closingChoices(), KeepOpen, KeepOpen);
    if (answer != CloseWithoutStoring)
        return false;
    qCInfo(lcForms, "closed without storing: %s", qUtf8Printable(failure.message));
    recordSet.discardPending();
    return true;
}
