#pragma once

#include "data/Database.h"

#include <QObject>
#include <QSqlDatabase>
#include <functional>

class QSqlError;

namespace Database {

// What differs between the file (SQLite) and a server (PostgreSQL), behind one interface: the
// words of SQL that differ, how a failure is said, how the connection is kept, the change
// stamps, the page check and the backup. The connection holds one engine at a time; nothing
// outside the data layer asks which.
class Engine {
public:
    virtual ~Engine() = default;
    virtual Kind kind() const = 0;

    virtual QString rowColumn() const = 0;
    virtual QString isSame() const = 0;
    virtual QString sameText(const QString& column, const QString& other) const = 0;
    virtual QString sameText(const QString& column, const QVariant& value,
                             QVariantList& binds) const = 0;
    virtual QString returningRow() const = 0;
    virtual QString byteLength(const QString& expression) const = 0;
    // The stored fields of a table the schema does not know, in order.
    virtual QStringList storedColumns(QSqlDatabase& db, const QString& table) const = 0;

    // The question giving every text of an indexed field but the empty one, once each (one
    // column), by one seek of its index for each (a table of a million subjects holds a few
    // thousand names).
    virtual QString distinctThroughIndex(const QString& table, const QString& field) const = 0;

    // A statement's values are written into its text instead of bound: preparing it would cost
    // a round trip of its own.
    virtual bool valuesInText() const = 0;
    // A question giving the versions of tables as rows (name, version) that can go with other
    // statements in one round trip; empty where stamps are asked apart (the file: nothing
    // travels).
    virtual QString stampsQuery(const QStringList& tables) const {
        Q_UNUSED(tables);
        return {};
    }
    // What begins the outermost transaction; empty: a savepoint begins one by itself.
    virtual QString outermostBegin() const = 0;
    // What begins one moment for every read; empty: the file has no other writer.
    virtual QString snapshotBegin() const = 0;
    // The connection itself is gone (the next use may connect again).
    virtual bool isLost(const QSqlError& error) const = 0;
    // Throws the failure in the words the user reads (CodeTaken for a code taken meanwhile).
    [[noreturn]] virtual void fail(const QSqlError& error, bool lost) const = 0;
    // The stamp's version and foreign counts; viewChanges: the rows the views wrote themselves.
    virtual void stamp(QSqlDatabase& db, const QString& table, qint64 viewChanges,
                       Stamp& s) const = 0;

    // The page check beside the program's start, where there is one.
    virtual void whenPagesChecked(QObject* context, std::function<void(const QString&)> done) {
        Q_UNUSED(context);
        done({});
    }
    virtual QString pagesRefusal() { return {}; }
    // Told once the connection is closed, before the engine goes.
    virtual void closed() {}

    // See Database::backupTo and Database::restoreFrom.
    virtual QString backupTo(const QString& target, const std::function<void()>& between) = 0;
    virtual QString restoreFrom(const QString& source, const QString& programFolder,
                                const std::function<void()>& between) = 0;
};

// The rows a new database is delivered with, written on db (either engine).
void addDelivered(QSqlDatabase& db);

} // namespace Database
