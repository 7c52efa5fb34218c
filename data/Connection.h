#pragma once

#include "data/Engine.h"

#include <QHash>
#include <QSqlDatabase>
#include <functional>
#include <memory>
#include <vector>

class DataView;
class QSqlQuery;

namespace Database {

// The program's one connection and what belongs to it: the engine it is on, the depth of its
// transactions, whether it was found gone, and the counts behind the
// change stamps. One object for the process, reached through current().
class Connection {
public:
    static Connection& current();
    static const QString Name; // the name Qt's SQL module keeps it under

    Engine& engine() { return *engine_; }
    // Takes the engine an open() chose; close() goes back to the file's, with nothing open.
    void use(std::unique_ptr<Engine> engine);
    void close();
    bool isOpen() const;
    // The open connection; one found gone is opened again first (or that failure is thrown).
    QSqlDatabase database();
    // Whether the query runs on this connection (and not on a check or a try of its own).
    bool owns(const QSqlQuery& q) const;

    // Runs the statement (the text given, or the one prepared), within the deadline; a
    // connection found gone outside any transaction is opened again and the statement run once
    // more. A failure throws DataError in the user's words. A text of several statements goes
    // in one round trip: then, within the same deadline, reads the results of all but the last
    // and moves on to the next with nextResult(), false when one failed.
    void run(QSqlQuery& q, const QString* sql, const std::function<bool()>& then = {});
    [[noreturn]] void fail(const QSqlQuery& q, bool late);

    int depth = 0;     // transactions and snapshots open; the server needs BEGIN for the first
    bool lost = false; // found gone: the next use opens it again
    int savepoints = 0;
    qint64 rollbacks = 0;   // views that took their own writes for done must read again
    qint64 viewChanges = 0; // rows the views wrote, told apart from other writers
    QHash<QString, qint64> tableWrites;
    std::vector<const DataView*> views; // every view alive: a window's are read together
    // A transaction's beginning not sent yet: it goes with the first statement in it, and begun
    // reads its results (the query then stands on the last of them).
    QString pendingBegin;
    std::function<bool(QSqlQuery&)> begun;

private:
    Connection();
    // Runs it; again: a connection found gone may be opened again and the text sent once more.
    void attempt(QSqlQuery& q, const QString* sql, const std::function<bool()>& then, bool again);

    std::unique_ptr<Engine> engine_;
};

} // namespace Database
