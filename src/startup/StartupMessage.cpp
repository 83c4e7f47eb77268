#include "startup/StartupMessage.h"

#include "startup/VEZOVEDO.h"

#include <QDir>
#include <QStringList>

namespace {

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

QString StartupMessage::wayOn(const Where& where, bool fileThere)
{
    if (!where.backup.isEmpty())
        return (fileThere ? QStringLiteral("最後に起動した時のメモ帳のコピーが「Back Up」フォルダにあります。\r") +
                                QStringLiteral("オルバレントを終了した状態で、今のファイルを別の場所に移し、\r")
                          : QStringLiteral("最後に起動した時のメモ帳のコピーが「Back Up」フォルダにあります。\r")) +
               native(where.backup) + QStringLiteral(" を ") + native(where.appDir) +
               QStringLiteral(" にコピーして下さい。");
    if (!fileThere)
        return {};
    if (where.makesEmptyBook)
        return QStringLiteral("このファイルを別の場所に移すと、次の起動で空のメモ帳を作って起動します。");
    return QStringLiteral("オルバレントを終了した状態で、このファイルを別の場所に移して下さい。");
}

QString StartupMessage::text(Trouble trouble, const Where& where)
{
    if (trouble == Trouble::None)
        return VEZOVEDO::StartupFailure;
    QString why;
    QString way;
    switch (trouble) {
    case Trouble::None:
        break;
    case Trouble::DataFolder:
        why = QStringLiteral("メモ帳を置くフォルダを作れません。");
        way = QStringLiteral("ホームフォルダの書き込みの許可と空き容量を確かめて下さい。");
        break;
    case Trouble::BackupFolder:
        why = QStringLiteral("「Back Up」フォルダを作れません。");
        way = QStringLiteral("このフォルダの書き込みの許可と空き容量を確かめて下さい。");
        break;
    case Trouble::Missing:
        why = QStringLiteral("メモ帳（IDATA2.mdb）がありません。");
        way = wayOn(where, false);
        break;
    case Trouble::NotMemoBook:
        why = QStringLiteral("このファイルはオルバレントのメモ帳ではありません。");
        way = wayOn(where);
        break;
    case Trouble::Damaged:
        why = QStringLiteral("メモ帳のファイルが壊れています。");
        way = wayOn(where);
        break;
    case Trouble::ReadOnly:
        why = QStringLiteral("メモ帳か、そのフォルダに書き込めません（読み取り専用になっています）。");
        way = QStringLiteral("ファイルとフォルダの書き込みの許可を確かめて下さい。");
        break;
    case Trouble::Busy:
        why = QStringLiteral("ほかのプログラムがメモ帳を使用中です。");
        way = QStringLiteral("そのプログラムを終了してから、もう一度起動して下さい。");
        break;
    case Trouble::CannotBackUp:
        why = QStringLiteral("「Back Up」フォルダにメモ帳のコピーを作れません。");
        way = QStringLiteral("「Back Up」フォルダの書き込みの許可を確かめて下さい。");
        break;
    case Trouble::DiskFull:
        why = QStringLiteral("ディスクの空き容量が足りないため、メモ帳のコピーを作れません。");
        way = QStringLiteral("不要なファイルを削除して空きを作ってから、もう一度起動して下さい。");
        break;
    case Trouble::CannotOpen:
        why = QStringLiteral("メモ帳を開けません。");
        way = wayOn(where);
        break;
    case Trouble::Newer:
        why = QStringLiteral("このメモ帳は新しい版のオルバレントで書かれているため、この版では開けません。");
        way = QStringLiteral("新しい版のオルバレントで開いて下さい。メモ帳には何も書き込んでいません。");
        break;
    case Trouble::CannotUpgrade:
        why = QStringLiteral("メモ帳をこの版のオルバレントの形式に更新できません。メモ帳は元のままです。");
        way = wayOn(where);
        break;
    }
    QStringList lines = {VEZOVEDO::StartupFailure, QString(), QStringLiteral("ファイル：") + native(where.file), why};
    if (!way.isEmpty())
        lines.append(way);
    return lines.join(QLatin1Char('\r'));
}
