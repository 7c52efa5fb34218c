#include "data/Database.h"

#include "data/Connection.h"
#include "data/Content.h"
#include "data/Deadline.h"
#include "data/FileEngine.h"
#include "data/RowCopy.h"
#include "data/ServerEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <algorithm>

// The façade the windows call: it opens the engine the program folder names and hands each
// question to the connection and its engine.
namespace Database {

namespace {
Connection& current() {
    return Connection::current();
}
Engine& engine() {
    return Connection::current().engine();
}

using Versions = QHash<QString, qint64>;

// The rows (name, version) of a stamps question, by the name in lower case.
Versions readVersions(QSqlQuery& q) {
    Versions versions;
    while (q.next())
        versions.insert(q.value(0).toString().toLower(), q.value(1).toLongLong());
    return versions;
}

// The statement with each ? outside quotes replaced by its value as the driver quotes the
// values of a prepared statement's execution.
QString withValues(const QString& sql, const QVariantList& values, const QSqlDriver& driver) {
    QString text;
    text.reserve(sql.size() + 16 * values.size());
    qsizetype next = 0;
    QChar quote;
    for (const QChar ch : sql) {
        if (!quote.isNull()) {
            if (ch == quote)
                quote = QChar();
        } else if (ch == u'\'' || ch == u'"') {
            quote = ch;
        } else if (ch == u'?' && next < values.size()) {
            const QVariant& value = values[next++];
            QSqlField field;
            field.setMetaType(value.metaType());
            if (value.isNull() ||
                (value.typeId() == QMetaType::QString && value.toString().isNull()))
                field.clear();
            else
                field.setValue(value);
            text += driver.formatValue(field);
            continue;
        }
        text += ch;
    }
    return text;
}
} // namespace

QString filePath(const QString& programFolder) {
    return QDir(programFolder).filePath(QStringLiteral("DBVORN/DBVORN.mdb"));
}

QString quoted(const QString& name) {
    QString n = name;
    return QLatin1Char('"') + n.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString quotedList(const QStringList& names) {
    QStringList all;
    for (const QString& n : names)
        all << quoted(n);
    return all.join(QLatin1Char(','));
}

OpenResult open(const QString& programFolder, PageCheck check) {
    close();
    std::unique_ptr<Engine> opened;
    OpenResult result;
    if (const Server::Read server = Server::read(programFolder); !server.error.isEmpty()) {
        result.server = true;
        result.path = Server::settingsPath(programFolder);
        result.message = server.error;
        return result;
    } else if (server.settings) {
        result = ServerEngine::open(*server.settings, &opened);
    } else {
        result =
            FileEngine::open(QFileInfo(filePath(programFolder)).absoluteFilePath(), check, &opened);
    }
    if (opened)
        current().use(std::move(opened));
    return result;
}

void close() {
    current().close();
}

bool isOpen() {
    return current().isOpen();
}

QSqlDatabase connection() {
    return current().database();
}

void whenPagesChecked(QObject* context, std::function<void(const QString& refusal)> done) {
    engine().whenPagesChecked(context, std::move(done));
}

QString pagesRefusal() {
    return engine().pagesRefusal();
}

void requirePagesChecked() {
    if (const QString refusal = pagesRefusal(); !refusal.isEmpty())
        throw DataError(refusal);
}

QString createFile(const QString& path) {
    return FileEngine::createFile(path);
}

QString checkFile(const QString& path) {
    return FileEngine::checkFile(path);
}

QString testServer(const ServerSettings& settings, bool* usable) {
    return ServerEngine::test(settings, usable);
}

QString backupServer(const QString& target) {
    return RowCopy::serverToFile(target);
}

QString restoreServer(const QString& source) {
    return RowCopy::fileToServer(source);
}

QString backupTo(const QString& target, const std::function<void()>& between) {
    return engine().backupTo(target, between);
}

QString restoreFrom(const QString& source, const QString& programFolder,
                    const std::function<void()>& between) {
    return engine().restoreFrom(source, programFolder, between);
}

Kind kind() {
    return engine().kind();
}

QString rowColumn() {
    return engine().rowColumn();
}

QString sameText(const QString& column, const QString& other) {
    return engine().sameText(column, other);
}

QString sameText(const QString& column, const QVariant& value, QVariantList& binds) {
    return engine().sameText(column, value, binds);
}

QString isSame() {
    return engine().isSame();
}

QString returningRow() {
    return engine().returningRow();
}

QString byteLength(const QString& expression) {
    return engine().byteLength(expression);
}

// The program's own tables have exactly their known fields (open checks that, on either kind);
// only another name is looked up.
QStringList columns(const QString& table, QString* name) {
    const Tables::Table& known = Tables::byName(table);
    if (!known.name.isEmpty()) {
        *name = known.name;
        return known.fields;
    }
    *name = table;
    QSqlDatabase db = connection();
    return engine().storedColumns(db, table);
}

QStringList distinct(const QString& table, const QString& field, bool throughIndex) {
    return distinct(table, QStringList{field}, throughIndex).front();
}

QList<QStringList> distinct(const QString& table, const QStringList& fields, bool throughIndex) {
    QList<QStringList> values(fields.size());
    std::vector<Read> reads;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        Read read;
        read.table = table;
        read.sql = QStringLiteral("SELECT DISTINCT %1 FROM %2 WHERE %1<>''")
                       .arg(quoted(fields[i]), quoted(table));
        for (const Tables::Index& index : Tables::indexes())
            if (throughIndex && index.table.compare(table, Qt::CaseInsensitive) == 0 &&
                index.field.compare(fields[i], Qt::CaseInsensitive) == 0)
                read.sql = engine().distinctThroughIndex(index.table, index.field);
        read.take = [&values, i](QSqlQuery& q, const Stamp&) {
            while (q.next())
                values[i] << q.value(0).toString();
        };
        reads.push_back(std::move(read));
    }
    readTogether(reads);
    return values;
}

// A stamp of table whose version the server gave with other statements.
Stamp stampWith(const QString& table, qint64 version) {
    Connection& c = current();
    Stamp s;
    s.table = c.tableWrites.value(table.toLower());
    s.rollbacks = c.rollbacks;
    s.version = version;
    s.foreign = 0;
    return s;
}

Stamp stamp(const QString& table) {
    Connection& c = current();
    Stamp s;
    s.table = c.tableWrites.value(table.toLower());
    s.rollbacks = c.rollbacks;
    QSqlDatabase db = connection();
    c.engine().stamp(db, table, c.viewChanges, s);
    return s;
}

namespace {
// Runs word (a transaction's) with the stamps of tables, on a server asked just before it in the
// same round trip; none without stamps.
void runWithStamps(const QStringList& tables, std::vector<Stamp>* stamps, const QString& word) {
    Connection& c = current();
    QSqlQuery q(connection());
    q.setForwardOnly(true);
    const QString ask = stamps ? c.engine().stampsQuery(tables) : QString();
    if (ask.isEmpty()) {
        exec(q, word);
        if (stamps)
            for (const QString& table : tables)
                stamps->push_back(stamp(table));
        return;
    }
    Versions versions;
    const QString text = ask + QStringLiteral("; ") + word;
    c.run(q, &text, [&] {
        versions = readVersions(q);
        return q.nextResult();
    });
    for (const QString& table : tables)
        stamps->push_back(stampWith(table, versions.value(table.toLower(), -1)));
}
} // namespace

void noteWrite(const QString& table, int rows) {
    if (rows <= 0)
        return;
    Connection& c = current();
    c.viewChanges += rows;
    ++c.tableWrites[table.toLower()];
}

void exec(QSqlQuery& query) {
    current().run(query, nullptr);
}

void exec(QSqlQuery& query, const QString& sql) {
    current().run(query, &sql);
}

Statement::Statement(const QString& sql) : sql_(sql) {
    Connection& c = current();
    const QSqlDatabase db = connection(); // may open it again
    query_ = std::make_unique<QSqlQuery>(db);
    query_->setForwardOnly(true);
    if (!c.engine().valuesInText())
        query_->prepare(sql); // a failure shows when it runs
}

void Statement::bind(const QVariantList& values) {
    values_ = values;
    if (!current().engine().valuesInText())
        for (int i = 0; i < values.size(); ++i)
            query_->bindValue(i, values[i]);
}

Statement::~Statement() {
    query_->finish();
}

void Statement::exec(const QString& table, Stamp* before, Stamp* after) {
    Connection& c = current();
    const QString stamps = before || after ? c.engine().stampsQuery({table}) : QString();
    if (stamps.isEmpty()) {
        if (before)
            *before = stamp(table);
        if (c.engine().valuesInText()) {
            const QString text = withValues(sql_, values_, *query_->driver());
            c.run(*query_, &text);
        } else {
            c.run(*query_, nullptr);
        }
        affected_ = query_->numRowsAffected();
        if (after) {
            noteWrite(table, affected_);
            *after = stamp(table);
        }
        return;
    }
    QString text = withValues(sql_, values_, *query_->driver());
    if (before)
        text = stamps + QStringLiteral("; ") + text;
    if (after)
        text += QStringLiteral("; ") + stamps;
    Versions was, now;
    c.run(*query_, &text, [&] {
        if (before) {
            was = readVersions(*query_);
            if (!query_->nextResult())
                return false;
        }
        affected_ = query_->numRowsAffected();
        if (after) {
            if (!query_->nextResult())
                return false;
            now = readVersions(*query_);
        }
        return true;
    });
    if (before)
        *before = stampWith(table, was.value(table.toLower(), -1));
    if (after) {
        noteWrite(table, affected_);
        *after = stampWith(table, now.value(table.toLower(), -1));
    }
}

void readTogether(const std::vector<Read>& reads) {
    Connection& c = current();
    if (!c.engine().valuesInText()) { // nothing travels
        for (const Read& read : reads) {
            Statement q(read.sql);
            q.bind(read.values);
            Stamp s;
            q.exec(read.table, &s);
            read.take(*q, s);
        }
        return;
    }
    QSqlQuery q(connection());
    q.setForwardOnly(true);
    QStringList tables, texts;
    for (const Read& read : reads) {
        tables << read.table;
        texts << withValues(read.sql, read.values, *q.driver());
    }
    const QString text =
        c.engine().stampsQuery(tables) + QStringLiteral("; ") + texts.join(QStringLiteral("; "));
    Versions versions;
    c.run(q, &text, [&] {
        versions = readVersions(q);
        return q.nextResult();
    });
    for (size_t i = 0; i < reads.size(); ++i) {
        if (i > 0 && !q.nextResult())
            return;
        reads[i].take(q, stampWith(reads[i].table, versions.value(reads[i].table.toLower(), -1)));
    }
}

Snapshot::Snapshot() {
    const QString begin = engine().snapshotBegin();
    if (begin.isEmpty() || current().depth > 0)
        return;
    QSqlQuery q(connection());
    exec(q, begin);
    ++current().depth;
    began_ = true;
}

Snapshot::~Snapshot() {
    if (!began_)
        return;
    Connection& c = current();
    --c.depth;
    if (c.lost || !c.isOpen())
        return;
    QSqlQuery q(connection());
    const Deadline::Wait wait(q);
    q.exec(QStringLiteral("COMMIT")); // only read: nothing to keep or lose
}

// On the server the outermost level is a transaction of its own (a savepoint needs one);
// SQLite starts one with the savepoint.
Transaction::Transaction(const QStringList& tables, std::vector<Stamp>* stamps)
    : name_(QStringLiteral("vorn_%1").arg(++current().savepoints)) {
    requirePagesChecked();
    connection(); // one found gone is opened again now, not under a beginning held back
    Connection& c = current();
    const QString begin = c.engine().outermostBegin();
    outermost_ = !begin.isEmpty() && c.depth == 0;
    ++c.depth;
    if (!outermost_) {
        runWithStamps(tables, stamps, QStringLiteral("SAVEPOINT ") + name_);
        return;
    }
    // The server's: sent with the first statement in it. The stamps go first: a failure there
    // leaves no transaction begun.
    const QString ask = stamps ? c.engine().stampsQuery(tables) : QString();
    c.pendingBegin = ask.isEmpty() ? begin : ask + QStringLiteral("; ") + begin;
    c.begun = [tables, stamps, asked = !ask.isEmpty()](QSqlQuery& q) {
        if (!asked)
            return true;
        const Versions versions = readVersions(q);
        stamps->clear(); // the first ones; a connection opened again sends the beginning again
        for (const QString& table : tables)
            stamps->push_back(stampWith(table, versions.value(table.toLower(), -1)));
        return q.nextResult();
    };
}

Transaction::~Transaction() {
    if (done_)
        return;
    Connection& c = current();
    c.depth = std::max(0, c.depth - 1); // a connection found gone counted none left
    ++c.rollbacks;                      // views that took their own writes for done must read again
    // Never begun, or a connection found gone took it with it: nothing to undo, no waiting.
    if (outermost_ && !c.pendingBegin.isEmpty()) {
        c.pendingBegin.clear();
        return;
    }
    if (!c.isOpen() || c.lost)
        return;
    QSqlQuery q(connection());
    const Deadline::Wait wait(q);
    if (outermost_) {
        q.exec(QStringLiteral("ROLLBACK"));
    } else { // SQLite runs the first statement of a text only
        q.exec(QStringLiteral("ROLLBACK TO ") + name_);
        q.exec(QStringLiteral("RELEASE ") + name_);
    }
}

void Transaction::commit(const QStringList& tables, std::vector<Stamp>* stamps,
                         const std::vector<Write>& writes) {
    Connection& c = current();
    if (!c.engine().valuesInText()) {
        for (const Write& write : writes) {
            Statement q(write.sql);
            q.bind(write.values);
            q.exec();
            write.take(*q);
        }
    } else if (!writes.empty()) {
        // Together, but not with the commit: a server that answers too late must not commit
        // what the user was told was not saved.
        QSqlQuery q(connection());
        q.setForwardOnly(true);
        QStringList texts;
        for (const Write& write : writes)
            texts << withValues(write.sql, write.values, *q.driver());
        const QString text = texts.join(QStringLiteral("; "));
        c.run(q, &text, [&] {
            for (size_t i = 0; i < writes.size(); ++i) {
                if (i > 0 && !q.nextResult())
                    return false;
                writes[i].take(q);
            }
            return true;
        });
    }
    // Asked before the commit, they hold this transaction's writes and no later ones.
    runWithStamps(tables, stamps,
                  outermost_ ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE ") + name_);
    done_ = true;
    c.depth = std::max(0, c.depth - 1);
}

} // namespace Database
