#pragma once

#include "forms/Session.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

class Connection;

// A temporary program folder with a fresh memo book (and, unless asked otherwise, the
// table of registered applications), and the session of a program started in it.
class MemoBook
{
public:
    enum class Tables { MemosOnly, MemosAndPaths };
    explicit MemoBook(Tables tables = Tables::MemosAndPaths);
    ~MemoBook();

    bool isValid() const { return m_valid; }
    QString dir() const { return m_dir.path(); }
    QString dbPath() const;
    // What start-up would have filled in for a program in this folder.
    Session session;

    struct Memo
    {
        QString date, file, keyword, key1, key2, appId, memo;
    };
    // Stores a memo directly; returns its ID.
    qint64 addMemo(const Memo& memo);
    qint64 addApplication(const QString& appId, const QString& path);

    // Runs a statement on the file through a connection of the test's own.
    void exec(const QString& sql);
    QVariant scalar(const QString& sql);
    QList<QVariantList> rows(const QString& sql);
    int count(const QString& table);

private:
    QTemporaryDir m_dir;
    std::shared_ptr<Connection> m_connection;
    bool m_valid = false;
};
