#pragma once

#include "core/DataError.h"
#include "data/Server.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class QObject;
class QSqlQuery;

// When the data layer throws and when it returns a reason. A refusal the user must read and
// act on (a file that is not a VORN database, a backup that cannot be restored, a server that
// cannot be used) is returned as a Persian text, and the caller decides what to show. A failure
// in the middle of work that should have succeeded (a statement refused, a connection lost, a
// deadline passed, a code another desk took) is thrown as DataError; the window's handler does
// not catch it, the guarded connection it was called through shows it in the "Error" box.

// The server refused a second subject with a code another workstation gave a moment ago.
class CodeTaken : public DataError {
public:
    using DataError::DataError;
};

namespace Database {

// <program folder>/DBVORN/DBVORN.mdb: the whole database is this one file.
QString filePath(const QString& programFolder);

struct OpenResult {
    enum Status { Opened, Created, Refused };
    Status status = Refused;
    QString path;
    QString message;     // Persian, for the user: what was created, or why the file is refused
    bool server = false; // it was the server that the connection file names
    // With the page check beside: every page was checked at an earlier opening, and the file is
    // as that session left it when it closed, within a week; its pages are not read again.
    bool pagesTrusted = false;
};

// How open() has SQLite check every page of an existing file: before it returns, or beside
// what the program does next (the schema is checked before it returns either way). With the
// check beside, nothing is written until it has passed: a write waits for it, and throws the
// refusal if the check failed. A file that needs its indexes made is checked before, always.
// Beside, the check is skipped for a file that was checked whole within a week and closed
// cleanly since, unchanged (a record beside it says so; see FileEngine): a file killed in the
// middle of work, changed by anything else, or restored is checked whole again.
enum class PageCheck { Before, Beside };

// Opens the program's one connection. A missing file is created with the delivered content;
// a file that is not a VORN database, or cannot be written, is refused and left untouched.
OpenResult open(const QString& programFolder, PageCheck check = PageCheck::Before);
// Starts the page check beside (if it has not started) and calls done on the main thread once
// it has ended, with the refusal for the user when it failed (empty when it passed); at once
// when there is no such check.
void whenPagesChecked(QObject* context, std::function<void(const QString& refusal)> done);
// Waits for the page check beside: the refusal when it failed, else empty.
QString pagesRefusal();
// Waits for the page check beside; throws DataError with the refusal when it failed.
void requirePagesChecked();
void close();
// Makes a new database file with the delivered content at path; the error text, or empty.
QString createFile(const QString& path);
// Why the file at path is not a whole VORN database, or an empty text when it is one. Reads
// the file without changing it.
QString checkFile(const QString& path);
bool isOpen();
// With the database on a server: a backup file that is a whole VORN database holding one moment
// of the server's four tables, written whole or not at all; and the server's rows replaced by
// those of a backup file (of either kind), all or none. The error text, or empty.
QString backupServer(const QString& target);
QString restoreServer(const QString& source);
// The backup of either kind, for the backup window: the file copied block by block (between()
// runs before each), a server's tables from one moment. The error text, or empty.
QString backupTo(const QString& target, const std::function<void()>& between = {});
// The database replaced by a whole VORN database at source, all or none: the file's copy is
// renamed over it with the connection closed, and the connection is opened again on the program
// folder's database whatever happened; a server's rows are replaced in one transaction. The
// error text, or empty.
QString restoreFrom(const QString& source, const QString& programFolder,
                    const std::function<void()>& between = {});
QSqlDatabase connection();

// What a view needs to know whether the file still holds what it read of a table: the writes
// made to that table through views, the rows changed on this connection by anything else, the
// commits of other connections and the rollbacks. Equal stamps mean nothing changed.
struct Stamp {
    qint64 table = -1;
    qint64 foreign = -1;
    qint64 version = -1;
    qint64 rollbacks = -1;
    bool operator==(const Stamp&) const = default;
};

// A statement for the connection in use, forward only, its values bound by position. On a server
// its values are written into its text by the driver's own quoting, as an execution of a prepared
// statement sends them, and it goes in one round trip: preparing, and releasing, would each be
// one more. On the file it is prepared afresh (nothing travels).
class Statement {
public:
    explicit Statement(const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    QSqlQuery& operator*() { return *query_; }
    QSqlQuery* operator->() { return query_.get(); }
    void bind(const QVariantList& values); // from the first place on

    // Runs it; a failure throws DataError. With a table, the table's stamp is taken just before
    // it (before) and just after it (after; for a statement that gives no rows, whose writes are
    // noted first), on a server in the same round trip.
    void exec(const QString& table = {}, Stamp* before = nullptr, Stamp* after = nullptr);
    int rowsAffected() const { return affected_; }

private:
    QString sql_;
    QVariantList values_;
    std::unique_ptr<QSqlQuery> query_;
    int affected_ = 0;
};

// A read that may go with others: its table (whose stamp is taken with it), its statement and
// values, and what takes its rows from the query standing on its result.
struct Read {
    QString table;
    QString sql;
    QVariantList values;
    std::function<void(QSqlQuery&, const Stamp&)> take;
};
// The reads in order; on a server in one round trip. A failure of the first throws; after a
// later one the rest are not taken (their views read them when they need them).
void readTogether(const std::vector<Read>& reads);

// A write that may go with others: its statement and values, and what takes its result.
struct Write {
    QString sql;
    QVariantList values;
    std::function<void(QSqlQuery&)> take;
};

// Runs a prepared statement; a failure throws DataError with the driver's text.
void exec(QSqlQuery& query);
void exec(QSqlQuery& query, const QString& sql);

Stamp stamp(const QString& table);
// Views report each write they make, so that their own writes do not count as foreign.
void noteWrite(const QString& table, int rows);

// Which kind of database the connection is on: the file (SQLite) or a server (PostgreSQL,
// when the program folder holds a connection file). What differs between them is said here.
enum class Kind { File, Server };
Kind kind();
QString rowColumn(); // the column that numbers a table's rows in stored order
QString isSame();    // " IS ?" in SQLite's words or the server's, null included
// column equal to another column or expression, in the words that use an index on column; the
// second form binds value (once or twice) for the ? it writes.
QString sameText(const QString& column, const QString& other);
QString sameText(const QString& column, const QVariant& value, QVariantList& binds);
QString returningRow(); // appended to an INSERT so that it gives the new row's number
QString byteLength(const QString& expression); // its length in UTF-8 bytes
// Every non-empty text of the field once, in no order. throughIndex: by a seek of the field's
// index for each (when the program indexes it), for a field of few texts among many rows;
// else by reading the table.
QStringList distinct(const QString& table, const QString& field, bool throughIndex = false);
// The same for several fields, on a server in one round trip.
QList<QStringList> distinct(const QString& table, const QStringList& fields, bool throughIndex);
// The fields of a table, and its name as stored (names are matched without regard to case).
QStringList columns(const QString& table, QString* name);

// Tries a server without touching the program's connection: what the user is told (it can be
// reached and is empty or a VORN database, or what is wrong), and whether VORN can use it.
QString testServer(const ServerSettings& settings, bool* usable);

// What the server's client library said when a connection failed, in words a clinic's user
// can act on (the library's text follows in parentheses).
QString connectionProblem(const QString& text);

// Quotes a table or field name for SQL (names come from the schema, never from the user).
QString quoted(const QString& name);
// The names quoted and joined by commas, as a select or insert list.
QString quotedList(const QStringList& names);

// One moment of the database for every read until it goes out of scope, whatever other
// workstations write meanwhile (on a server a repeatable-read, read-only transaction; the file
// has no other writer). Writes in its time fail.
class Snapshot {
public:
    Snapshot();
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    bool began_ = false;
};

// All or nothing: statements between construction and commit() are undone unless committed.
// Nests (each level is a savepoint).
// With tables, their stamps as it begins, and as it commits (with its own writes), are put in
// stamps, in that order; on a server in the same round trip as the beginning and the commit.
class Transaction {
public:
    explicit Transaction(const QStringList& tables = {}, std::vector<Stamp>* stamps = nullptr);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // writes: run first, together (on a server in one round trip), each result taken in turn
    // (a take that throws leaves the transaction to be rolled back).
    void commit(const QStringList& tables = {}, std::vector<Stamp>* stamps = nullptr,
                const std::vector<Write>& writes = {});

private:
    QString name_;
    bool done_ = false;
    bool outermost_ = false;
};

} // namespace Database
