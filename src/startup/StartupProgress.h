#pragma once

#include "core/Result.h"

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;

// A small window that tells the user that the memo book is being copied, shown while a
// long backup keeps the main window waiting. Not one of the program's windows: closing it
// never ends the program, and it cannot be closed by the user.
class StartupProgress : public QWidget
{
    Q_OBJECT

public:
    StartupProgress();

    // Bytes done of the total; a total of 0 shows a busy bar without a figure.
    void setProgress(qint64 done, qint64 total);

    using Report = std::function<void(qint64 done, qint64 total)>;
    using Job = std::function<Result(const Report& report)>;

    // Runs the job on a thread of its own, and meanwhile on this thread, which must not
    // need the job's result. If the job has not ended after delayMs, the window is shown
    // with the progress that the job reports (from any thread) until it ends; the window is
    // gone before this returns.
    static Result run(const Job& job, const std::function<void()>& meanwhile = {}, int delayMs = 500);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_text = nullptr;
    QProgressBar* m_bar = nullptr;
};
