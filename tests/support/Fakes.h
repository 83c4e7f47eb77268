#pragma once

#include "db/DatabaseBackup.h"
#include "platform/DateForms.h"
#include "platform/FileDialog.h"
#include "platform/HelpViewer.h"
#include "platform/KeySender.h"
#include "platform/MessageBox.h"
#include "platform/Printing.h"
#include "platform/ProcessStarter.h"
#include "platform/StartupFileSystem.h"

#include <QList>
#include <QQueue>

#include <optional>

// Fakes of the platform services. Each records what it was asked; the dialogs answer from
// a queue and fail the test when they are asked with no answer queued.

class FakeMessageBox : public MessageBox
{
public:
    Answer ask(const Request& request) override;
    // Answered from choices, by index; recorded in asked, with the buttons offered in offered.
    int choose(const Request& request, const QStringList& buttons, int defaultChoice, int escapeChoice) override;
    QQueue<Answer> answers;
    QQueue<int> choices;
    QList<Request> asked;
    QList<QStringList> offered;
};

class FakeFileDialog : public FileDialog
{
public:
    std::optional<QString> getOpenFileName(const Request& request) override;
    // Answered from the same queue; recorded in asked like the open dialog.
    std::optional<QString> getSaveFileName(const Request& request) override;
    // Answered from the same queue; recorded in folderAsked, apart from the file dialogs.
    std::optional<QString> getExistingDirectory(const Request& request) override;
    // A path, or std::nullopt for "cancelled".
    QQueue<std::optional<QString>> answers;
    QList<Request> asked;
    QList<Request> folderAsked;
};

class FakeProcessStarter : public ProcessStarter
{
public:
    Result start(const Command& command) override;
    // Outcomes to give, in order; success when none is queued.
    QQueue<Result> outcomes;
    QList<Command> started;
};

class FakeKeySender : public KeySender
{
public:
    Result send(const QString& keys, bool wait) override;
    struct Sent
    {
        QString keys;
        bool wait;
    };
    QList<Sent> sent;
    QStringList keys() const;
};

class FakeHelpViewer : public HelpViewer
{
public:
    Result showFile(const QString& path) override;
    Result showTopic(const QString& path, const QString& topic) override;
    void setNotice(const QString& text) override { m_notice = text; }
    struct Shown
    {
        QString path;
        QString topic;
        QString notice; // shown with the file
    };
    QString m_notice;
    QList<Shown> shown;
};

// The real file system, with steps that can be made to fail, a fixed today and, when set,
// a given free room.
class FakeStartupFileSystem : public StartupFileSystem
{
public:
    QString dirEntry(const QString& path, int attributes) override;
    bool makeDir(const QString& path) override;
    QDate today() override { return fixedToday; }
    std::optional<qint64> freeBytes(const QString& path) override;
    bool failMakeDir = false;
    QDate fixedToday{2026, 12, 7};
    std::optional<std::optional<qint64>> fixedFreeBytes;
    QStringList calls;
};

// The real start-up backup, which can be made to fail or to take its time.
class FakeStartupBackup : public StartupBackup
{
public:
    DatabaseBackup::Outcome copy(const QString& from, const QString& to, const DatabaseBackup::Progress& progress,
                                 std::shared_ptr<DatabaseBackup::UncheckedCopy>& unchecked) override;
    bool failCopy = false;
    // A copy that takes this long, reporting half of it done halfway.
    int copyDelayMs = 0;
    QStringList calls;
};

// Japanese date forms with a fixed today.
class FakeDateForms : public LocaleDateForms
{
public:
    FakeDateForms();
    QDate today() const override { return fixedToday; }
    QDate fixedToday{2026, 12, 6};
};

// Printing without a printer or a dialog: a preview paints its pages into a PDF in memory, and
// PDF files are written as the real service writes them.
class FakePrinting : public Printing
{
public:
    void preview(const QString& title, const Painter& paint) override;
    Result printToPdf(const QString& path, const QString& title, const Painter& paint) override;
    bool hasPrinter() const override { return printerInstalled; }

    bool printerInstalled = false;
    struct Printed
    {
        QString title;
        QString path; // empty for a preview
        int pages = 0;
    };
    QList<Printed> printed;
};

// All fakes, installed for as long as the object lives.
class PlatformFakes
{
public:
    PlatformFakes();
    ~PlatformFakes();
    PlatformFakes(const PlatformFakes&) = delete;
    PlatformFakes& operator=(const PlatformFakes&) = delete;

    // Fails the test when a queued answer was never asked for.
    void verifyAllAnswered() const;

    FakeMessageBox messageBox;
    FakeFileDialog fileDialog;
    FakeProcessStarter processStarter;
    FakeKeySender keySender;
    FakeHelpViewer helpViewer;
    FakeStartupFileSystem fileSystem;
    FakeStartupBackup backup;
    FakeDateForms dates;
    FakePrinting printing;
};
