#include "app_registration/H_PATH.h"

#include "core/Log.h"
#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "forms/Binding.h"
#include "forms/DataGrid.h"
#include "forms/Lists.h"
#include "forms/Session.h"
#include "platform/Appearance.h"
#include "platform/ComboBox.h"
#include "platform/Controls.h"
#include "platform/FileDialog.h"

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

H_PATH::H_PATH(Session& session)
    : SingleForm(QStringLiteral("H_PATH"), QStringLiteral("アプリケーション登録"), 7332, 3444), m_session(session),
      m_data1(new RecordSet(QStringLiteral("Data1"), this)), m_data2(new RecordSet(QStringLiteral("Data2"), this)),
      m_data3(new RecordSet(QStringLiteral("Data3"), this)), m_commands(m_data1, [this] { SQL_SET(); })
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_data2->setReadOnly(true);
    m_data3->setReadOnly(true);
    QWidget* area = client();

    QLabel* prompt =
        Controls::label(area, QStringLiteral("Label4"),
                        QStringLiteral("アプリケーションとアプリＩＤを登録して下さい。"), 120, 120, 3492, 252);
    Appearance::fitToWidth(prompt, prompt->text());

    m_pathCombo = Controls::create<ComboBox>(area, QStringLiteral("DBCombo1"), 120, 480, 7092, 276);

    QLabel* idCaption =
        Controls::label(area, QStringLiteral("Label3"), QStringLiteral("アプリＩＤ"), 120, 840, 732, 252);
    Appearance::fitToWidth(idCaption, idCaption->text());

    m_idCombo = Controls::create<ComboBox>(area, QStringLiteral("DBCombo2"), 960, 840, 2652, 276);

    QPushButton* help =
        Controls::button(area, QStringLiteral("Command2"), QStringLiteral("ヘルプ"), 4440, 840, 732, 372);
    QPushButton* choose = Controls::button(area, QStringLiteral("Command13"), QStringLiteral("アプリケーション登録"),
                                           5280, 840, 1932, 372);

    m_idLabel = Controls::create<QLabel>(area, QStringLiteral("Label1"), 3840, 1080, 1452, 252);
    m_idLabel->hide();

    m_grid = Controls::create<DataGrid>(area, QStringLiteral("DBGrid1"), 120, 1320, 7092, 1332);
    m_grid->setFont(Appearance::gothic(9));
    m_grid->horizontalHeader()->setFont(Appearance::gothic(9));
    m_grid->verticalHeader()->setFont(Appearance::gothic(9));
    // Rows as high as one line of text, so that the grid shows several records.
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->setRecordSet(m_data1, {QStringLiteral("ID"), QStringLiteral("アプリＩＤ"), QStringLiteral("パス")}, true);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setColumnWidth(0, 48);
    m_grid->setColumnWidth(1, 128);

    const int rowTop = 2760;
    QToolButton* first = Controls::navigationButton(area, QStringLiteral("Command3"), QStringLiteral("先頭"),
                                                    Appearance::Navigation::First, 120, rowTop);
    QToolButton* previous = Controls::navigationButton(area, QStringLiteral("Command1"), QStringLiteral("前"),
                                                       Appearance::Navigation::Previous, 720, rowTop);
    QToolButton* next = Controls::navigationButton(area, QStringLiteral("Command5"), QStringLiteral("次"),
                                                   Appearance::Navigation::Next, 1320, rowTop);
    QToolButton* last = Controls::navigationButton(area, QStringLiteral("Command6"), QStringLiteral("最後"),
                                                   Appearance::Navigation::Last, 1920, rowTop);
    QPushButton* save =
        Controls::button(area, QStringLiteral("Command7"), QStringLiteral("保存"), 3000, rowTop, 612, 612);
    QPushButton* cancel =
        Controls::button(area, QStringLiteral("Command8"), QStringLiteral("取消"), 4080, rowTop, 612, 612);
    QPushButton* add =
        Controls::button(area, QStringLiteral("Command9"), QStringLiteral("追加"), 4680, rowTop, 612, 612);
    QPushButton* remove =
        Controls::button(area, QStringLiteral("Command10"), QStringLiteral("削除"), 5280, rowTop, 612, 612);
    QPushButton* quit =
        Controls::button(area, QStringLiteral("Command11"), QStringLiteral("終了"), 6480, rowTop, 732, 612);

    new Binding(m_data1, QStringLiteral("パス"), m_pathCombo);
    new Binding(m_data1, QStringLiteral("アプリＩＤ"), m_idCombo);
    new Binding(m_data1, QStringLiteral("ID"), m_idLabel);
    new ListBinding(m_data2, QStringLiteral("パス"), m_pathCombo);
    new ListBinding(m_data3, QStringLiteral("アプリＩＤ"), m_idCombo);

    Controls::applyTabOrder(
        {m_pathCombo, help, choose, m_grid, first, previous, next, last, save, cancel, add, remove, quit, m_idCombo});
    m_pathCombo->setFocus();

    connect(first, &QToolButton::clicked, this, [this] { run(&CommandRow::first); });
    connect(previous, &QToolButton::clicked, this, [this] { run(&CommandRow::previous); });
    connect(next, &QToolButton::clicked, this, [this] { run(&CommandRow::next); });
    connect(last, &QToolButton::clicked, this, [this] { run(&CommandRow::last); });
    connect(save, &QPushButton::clicked, this, [this] { run(&CommandRow::save); });
    connect(cancel, &QPushButton::clicked, this, [this] { run(&CommandRow::cancel); });
    connect(add, &QPushButton::clicked, this, [this] { run(&CommandRow::add); });
    connect(remove, &QPushButton::clicked, this, [this] { run(&CommandRow::deleteRecord); });
    connect(quit, &QPushButton::clicked, this, &Form::unload);
    connect(help, &QPushButton::clicked, this, [] { CommandRow::help(); });
    connect(choose, &QPushButton::clicked, this, &H_PATH::chooseProgramFile);
}

void H_PATH::onLoad()
{
    placeAt(1000, 1000);
    for (RecordSet* recordSet : {m_data1, m_data2, m_data3}) {
        recordSet->setDatabaseName(m_session.DbPath);
        recordSet->setConnectText(QStringLiteral(";pwd="));
    }
    // The first failure ends the load; the window opens all the same.
    skipOnFailure(
        Lists::run(
            {{m_data1, Catalogue::AllApplications}, {m_data2, Catalogue::AppPathList}, {m_data3, Catalogue::AppIdList}},
            Lists::OnFailure::Stop),
        lcForms(), "the application window's load");
}

void H_PATH::onActivate()
{
    // Without a current record there is nothing to type into: start on a new one.
    if (m_idLabel->text().isEmpty())
        run(&CommandRow::add);
}

void H_PATH::onUnload()
{
    // Nothing typed is lost when the window closes; a refusal cannot be helped by now.
    commitGridEdit();
    skipOnFailure(m_data1->updateRecord(), lcForms(), "storing the application window's edits on closing");
}

void H_PATH::SQL_SET()
{
    skipOnFailure(
        Lists::run({{m_data2, Catalogue::AppPathList}, {m_data3, Catalogue::AppIdList}}, Lists::OnFailure::SkipAndGoOn),
        lcForms(), "SQL_SET");
}

void H_PATH::run(void (CommandRow::*command)())
{
    commitGridEdit();
    (m_commands.*command)();
}

void H_PATH::commitGridEdit()
{
    const QModelIndex cell = m_grid->currentIndex();
    if (!cell.isValid())
        return;
    if (QWidget* editor = m_grid->indexWidget(cell)) {
        QAbstractItemDelegate* delegate = m_grid->itemDelegateForIndex(cell);
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
        m_pathCombo->setText(*path);
}
