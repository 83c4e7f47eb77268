#include "forms/Messages.h"

#include "core/AppInfo.h"
#include "platform/MessageBox.h"

QString Messages::lines(const QStringList& lines)
{
    return lines.join(QStringLiteral("\r\n"));
}

const QString Messages::SaveFailure = Messages::lines(
    {QStringLiteral("前の「▼」入力が正常に出来なかったので"), QStringLiteral("もう一度やり直して下さい。"),
     QStringLiteral("何かデータを入力するか取消すか一度終了して下さい。")});
const QString Messages::SaveFailureDateBox = Messages::lines(
    {QStringLiteral("前の「▼」入力が正常に出来なかったので"), QStringLiteral("もう一度やり直して下さい。"),
     QStringLiteral("何かデータを入力するか一度終了して下さい。")});
const QString Messages::AddFailure =
    Messages::lines({QStringLiteral("正常に追加出来なかったので"), QStringLiteral("もう一度やり直して下さい。")});
const QString Messages::InUse = Messages::lines({QStringLiteral("メモ帳（IDATA2.mdb）をほかのプログラムが使用中です。"),
                                                 QStringLiteral("そのため、今の操作は出来ませんでした。"),
                                                 QStringLiteral("しばらくしてからもう一度やり直して下さい。")});
const QString Messages::DiskFullWords =
    Messages::lines({QStringLiteral("ディスクの空き容量が足りません。"),
                     QStringLiteral("不要なファイルを削除して空きを作ってから、もう一度やり直して下さい。")});
const QString Messages::DeleteQuestion = QStringLiteral("データを削除しますか？");

QString Messages::because(const QString& message, const Result& failure)
{
    if (failure.cause == Result::Cause::DiskFull)
        return lines({message, DiskFullWords});
    return message;
}
const QString Messages::DeleteTitle = QStringLiteral("選択表示");

void Messages::warn(const QString& text)
{
    MessageBox::instance().ask(
        {text, AppInfo::Title, MessageBox::Icon::Exclamation, MessageBox::Buttons::Ok, MessageBox::Answer::Ok});
}

bool Messages::confirmDelete()
{
    return MessageBox::instance().ask({DeleteQuestion, DeleteTitle, MessageBox::Icon::Question,
                                       MessageBox::Buttons::YesNo, MessageBox::Answer::Yes}) == MessageBox::Answer::Yes;
}
