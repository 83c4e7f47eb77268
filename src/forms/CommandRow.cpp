#include "forms/CommandRow.h"

#include "core/Log.h"

#include "db/RecordSet.h"
#include "forms/Messages.h"
#include "platform/KeySender.h"

#include <QAbstractButton>

CommandRow::CommandRow(RecordSet* main, std::function<void()> refreshLists)
    : m_main(main), m_refreshLists(std::move(refreshLists))
{}

void CommandRow::endWith(const Result& result)
{
    if (result && m_refreshLists)
        m_refreshLists();
}

Result CommandRow::previousOrFirst(RecordSet& recordSet)
{
    if (Result r = recordSet.movePrevious(); !r)
        return r;
    return recordSet.bof() ? recordSet.moveFirst() : Result::success();
}

Result CommandRow::nextOrLast(RecordSet& recordSet)
{
    if (Result r = recordSet.moveNext(); !r)
        return r;
    return recordSet.eof() ? recordSet.moveLast() : Result::success();
}

Result CommandRow::confirmByMoving(RecordSet& recordSet)
{
    if (Result r = recordSet.movePrevious(); !r)
        return r;
    // From the first record the way back is the first record itself; moving on from
    // there would leave the second record current.
    if (recordSet.bof())
        return recordSet.moveFirst();
    return nextOrLast(recordSet);
}

void CommandRow::first()
{
    endWith(m_main->moveFirst());
}

void CommandRow::previous()
{
    endWith(previousOrFirst(*m_main));
}

void CommandRow::next()
{
    endWith(nextOrLast(*m_main));
}

void CommandRow::last()
{
    endWith(m_main->moveLast());
}

void CommandRow::save()
{
    if (Result r = m_main->updateRecord(); !r) {
        Messages::warn(Messages::SaveFailure);
        return;
    }
    if (m_refreshLists)
        m_refreshLists();
}

void CommandRow::cancel()
{
    m_main->updateControls();
}

void CommandRow::add()
{
    Result r = m_main->updateRecord();
    if (r)
        r = m_main->addNew();
    if (r)
        r = m_main->updateRecord();
    if (r)
        r = m_main->moveLast();
    if (r)
        r = confirmByMoving(*m_main);
    if (!r) {
        Messages::warn(Messages::AddFailure);
        return;
    }
    if (m_refreshLists)
        m_refreshLists();
}

void CommandRow::deleteRecord()
{
    if (!Messages::confirmDelete())
        return;
    Result r = m_main->deleteCurrent();
    if (r)
        r = nextOrLast(*m_main);
    if (r)
        r = m_main->updateRecord();
    endWith(r);
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
