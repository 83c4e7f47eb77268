#include "support/Fakes.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QTest>
#include <QThread>

namespace {
// Counts the pages that a painter asks for.
class PageCounter : public QPdfWriter
{
public:
    using QPdfWriter::QPdfWriter;
    bool newPage() override
    {
        ++pages;
        return QPdfWriter::newPage();
    }
    int pages = 1;
};
} // namespace

void FakePrinting::preview(const QString& title, const Painter& paint)
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    PageCounter writer(&pdf);
    writer.setPageSize(QPageSize(QPageSize::A4));
    paint(&writer);
    printed.append({title, QString(), writer.pages});
}

Result FakePrinting::printToPdf(const QString& path, const QString& title, const Painter& paint)
{
    const Result done = Printing::real().printToPdf(path, title, paint);
    printed.append({title, path, 0});
    return done;
}

MessageBox::Answer FakeMessageBox::ask(const Request& request)
{
    asked.append(request);
    if (answers.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected message box: ") + request.text), __FILE__, __LINE__);
        return request.buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
    return answers.dequeue();
}

int FakeMessageBox::choose(const Request& request, const QStringList& buttons, int, int escapeChoice)
{
    asked.append(request);
    offered.append(buttons);
    if (choices.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected question: ") + request.text), __FILE__, __LINE__);
        return escapeChoice;
    }
    return choices.dequeue();
}

std::optional<QString> FakeFileDialog::getOpenFileName(const Request& request)
{
    asked.append(request);
    if (answers.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected file dialog: ") + request.title), __FILE__, __LINE__);
        return std::nullopt;
    }
    return answers.dequeue();
}

std::optional<QString> FakeFileDialog::getSaveFileName(const Request& request)
{
    return getOpenFileName(request);
}

std::optional<QString> FakeFileDialog::getExistingDirectory(const Request& request)
{
    folderAsked.append(request);
    if (answers.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected folder dialog: ") + request.title), __FILE__, __LINE__);
        return std::nullopt;
    }
    return answers.dequeue();
}

Result FakeProcessStarter::start(const Command& command)
{
    started.append(command);
    return outcomes.isEmpty() ? Result::success() : outcomes.dequeue();
}

Result FakeKeySender::send(const QString& keys, bool wait)
{
    sent.append({keys, wait});
    return Result::success();
}

QStringList FakeKeySender::keys() const
{
    QStringList all;
    for (const Sent& s : sent)
        all.append(s.keys);
    return all;
}

Result FakeHelpViewer::showFile(const QString& path)
{
    shown.append({path, QString(), std::exchange(m_notice, QString())});
    return Result::success();
}

Result FakeHelpViewer::showTopic(const QString& path, const QString& topic)
{
    shown.append({path, topic, std::exchange(m_notice, QString())});
    return Result::success();
}

QString FakeStartupFileSystem::dirEntry(const QString& path, int attributes)
{
    calls.append(QStringLiteral("dir ") + path);
    return StartupFileSystem::real().dirEntry(path, attributes);
}

bool FakeStartupFileSystem::makeDir(const QString& path)
{
    calls.append(QStringLiteral("mkdir ") + path);
    return !failMakeDir && StartupFileSystem::real().makeDir(path);
}

DatabaseBackup::Outcome FakeStartupBackup::copy(const QString& from, const QString& to,
                                                const DatabaseBackup::Progress& progress,
                                                std::shared_ptr<DatabaseBackup::UncheckedCopy>& unchecked)
{
    calls.append(QStringLiteral("copy ") + from + QStringLiteral(" ") + to);
    if (copyDelayMs > 0) {
        if (progress)
            progress(0, 100);
        QThread::msleep(copyDelayMs / 2);
        if (progress)
            progress(50, 100);
        QThread::msleep(copyDelayMs - copyDelayMs / 2);
    }
    if (failCopy)
        return {Result::failure(QStringLiteral("disk full"), Result::Cause::DiskFull),
                DatabaseBackup::Refusal::CannotWrite};
    return StartupBackup::real().copy(from, to, progress, unchecked);
}

std::optional<qint64> FakeStartupFileSystem::freeBytes(const QString& path)
{
    return fixedFreeBytes ? *fixedFreeBytes : StartupFileSystem::real().freeBytes(path);
}

FakeDateForms::FakeDateForms() : LocaleDateForms(QLocale(QLocale::Japanese, QLocale::Japan)) {}

PlatformFakes::PlatformFakes()
{
    MessageBox::setInstance(&messageBox);
    FileDialog::setInstance(&fileDialog);
    ProcessStarter::setInstance(&processStarter);
    KeySender::setInstance(&keySender);
    HelpViewer::setInstance(&helpViewer);
    StartupFileSystem::setInstance(&fileSystem);
    StartupBackup::setInstance(&backup);
    DateForms::setInstance(&dates);
    Printing::setInstance(&printing);
}

PlatformFakes::~PlatformFakes()
{
    MessageBox::setInstance(nullptr);
    FileDialog::setInstance(nullptr);
    ProcessStarter::setInstance(nullptr);
    KeySender::setInstance(nullptr);
    HelpViewer::setInstance(nullptr);
    StartupFileSystem::setInstance(nullptr);
    StartupBackup::setInstance(nullptr);
    DateForms::setInstance(nullptr);
    Printing::setInstance(nullptr);
}

void PlatformFakes::verifyAllAnswered() const
{
    if (!messageBox.answers.isEmpty() || !messageBox.choices.isEmpty())
        QTest::qFail("a queued message box answer was never asked for", __FILE__, __LINE__);
    if (!fileDialog.answers.isEmpty())
        QTest::qFail("a queued file dialog answer was never asked for", __FILE__, __LINE__);
}
