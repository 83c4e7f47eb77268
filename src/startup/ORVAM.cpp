#include "startup/ORVAM.h"

#include "app_registration/H_PATH.h"
#include "core/BackgroundTask.h"
#include "core/Log.h"
#include "db/Schema.h"
#include "forms/Session.h"
#include "help_display/H_PRN.h"
#include "help_registration/H_WRITE.h"
#include "platform/KeySender.h"
#include "startup/I_VER.h"
#include "widgets/Twips.h"

#include <QAction>
#include <QMenuBar>
#include <QPushButton>

namespace {
QPushButton* button(QWidget* parent, const char* name, const QString& caption, int top)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    Twips::place(b, 360, top, 1932, 252);
    return b;
}
} // namespace

ORVAM::ORVAM(Session& session)
    : SingleForm(QStringLiteral("ORVAM"), QStringLiteral("オルバレント"), 2652, 1476), m_session(session)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    auto* bar = new QMenuBar;
    bar->setObjectName(QStringLiteral("menuBar"));
    // Both commands must fit on the narrow bar side by side.
    bar->setStyleSheet(QStringLiteral("QMenuBar { spacing: 1px; } QMenuBar::item { padding: 1px 3px; }"));
    QAction* help = bar->addAction(QStringLiteral("ヘルプ（&H）"));
    help->setObjectName(QStringLiteral("HELP_PRN"));
    QAction* version = bar->addAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)"));
    version->setObjectName(QStringLiteral("MEMO_VER"));
    setMenuBar(bar);

    QPushButton* write = button(client(), "Command1", QStringLiteral("ヘルプ登録"), 0);
    QPushButton* display = button(client(), "Command2", QStringLiteral("ヘルプ表示／修正"), 360);
    QPushButton* apps = button(client(), "Command4", QStringLiteral("アプリケーション登録"), 720);
    QPushButton* quit = button(client(), "Command3", QStringLiteral("終了"), 1080);
    setTabOrder(write, display);
    setTabOrder(display, apps);
    setTabOrder(apps, quit);

    connect(write, &QPushButton::clicked, this, [this] { Windows::open<H_WRITE>(m_session); });
    connect(display, &QPushButton::clicked, this, [this] { Windows::open<H_PRN>(m_session); });
    // The registration window keeps its window state: a minimised one stays minimised.
    connect(apps, &QPushButton::clicked, this, [this] { Windows::open<H_PATH>(m_session, Windows::State::AsItWas); });
    // The others close first; one that stays open keeps this one open too.
    connect(quit, &QPushButton::clicked, this, [this] {
        if (closeOtherWindows())
            unload();
    });
    // The active window is this one while its menu is used, so F1 opens its help.
    connect(help, &QAction::triggered, this,
            [] { skipOnFailure(KeySender::instance().send(QStringLiteral("{F1}"), false), lcViewer(), "F1"); });
    connect(version, &QAction::triggered, this, [] {
        I_VER* w = I_VER::instance();
        w->setNormalState();
        w->showForm();
    });
    // Away from the other windows, which open near the top left corner of the screen.
    move(600, 240);
}

Result ORVAM::onLoad()
{
    m_loadSucceeded = GL_HELP_PATH_TABLE_MAKE();
    // The engine's figures help the search window's lists; the window needs not wait for
    // them (their write waits for the file's sync), so they are written while it shows.
    if (m_loadSucceeded && !m_session.BackupUnchecked)
        BackgroundTask::start(this, [path = m_session.DbPath] { Schema::refreshStatistics(path); });
    return Result::success();
}

bool ORVAM::GL_HELP_PATH_TABLE_MAKE()
{
    return Schema::makePathTable(m_session.AppDir + QStringLiteral("/IDATA2.mdb")) !=
           Schema::PathTableOutcome::CannotOpen;
}

bool ORVAM::confirmClose()
{
    return closeOtherWindows();
}

bool ORVAM::closeOtherWindows()
{
    // The registration window of applications is not among them: it stays open. A window
    // that stays open keeps this one open too, and the ones after it.
    return H_WRITE::unloadIfLoaded() && H_PRN::unloadIfLoaded() && I_VER::unloadIfLoaded();
}
