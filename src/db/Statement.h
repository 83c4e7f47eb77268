#pragma once

#include "core/Result.h"

#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

// A short-lived prepared statement with bound parameters. It is finalised when it goes
// out of scope, so no statement stays open between events.
class Statement
{
public:
    Statement(sqlite3* db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // The preparation's outcome; a statement that failed to prepare fails every step.
    const Result& prepared() const { return m_prepared; }

    void bind(int position, const QVariant& value); // positions from 1
    void bindText(int position, const QString& text);
    void bindInt64(int position, qint64 value);

    enum class Step { Row, Done, Error };
    Step step();
    // Runs a statement that returns no rows.
    Result exec();
    // Prepares and runs one statement to its end; the first column of its first row, if
    // any, goes to `first`, and the engine's code of a failure to `code`.
    static Result run(sqlite3* db, const QString& sql, QVariant* first = nullptr, int* code = nullptr);
    // The engine's (extended) code of the last failure; 0 when there was none.
    int errorCode() const { return m_code; }
    Result lastError() const;

    int columnCount() const;
    QString columnName(int column) const;
    QString columnTable(int column) const;  // table a result column comes from, if any
    QString columnOrigin(int column) const; // column of that table, if any
    QVariant value(int column) const;
    qint64 int64(int column) const;

    sqlite3_stmt* handle() const { return m_stmt; }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    Result m_prepared;
    Result m_stepError = Result::success();
    int m_code = 0;
};

// An identifier in double quotes, for names that the program puts together itself.
QString quoteIdentifier(const QString& name);
