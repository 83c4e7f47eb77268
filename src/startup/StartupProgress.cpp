#include "startup/StartupProgress.h"

#include "platform/Accessibility.h"

#include "platform/AppInfo.h"
#include "platform/Appearance.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <future>
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
    std::future<Result> running = std::async(std::launch::async, [job, shared] {
        return job([shared](qint64 done, qint64 total) {
            shared->total = total;
            shared->done = done;
        });
    });
    using namespace std::chrono;
    const auto shownAt = steady_clock::now() + milliseconds(delayMs);
    if (meanwhile)
        meanwhile();
    if (running.wait_until(shownAt) == std::future_status::ready)
        return running.get();

    StartupProgress window;
    window.show();
    while (running.wait_for(milliseconds(30)) != std::future_status::ready) {
        window.setProgress(shared->done, shared->total);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    window.hide();
    return running.get();
}
