#include "app_registration/H_PATH.h"

#include "core/Log.h"
#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "forms/Binding.h"
#include "forms/DataGrid.h"
#include "forms/Lists.h"
#include "forms/Session.h"
#include "forms/StoreFailure.h"
#include "platform/FileDialog.h"
#include "widgets/Appearance.h"
#include "widgets/ComboBox.h"
#include "widgets/Controls.h"

#include <QAbstractButton>
#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <utility>

H_PATH::H_PATH(Session& session)
    : SingleForm(QStringLiteral("H_PATH"), QStringLiteral("アプリケーション登録"), 7332, 3444), m_session(session),
      Data1(new RecordSet(QStringLiteral("Data1"), this)), Data2(new RecordSet(QStringLiteral("Data2"), this)),
      Data3(new RecordSet(QStringLiteral("Data3"), this)), m_commands(Data1, [this] { SQL_SET(); })
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    Data2->setReadOnly(true);
    Data3->setReadOnly(true);
    createControls();
    bindControls();
    connectHandlers();
}

void H_PATH::createControls()
{
    QWidget* c = client();
    Controls::label(c, QStringLiteral("Label4"), QStringLiteral("アプリケーションとアプリＩＤを登録して下さい。"), 120,
                    120, 3492, 252);
    DBCombo1 = Controls::create<ComboBox>(c, QStringLiteral("DBCombo1"), 120, 480, 7092, 276);
    QLabel* label3 = Controls::label(c, QStringLiteral("Label3"), QStringLiteral("アプリＩＤ"), 120, 840, 732, 252);
    DBCombo2 = Controls::create<ComboBox>(c, QStringLiteral("DBCombo2"), 960, 840, 2652, 276);
    Controls::nameField(DBCombo1, QStringLiteral("アプリケーションのパス"));
    Controls::nameField(DBCombo2, label3->text(), label3);
    QPushButton* command2 =
        Controls::button(c, QStringLiteral("Command2"), QStringLiteral("ヘルプ"), 4440, 840, 732, 372);
    QPushButton* command13 =
        Controls::button(c, QStringLiteral("Command13"), QStringLiteral("アプリケーション登録"), 5280, 840, 1932, 372);

    Label1 = Controls::create<QLabel>(c, QStringLiteral("Label1"), 3840, 1080, 1452, 252);
    Label1->hide();

    DBGrid1 = Controls::create<DataGrid>(c, QStringLiteral("DBGrid1"), 120, 1320, 7092, 1332);
    DBGrid1->setFont(Appearance::gothic(9));
    DBGrid1->horizontalHeader()->setFont(Appearance::gothic(9));
    DBGrid1->verticalHeader()->setFont(Appearance::gothic(9));
    // Rows as high as one line of text, so that the grid shows several records.
    DBGrid1->verticalHeader()->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 6);
    DBGrid1->setRecordSet(Data1, {QStringLiteral("ID"), QStringLiteral("アプリＩＤ"), QStringLiteral("パス")}, true);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->setColumnWidth(0, 48);
    DBGrid1->setColumnWidth(1, 128);
    Controls::nameField(DBGrid1, QStringLiteral("登録済みのアプリケーション"));

    const int rowTop = 2760;
    QList<QWidget*> order = {DBCombo1, command2, command13, DBGrid1};
    for (QToolButton* b : Controls::navigationRow(c, {"Command3", "Command1", "Command5", "Command6"}, 120, rowTop))
        order << b;
    for (QPushButton* b : Controls::commandRow(c, {3000, 4080, 4680, 5280}, rowTop))
        order << b;
    order << Controls::button(c, QStringLiteral("Command11"), QStringLiteral("終了"), 6480, rowTop, 732, 612);
    order << DBCombo2;
    Controls::applyTabOrder(order);
    // The path combo has the lowest tab index: it has the focus when the window opens.
    DBCombo1->setFocus();
}

void H_PATH::bindControls()
{
    bindFields(Data1, "パス", DBCombo1, "アプリＩＤ", DBCombo2, "ID", Label1);
    new ListBinding(Data2, QStringLiteral("パス"), DBCombo1);
    new ListBinding(Data3, QStringLiteral("アプリＩＤ"), DBCombo2);
}

void H_PATH::connectHandlers()
{
    // A cell being edited in the grid is finished before any command of the row runs.
    m_commands.connectButtons(client(),
                              {"Command3", "Command1", "Command5", "Command6", "Command7", "Command8", "Command10"},
                              [this](CommandRow::Command command) { run(command); });
    onClicked("Command9", [this] { run(&CommandRow::add); });
    onClicked("Command11", [this] { unload(); });
    onClicked("Command2", [] { CommandRow::help(); });
    onClicked("Command13", [this] { chooseProgramFile(); });
}

Result H_PATH::onLoad()
{
    placeAt(1000, 1000);
    for (RecordSet* recordSet : {Data1, Data2, Data3}) {
        recordSet->setDatabaseName(m_session.DbPath);
        recordSet->setConnectText(QStringLiteral(";pwd="));
    }
    // The first failure ends the load; the window opens all the same.
    const Result loaded = Lists::run(
        {{Data1, Catalogue::AllApplications}, {Data2, Catalogue::AppPathList}, {Data3, Catalogue::AppIdList}},
        Lists::OnFailure::Stop);
    skipOnFailure(loaded, lcForms(), "the application window's load");
    return loaded;
}

void H_PATH::onActivate()
{
    // Without a current record there is nothing to type into: start on a new one.
    if (Label1->text().isEmpty())
        run(&CommandRow::add);
}

bool H_PATH::confirmClose()
{
    // Nothing typed is lost when the window closes.
    commitGridEdit();
    const Result written = Data1->updateRecord();
    return written || StoreFailure::resolveOnClosing(*Data1, written);
}

void H_PATH::onUnload()
{
    skipOnFailure(Data1->updateRecord(), lcForms(), "storing the application window's edits on closing");
}

void H_PATH::SQL_SET()
{
    skipOnFailure(
        Lists::run({{Data2, Catalogue::AppPathList}, {Data3, Catalogue::AppIdList}}, Lists::OnFailure::SkipAndGoOn),
        lcForms(), "SQL_SET");
}

void H_PATH::run(void (CommandRow::*command)())
{
    commitGridEdit();
    (m_commands.*command)();
}

void H_PATH::commitGridEdit()
{
    const QModelIndex cell = DBGrid1->currentIndex();
    if (!cell.isValid())
        return;
    if (QWidget* editor = DBGrid1->indexWidget(cell)) {
        QAbstractItemDelegate* delegate = DBGrid1->itemDelegateForIndex(cell);
        Q_EMIT delegate->commitData(editor);
        Q_EMIT delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void H_PATH::chooseProgramFile()
{
    FileDialog::Request request;
    request.title = QStringLiteral("アプリケーションを登録して下さい");
    request.filter = QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)|*.EXE|*.*|*.*");
    request.initialName = QStringLiteral("Name");
    request.flags = FileDialog::HideReadOnly;
    // Cancel changes nothing. A chosen path is a pending edit, stored by the next save,
    // add, move or the closing of the window.
    const std::optional<QString> path = FileDialog::instance().getOpenFileName(request);
    if (path)
        DBCombo1->setText(*path);
}
