#include "startup/StartupProgress.h"

#include "widgets/Accessibility.h"

#include "core/AppInfo.h"
#include "widgets/Appearance.h"

#include "core/BackgroundTask.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <memory>

StartupProgress::StartupProgress()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("StartupProgress"));
    Accessibility::markAsWindow(this, true);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(AppInfo::Title);
    setWindowIcon(Appearance::programIcon());
    m_text = new QLabel(QStringLiteral("メモ帳を「Back Up」フォルダーにコピーしています。\nしばらくお待ちください。"));
    m_text->setObjectName(QStringLiteral("progressText"));
    m_bar = new QProgressBar;
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setRange(0, 0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(12);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    setMinimumWidth(m_text->sizeHint().width() + 40);
    adjustSize();
    setFixedSize(size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void StartupProgress::setProgress(qint64 done, qint64 total)
{
    // The copy may be done while the check of the memo book goes on: then only "busy".
    if (total <= 0 || done >= total) {
        m_bar->setRange(0, 0);
        return;
    }
    m_bar->setRange(0, 1000);
    m_bar->setValue(int(done * 1000 / total));
}

void StartupProgress::closeEvent(QCloseEvent* event)
{
    // The backup goes on whatever the user does; the window goes when it has ended.
    event->ignore();
}

Result StartupProgress::run(const Job& job, const std::function<void()>& meanwhile, int delayMs)
{
    struct Shared
    {
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0};
    };
    auto shared = std::make_shared<Shared>();
    QObject owner;
    Result result;
    QPointer<BackgroundTask> task = BackgroundTask::start(
        &owner,
        [job, shared] {
            return job([shared](qint64 done, qint64 total) {
                shared->total = total;
                shared->done = done;
            });
        },
        [&result](Result r) { result = std::move(r); });
    QElapsedTimer since;
    since.start();
    if (meanwhile)
        meanwhile();
    if (!task)
        return result;

    // The window shows only when the copy outlasts the delay; it follows the copy's progress.
    QEventLoop loop;
    QObject::connect(task, &BackgroundTask::finished, &loop, &QEventLoop::quit);
    std::unique_ptr<StartupProgress> window;
    QTimer follow;
    QObject::connect(&follow, &QTimer::timeout, &loop, [&] {
        if (!window) {
            window = std::make_unique<StartupProgress>();
            window->show();
            follow.setInterval(30);
        }
        window->setProgress(shared->done, shared->total);
    });
    follow.start(int(std::max<qint64>(0, delayMs - since.elapsed())));
    loop.exec();
    if (task)
        task->waitForFinished();
    if (window)
        window->hide();
    return result;
}
