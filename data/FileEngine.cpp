#include "data/FileEngine.h"

#include "data/Connection.h"
#include "data/Content.h"
#include "data/FileCopy.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace Database {

namespace {

QString createTableSql(const Tables::Table& t) {
    QStringList columns;
    for (const QString& f : t.fields)
        columns << quoted(f) + QStringLiteral(" TEXT");
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quoted(t.name), columns.join(QStringLiteral(", ")));
}

// As SQLite keeps it in the schema; ifMissing adds the clause used when creating.
QString indexSql(const Tables::Index& index, bool ifMissing = false) {
    return QStringLiteral("CREATE INDEX %1%2 ON %3 (%4)")
        .arg(ifMissing ? QStringLiteral("IF NOT EXISTS ") : QString(), quoted(index.name),
             quoted(index.table), quoted(index.field));
}

void createIndexes(QSqlDatabase& db) {
    QSqlQuery q(db);
    for (const Tables::Index& index : Tables::indexes())
        exec(q, indexSql(index, true));
}

void createSchema(QSqlDatabase& db) {
    QSqlQuery q(db);
    for (const Tables::Table& t : Tables::all())
        exec(q, createTableSql(t));
    createIndexes(db);
    addDelivered(db);
}

} // namespace

// Builds the delivered database beside the final path and renames it into place, so an
// interrupted first run never leaves a half-made file behind.
QString FileEngine::createFile(const QString& path) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return QString::fromUtf8("پوشهٔ %1 ساخته نشد.")
            .arg(QDir::toNativeSeparators(info.absolutePath()));
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
                exec(q, QStringLiteral("PRAGMA journal_mode=DELETE"));
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
        error = QString::fromUtf8("نام‌گذاری پرونده ممکن نشد.");
    if (!error.isEmpty())
        QFile::remove(temp);
    return error;
}

namespace {

// Why a path is not a regular file that can be read: a FIFO or a device would block or never
// end, a directory is no file, and a link to nothing is not "no database yet".
QString notARegularFile(const QString& path) {
    std::error_code error;
    const std::filesystem::path p(path.toStdString());
    const auto link = std::filesystem::symlink_status(p, error);
    if (error || !std::filesystem::exists(link))
        return QString::fromUtf8("این پرونده وجود ندارد.");
    const auto target = std::filesystem::status(p, error);
    if (std::filesystem::is_symlink(link) && (error || !std::filesystem::exists(target)))
        return QString::fromUtf8(
            "این مسیر پیوندی است به پرونده‌ای که وجود ندارد.");
    if (!std::filesystem::is_regular_file(target))
        return QString::fromUtf8("این مسیر یک پروندهٔ معمولی نیست (پوشه، پیوند یا دستگاه است).");
    return {};
}

// Why an existing file is no VORN database, or empty when it is one.
QString whyForeign(const QString& path) {
    if (const QString why = notARegularFile(path); !why.isEmpty())
        return why;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString::fromUtf8("پرونده خوانده نمی‌شود: %1")
            .arg(f.errorString());
    static const QByteArray magic("SQLite format 3\0", 16);
    const QByteArray header = f.read(100);
    if (!header.startsWith(magic) || header.size() < 100)
        return QString::fromUtf8("این پرونده پایگاه دادهٔ VORN نیست (قالب آن شناخته نشد).");
    // Bytes 18 and 19 are 1 for a rollback journal; 2 (WAL) would make SQLite write files
    // beside it just to read it.
    if (header[18] != 1 || header[19] != 1)
        return QString::fromUtf8("این پرونده پایگاه دادهٔ VORN نیست (به شیوهٔ دیگری نوشته شده است).");
    return {};
}

QString simplifiedSql(const QString& sql) {
    return sql.simplified().toLower();
}

// Why the file's schema is not exactly a VORN database: the four tables with their fields and
// nothing else but the program's own indexes. A view or a trigger in a restored file would
// run inside every later registration.
QString schemaProblem(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master")))
        return q.lastError().text();
    QStringList found, wrong, foreign;
    while (q.next()) {
        const QString type = q.value(0).toString();
        const QString name = q.value(1).toString();
        const QString sql = simplifiedSql(q.value(3).toString());
        if (type == QLatin1String("table")) {
            const auto& tables = Tables::all();
            const auto t = std::find_if(tables.begin(), tables.end(), [&](const Tables::Table& t) {
                return t.name.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (t == tables.end())
                foreign << QString::fromUtf8("جدول %1").arg(name);
            else if (sql != simplifiedSql(createTableSql(*t)))
                wrong << t->name;
            else
                found << t->name;
        } else if (type == QLatin1String("index")) {
            const auto& indexes = Tables::indexes();
            const bool ours = std::any_of(indexes.begin(), indexes.end(), [&](auto& i) {
                return name == i.name && sql == simplifiedSql(indexSql(i));
            });
            if (!ours)
                foreign << QString::fromUtf8("نمایه %1").arg(name);
        } else {
            foreign << (type == QLatin1String("view") ? QString::fromUtf8("نمای %1").arg(name)
                        : type == QLatin1String("trigger") ? QString::fromUtf8("ماشه %1").arg(name)
                                                           : type + QLatin1Char(' ') + name);
        }
    }
    QStringList missing;
    for (const Tables::Table& t : Tables::all())
        if (!found.contains(t.name) && !wrong.contains(t.name))
            missing << t.name;
    if (!missing.isEmpty())
        return QString::fromUtf8(
                   "این پرونده پایگاه دادهٔ VORN نیست: جدول‌های %1 در آن نیست.")
            .arg(missing.join(QStringLiteral("، ")));
    if (!wrong.isEmpty())
        return QString::fromUtf8(
                   "این پرونده پایگاه دادهٔ VORN نیست: جدول‌های %1 ستون‌های دیگری دارند.")
            .arg(wrong.join(QStringLiteral("، ")));
    if (!foreign.isEmpty())
        return QString::fromUtf8(
                   "این پرونده پایگاه دادهٔ VORN نیست: چیزهایی در آن هست که VORN نساخته است "
                   "(%1).")
            .arg(foreign.join(QStringLiteral("، ")));
    return {};
}

// SQLite's own check of every page, then the schema: what both the restore of a backup and the
// opening of the clinic's database demand before anything is written.
QString refusal(const QString& path, const QString& problem) {
    return QString::fromUtf8(
               "پایگاه داده باز نشد.\n\nپرونده: %1\nمشکل: %2\n\nبرنامه بسته می‌شود و این "
               "پرونده تغییری نمی‌کند. اگر پرونده آسیب دیده است، آخرین نسخهٔ پشتیبان را "
               "بازیابی کنید.")
        .arg(QDir::toNativeSeparators(path), problem);
}

// SQLite's whole check: every page, and every index against its table (the quick one never
// compares them, so a damaged index would pass and be written to).
QString checkPages(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next())
        return QString::fromUtf8("پرونده ناقص یا خراب است (%1).").arg(q.lastError().text());
    if (q.value(0).toString() != QLatin1String("ok"))
        return QString::fromUtf8("پرونده ناقص یا خراب است (%1).").arg(q.value(0).toString());
    return {};
}

QString inspect(QSqlDatabase& db) {
    if (const QString problem = checkPages(db); !problem.isEmpty())
        return problem;
    return schemaProblem(db);
}

bool hasAllIndexes(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index'")) ||
        !q.next())
        return false;
    return q.value(0).toInt() == int(Tables::indexes().size());
}

// The page check beside, on a thread of the pool: a read-only connection of its own.
QString pagesRefusalOf(const QString& path) {
    const QString problem = FileEngine::readOnly(path, QStringLiteral("vorn-pages"), checkPages);
    return problem.isEmpty() ? QString() : refusal(path, problem);
}

std::function<void(int)> eachBlock(const std::function<void()>& between) {
    return [between](int) {
        if (between)
            between();
    };
}

} // namespace

QString FileEngine::readOnly(const QString& path, const QString& name,
                             const std::function<QString(QSqlDatabase&)>& use) {
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        result = db.open() ? use(db) : db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

QString FileEngine::checkFile(const QString& path) {
    if (const QString why = whyForeign(path); !why.isEmpty())
        return why;
    return readOnly(path, QStringLiteral("vorn-check"), inspect);
}

FileEngine::FileEngine(const QString& path, bool checkBeside, qint64 checkedAt)
    : path_(path), checkBeside_(checkBeside), checkedAt_(checkedAt) {}

QString FileEngine::checkedPath(const QString& path) {
    return path + QStringLiteral(".checked");
}

namespace {

// What tells one state of a file from another: any write changes its time, a copy or a restore
// its inode. A record is for one state: a session that writes and then ends in the middle of
// its work (killed, the power gone) leaves a file the record no longer fits.
QString fileState(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return QStringLiteral("%1 %2.%3 %4 %5")
        .arg(qint64(st.st_size))
        .arg(qint64(st.st_mtim.tv_sec))
        .arg(qint64(st.st_mtim.tv_nsec))
        .arg(quint64(st.st_dev))
        .arg(quint64(st.st_ino));
}

// When every page of the file at path was last found whole, if the record beside it says so for
// the file as it is now, within the week, with no journal left by a session that ended in the
// middle of a write; else 0.
qint64 trustedCheck(const QString& path) {
    QFile record(FileEngine::checkedPath(path));
    if (QFileInfo::exists(path + QStringLiteral("-journal")) || record.size() > 200 ||
        !record.open(QIODevice::ReadOnly))
        return 0;
    const QStringList fields = QString::fromLatin1(record.readAll()).trimmed().split('\n');
    const qint64 checkedAt = fields.value(1).toLongLong();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (fields.value(0) != fileState(path) || fields.value(0).isEmpty() || checkedAt > now ||
        now - checkedAt > FileEngine::TrustedSeconds)
        return 0;
    return checkedAt;
}

} // namespace

// Closed cleanly: the record says when every page was last found whole, for the file as this
// session leaves it. A check that failed, or never ran, leaves no record.
void FileEngine::closed() {
    if (path_.isEmpty())
        return;
    if (checkBeside_) {
        if (!started_ || !check_.result().isEmpty())
            return;
    }
    if (checkedAt_ <= 0 || QFileInfo::exists(path_ + QStringLiteral("-journal")))
        return;
    QSaveFile record(checkedPath(path_));
    if (record.open(QIODevice::WriteOnly)) {
        record.write(
            (fileState(path_) + QLatin1Char('\n') + QString::number(checkedAt_) + QLatin1Char('\n'))
                .toLatin1());
        record.commit();
    }
}

FileEngine::~FileEngine() {
    if (started_)
        check_.waitForFinished();
}

OpenResult FileEngine::open(const QString& path, PageCheck check, std::unique_ptr<Engine>* engine) {
    OpenResult result;
    result.path = path;
    const QFileInfo info(result.path);

    if (!info.exists() && !info.isSymLink()) {
        if (const QString error = createFile(result.path); !error.isEmpty()) {
            result.message = QString::fromUtf8("پایگاه دادهٔ تازه در %1 ساخته نشد: %2")
                                 .arg(QDir::toNativeSeparators(result.path), error);
            return result;
        }
        result.status = OpenResult::Created;
        result.message = QString::fromUtf8("این نخستین اجرای برنامه در این پوشه است. پایگاه دادهٔ "
                                           "تازه‌ای "
                                           "در این مسیر ساخته شد:\n%1")
                             .arg(QDir::toNativeSeparators(result.path));
    } else if (const QString why = whyForeign(result.path); !why.isEmpty()) {
        result.message = refusal(result.path, why);
        return result;
    } else if (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable()) {
        result.message = refusal(
            result.path,
            QString::fromUtf8(
                "پرونده یا پوشهٔ آن برای نوشتن باز نمی‌شود."));
        return result;
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection::Name);
    db.setDatabaseName(result.path);
    QString problem;
    if (!db.open()) {
        problem = db.lastError().text();
    } else {
        if (result.status != OpenResult::Created) {
            // Making the indexes writes: only a file whose pages have passed gets them.
            if (check == PageCheck::Beside && hasAllIndexes(db)) {
                problem = schemaProblem(db);
            } else {
                problem = inspect(db);
                check = PageCheck::Before;
            }
        }
        QSqlQuery q(db);
        // DELETE journal: the whole database stays one file that backup can copy.
        if (problem.isEmpty() && (!q.exec(QStringLiteral("PRAGMA journal_mode=DELETE")) ||
                                  !q.exec(QStringLiteral("PRAGMA foreign_keys=OFF")) ||
                                  !q.exec(QStringLiteral("PRAGMA synchronous=FULL")) ||
                                  !q.exec(QStringLiteral("PRAGMA busy_timeout=2000"))))
            problem = q.lastError().text();
        if (problem.isEmpty()) {
            try {
                createIndexes(db); // a file from before the indexes gets them; no row changes
            } catch (const DataError& e) {
                problem = e.message();
            }
        }
    }
    if (!problem.isEmpty()) {
        Connection::current().close();
        result.status = OpenResult::Refused;
        result.message = refusal(result.path, problem);
        return result;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    qint64 checkedAt = now; // made now, or checked before this returned
    if (result.status != OpenResult::Created) {
        result.status = OpenResult::Opened;
        if (check == PageCheck::Beside) {
            checkedAt = trustedCheck(result.path);
            result.pagesTrusted = checkedAt > 0;
            if (!result.pagesTrusted)
                checkedAt = now; // if the check beside passes
        }
    }
    engine->reset(new FileEngine(result.path,
                                 result.status == OpenResult::Opened &&
                                     check == PageCheck::Beside && !result.pagesTrusted,
                                 checkedAt));
    return result;
}

QString FileEngine::sameText(const QString& column, const QString& other) const {
    return QStringLiteral("%1 = %2").arg(column, other);
}

QString FileEngine::sameText(const QString& column, const QVariant& value,
                             QVariantList& binds) const {
    binds << value;
    return sameText(column, QStringLiteral("?"));
}

QString FileEngine::byteLength(const QString& expression) const {
    return QStringLiteral("LENGTH(CAST(%1 AS BLOB))").arg(expression);
}

QStringList FileEngine::storedColumns(QSqlDatabase& db, const QString& table) const {
    QSqlQuery q(db);
    exec(q, QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table)));
    QStringList names;
    while (q.next())
        names << q.value(1).toString();
    return names;
}

// The smallest text above the one before, each a seek of the index (SQLite's min() goes by it).
QString FileEngine::distinctThroughIndex(const QString& table, const QString& field) const {
    return QStringLiteral("WITH RECURSIVE d(v) AS (SELECT (SELECT min(%1) FROM %2 WHERE %1 > '') "
                          "UNION ALL SELECT (SELECT min(%1) FROM %2 WHERE %1 > d.v) FROM d "
                          "WHERE d.v IS NOT NULL) SELECT v FROM d WHERE v IS NOT NULL")
        .arg(quoted(field), quoted(table));
}

void FileEngine::fail(const QSqlError& error, bool) const {
    throw DataError(error.text());
}

void FileEngine::stamp(QSqlDatabase& db, const QString&, qint64 viewChanges, Stamp& s) const {
    QSqlQuery q(db);
    exec(q, QStringLiteral("SELECT total_changes()"));
    if (q.next())
        s.foreign = q.value(0).toLongLong() - viewChanges;
    exec(q, QStringLiteral("PRAGMA data_version"));
    if (q.next())
        s.version = q.value(0).toLongLong();
}

// Started when first waited for: the program shows its window first.
void FileEngine::startPagesCheck() {
    if (!checkBeside_ || started_)
        return;
    started_ = true;
    watcher_ = std::make_unique<QFutureWatcher<QString>>();
    // Told from the application's queue, not from the watcher's signal: a waiting window may
    // close the database, and this engine with its watcher.
    QObject::connect(watcher_.get(), &QFutureWatcherBase::finished, watcher_.get(),
                     [this, watcher = QPointer<QObject>(watcher_.get())] {
                         QMetaObject::invokeMethod(
                             QCoreApplication::instance(),
                             [this, watcher] {
                                 if (watcher)
                                     tellWaiting();
                             },
                             Qt::QueuedConnection);
                     });
    check_ = QtConcurrent::run(pagesRefusalOf, path_);
    watcher_->setFuture(check_);
}

void FileEngine::tellWaiting() {
    if (!check_.isFinished())
        return;
    const QString refusal = check_.result();
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& [context, done] : waiting) // may close the database: no member used after
        if (context)
            done(refusal);
}

void FileEngine::whenPagesChecked(QObject* context, std::function<void(const QString&)> done) {
    if (!checkBeside_) {
        done({});
        return;
    }
    startPagesCheck();
    waiting_.emplace_back(QPointer<QObject>(context), std::move(done));
    tellWaiting();
}

QString FileEngine::pagesRefusal() {
    if (!checkBeside_)
        return {};
    startPagesCheck();
    return check_.result();
}

QString FileEngine::backupTo(const QString& target, const std::function<void()>& between) {
    const Backup::CopyResult copied = Backup::copyInBlocks(path_, target, eachBlock(between));
    return copied.ok ? QString() : copied.error;
}

// The copy is renamed over the file with the connection closed, which ends this engine: only
// what was given is used after close().
QString FileEngine::restoreFrom(const QString& source, const QString& programFolder,
                                const std::function<void()>& between) {
    const QString path = filePath(programFolder);
    Database::close();
    const Backup::CopyResult copied = Backup::copyInBlocks(source, path, eachBlock(between));
    if (copied.ok)
        QFile::remove(path + QStringLiteral("-journal")); // it belonged to the old file
    Database::open(programFolder);
    return copied.ok ? QString() : copied.error;
}

} // namespace Database
