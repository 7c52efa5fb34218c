#include "Database.h"

#include "Content.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace Database {

namespace {

const QString kConnection = QStringLiteral("vorn");

QString tr(const char* text) {
    return QString::fromUtf8(text);
}

void execOrThrow(QSqlQuery& q, const QString& sql) {
    if (!q.exec(sql))
        throw DataError(q.lastError().text());
}

void createSchema(QSqlDatabase& db) {
    QSqlQuery q(db);
    for (const Tables::Table& t : Tables::all()) {
        QStringList columns;
        for (const QString& f : t.fields)
            columns << quoted(f) + QStringLiteral(" TEXT");
        execOrThrow(q, QStringLiteral("CREATE TABLE %1 (%2)")
                           .arg(quoted(t.name), columns.join(QStringLiteral(", "))));
    }
    q.prepare(QStringLiteral("INSERT INTO \"QUS\" (\"ID\", \"QU\") VALUES (?, ?)"));
    for (int i = 0; i < Tables::ItemCount; ++i) {
        q.addBindValue(QString::number(i + 1));
        q.addBindValue(Tables::itemTexts()[size_t(i)]);
        exec(q);
    }
    q.prepare(
        QStringLiteral("INSERT INTO \"Theme\" (\"TH\", \"Name\", \"Adress\") VALUES (?, '', '')"));
    q.addBindValue(QString::fromLatin1(Tables::DefaultTheme));
    exec(q);
}

// Builds the delivered database beside the final path and renames it into place, so an
// interrupted first run never leaves a half-made file behind.
QString createFile(const QString& path) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return tr("پوشهٔ %1 ساخته نشد.").arg(QDir::toNativeSeparators(info.absolutePath()));
    const QString temp = path + QStringLiteral(".new");
    QFile::remove(temp);
    QString error;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("vorn-create"));
        db.setDatabaseName(temp);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            try {
                QSqlQuery q(db);
                execOrThrow(q, QStringLiteral("PRAGMA journal_mode=DELETE"));
                q.finish();
                db.transaction();
                createSchema(db);
                if (!db.commit())
                    error = db.lastError().text();
            } catch (const DataError& e) {
                error = e.message();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("vorn-create"));
    if (error.isEmpty() && !QFile::rename(temp, path))
        error = tr("نام‌گذاری پرونده ممکن نشد.");
    if (!error.isEmpty())
        QFile::remove(temp);
    return error;
}

// Why an existing file is no VORN database, or empty when it is one.
QString whyForeign(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return tr("پرونده خوانده نمی‌شود: %1").arg(f.errorString());
    static const QByteArray magic("SQLite format 3\0", 16);
    if (f.read(16) != magic)
        return tr("این پرونده پایگاه دادهٔ VORN نیست (قالب آن شناخته نشد).");
    return {};
}

QString missingTables(QSqlDatabase& db) {
    QStringList missing;
    QSqlQuery q(db);
    for (const Tables::Table& t : Tables::all()) {
        if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(t.name))))
            return q.lastError().text();
        QStringList have;
        while (q.next())
            have << q.value(1).toString().toLower();
        bool complete = !have.isEmpty();
        for (const QString& field : t.fields)
            complete = complete && have.contains(field.toLower());
        if (!complete)
            missing << t.name;
    }
    if (missing.isEmpty())
        return {};
    return tr("این پرونده پایگاه دادهٔ VORN نیست: جدول‌های %1 در "
              "آن "
              "نیست "
              "یا "
              "کامل "
              "نیست.")
        .arg(missing.join(QStringLiteral("، ")));
}

QString refusal(const QString& path, const QString& problem) {
    return tr("پایگاه داده باز نشد.\n\nپرونده: %1\nمشکل: %2\n\nبرنامه بسته "
              "می‌شود "
              "و "
              "این "
              "پرونده تغییری نمی‌کند.")
        .arg(QDir::toNativeSeparators(path), problem);
}

int savepointCounter = 0;
qint64 rollbackCount = 0;
qint64 viewChanges = 0;
QHash<QString, qint64> tableWrites;

} // namespace

QString filePath(const QString& programFolder) {
    return QDir(programFolder).filePath(QStringLiteral("DBVORN/DBVORN.mdb"));
}

QString quoted(const QString& name) {
    QString n = name;
    return QLatin1Char('"') + n.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

OpenResult open(const QString& programFolder) {
    close();
    OpenResult result;
    result.path = QFileInfo(filePath(programFolder)).absoluteFilePath();
    const QFileInfo info(result.path);

    if (!info.exists()) {
        if (const QString error = createFile(result.path); !error.isEmpty()) {
            result.message = tr("پایگاه دادهٔ تازه در %1 ساخته نشد: %2")
                                 .arg(QDir::toNativeSeparators(result.path), error);
            return result;
        }
        result.status = OpenResult::Created;
        result.message = tr("این نخستین اجرای برنامه در این پوشه است. پایگاه دادهٔ "
                            "تازه‌ای "
                            "در این مسیر ساخته شد:\n%1")
                             .arg(QDir::toNativeSeparators(result.path));
    } else if (!info.isFile()) {
        result.message = refusal(result.path, tr("این مسیر یک پرونده نیست."));
        return result;
    } else if (const QString why = whyForeign(result.path); !why.isEmpty()) {
        result.message = refusal(result.path, why);
        return result;
    } else if (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable()) {
        result.message = refusal(
            result.path,
            tr("پرونده یا پوشهٔ آن برای نوشتن باز نمی‌شود."));
        return result;
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
    db.setDatabaseName(result.path);
    QString problem;
    if (!db.open()) {
        problem = db.lastError().text();
    } else {
        problem = missingTables(db);
        QSqlQuery q(db);
        // DELETE journal: the whole database stays one file that backup can copy.
        if (problem.isEmpty() && (!q.exec(QStringLiteral("PRAGMA journal_mode=DELETE")) ||
                                  !q.exec(QStringLiteral("PRAGMA foreign_keys=OFF")) ||
                                  !q.exec(QStringLiteral("PRAGMA synchronous=FULL")) ||
                                  !q.exec(QStringLiteral("PRAGMA busy_timeout=2000"))))
            problem = q.lastError().text();
    }
    if (!problem.isEmpty()) {
        close();
        result.status = OpenResult::Refused;
        result.message = refusal(result.path, problem);
        return result;
    }
    if (result.status != OpenResult::Created)
        result.status = OpenResult::Opened;
    return result;
}

Stamp stamp(const QString& table) {
    QSqlQuery q(connection());
    Stamp s;
    s.table = tableWrites.value(table.toLower());
    s.rollbacks = rollbackCount;
    execOrThrow(q, QStringLiteral("SELECT total_changes()"));
    if (q.next())
        s.foreign = q.value(0).toLongLong() - viewChanges;
    execOrThrow(q, QStringLiteral("PRAGMA data_version"));
    if (q.next())
        s.version = q.value(0).toLongLong();
    return s;
}

void noteWrite(const QString& table, int rows) {
    if (rows <= 0)
        return;
    viewChanges += rows;
    ++tableWrites[table.toLower()];
}

QString checkFile(const QString& path) {
    if (const QString why = whyForeign(path); !why.isEmpty())
        return why;
    const QString name = QStringLiteral("vorn-check");
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            problem = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
                problem = q.lastError().text();
            else if (q.value(0).toString() != QLatin1String("ok"))
                problem = tr("پرونده ناقص یا خراب است (%1).").arg(q.value(0).toString());
            q.finish();
            if (problem.isEmpty())
                problem = missingTables(db);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

void close() {
    if (QSqlDatabase::contains(kConnection)) {
        QSqlDatabase::database(kConnection, false).close();
        QSqlDatabase::removeDatabase(kConnection);
    }
}

bool isOpen() {
    return QSqlDatabase::contains(kConnection) &&
           QSqlDatabase::database(kConnection, false).isOpen();
}

QSqlDatabase connection() {
    if (!isOpen())
        throw DataError(tr("پایگاه داده باز نیست."));
    return QSqlDatabase::database(kConnection, false);
}

void exec(QSqlQuery& query) {
    if (!query.exec())
        throw DataError(query.lastError().text());
}

void exec(QSqlQuery& query, const QString& sql) {
    execOrThrow(query, sql);
}

Transaction::Transaction() : name_(QStringLiteral("vorn_%1").arg(++savepointCounter)) {
    QSqlQuery q(connection());
    execOrThrow(q, QStringLiteral("SAVEPOINT ") + name_);
}

Transaction::~Transaction() {
    if (done_ || !isOpen())
        return;
    QSqlQuery q(connection());
    q.exec(QStringLiteral("ROLLBACK TO ") + name_);
    q.exec(QStringLiteral("RELEASE ") + name_);
    ++rollbackCount; // views that took their own writes for done must read again
}

void Transaction::commit() {
    QSqlQuery q(connection());
    execOrThrow(q, QStringLiteral("RELEASE ") + name_);
    done_ = true;
}

} // namespace Database
