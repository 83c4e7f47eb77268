#include "forms/CommandRow.h"

#include "core/Log.h"

#include "db/RecordSet.h"
#include "forms/Messages.h"
#include "forms/StoreFailure.h"
#include "platform/KeySender.h"

#include <QAbstractButton>

CommandRow::CommandRow(RecordSet* main, std::function<void()> refreshLists)
    : m_main(main), m_refreshLists(std::move(refreshLists))
{}

void CommandRow::perform(const std::function<Result()>& steps, const QString& failureMessage)
{
    for (;;) {
        const Result r = steps();
        if (r) {
            if (m_refreshLists)
                m_refreshLists();
            return;
        }
        // Typing stored over another copy's version on purpose: the command goes on from the start.
        if (StoreFailure::resolve(*m_main, r, failureMessage) != StoreFailure::Outcome::Stored)
            return;
    }
}

Result CommandRow::previousOrFirst(RecordSet& recordSet)
{
    // From the first record the way back is the first record itself: going there at once
    // leaves no empty record shown when it cannot be read.
    if (recordSet.currentRow() == 0)
        return recordSet.moveFirst();
    if (Result r = recordSet.movePrevious(); !r)
        return r;
    return recordSet.bof() ? recordSet.moveFirst() : Result::success();
}

Result CommandRow::nextOrLast(RecordSet& recordSet)
{
    if (recordSet.hasCurrent() && recordSet.currentRow() == recordSet.recordCount() - 1)
        return recordSet.moveLast();
    if (Result r = recordSet.moveNext(); !r)
        return r;
    return recordSet.eof() ? recordSet.moveLast() : Result::success();
}

Result CommandRow::confirmByMoving(RecordSet& recordSet)
{
    // Away and back again comes to the same record, which is read anew.
    return recordSet.reread();
}

void CommandRow::first()
{
    perform([this] { return m_main->moveFirst(); }, QString());
}

void CommandRow::previous()
{
    perform([this] { return previousOrFirst(*m_main); }, QString());
}

void CommandRow::next()
{
    perform([this] { return nextOrLast(*m_main); }, QString());
}

void CommandRow::last()
{
    perform([this] { return m_main->moveLast(); }, QString());
}

void CommandRow::save()
{
    perform([this] { return m_main->updateRecord(); }, Messages::SaveFailure);
}

void CommandRow::cancel()
{
    m_main->updateControls();
}

void CommandRow::add()
{
    perform(
        [this] {
            Result r = m_main->updateRecord();
            if (r)
                r = m_main->addNew();
            if (r)
                r = m_main->updateRecord();
            if (r)
                r = m_main->moveLast();
            if (r)
                r = confirmByMoving(*m_main);
            return r;
        },
        Messages::AddFailure);
}

void CommandRow::deleteRecord()
{
    if (!Messages::confirmDelete())
        return;
    bool deleted = false;
    perform(
        [this, &deleted] {
            if (!deleted) {
                if (Result r = m_main->deleteCurrent(); !r)
                    return r;
                deleted = true;
            }
            Result r = nextOrLast(*m_main);
            if (r)
                r = m_main->updateRecord();
            return r;
        },
        QString());
}

void CommandRow::help()
{
    skipOnFailure(KeySender::instance().send(QStringLiteral("{F1}"), false), lcViewer(), "F1");
}

void CommandRow::connectButtons(QWidget* client, const std::array<const char*, 7>& names,
                                std::function<void(Command)> run)
{
    static constexpr std::array<Command, 7> commands = {
        &CommandRow::first, &CommandRow::previous, &CommandRow::next,        &CommandRow::last,
        &CommandRow::save,  &CommandRow::cancel,   &CommandRow::deleteRecord};
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto* button = client->findChild<QAbstractButton*>(QString::fromUtf8(names[i]));
        Q_ASSERT(button);
        const Command command = commands[i];
        QObject::connect(button, &QAbstractButton::clicked, client, [this, command, run] {
            if (run)
                run(command);
            else
                (this->*command)();
        });
    }
}
