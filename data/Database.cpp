#include "data/Database.h"

#include "data/Content.h"
#include "data/Deadline.h"
#include "data/FileCopy.h"
#include "data/Server.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <map>
#include <thread>
#include <vector>

namespace Database {

namespace {

const QString kConnection = QStringLiteral("vorn");

// Runs the statement (the text given, or the one prepared); a failure throws DataError.
void run(QSqlQuery& q, const QString* sql);
// Why a statement failed, for the user; late: the server did not answer within the deadline.
[[noreturn]] void fail(const QSqlQuery& q, bool late);
bool isLost(const QSqlError& error);

void execOrThrow(QSqlQuery& q, const QString& sql) {
    run(q, &sql);
}

QString createTableSql(const Tables::Table& t) {
    QStringList columns;
    for (const QString& f : t.fields)
        columns << quoted(f) + QStringLiteral(" TEXT");
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quoted(t.name), columns.join(QStringLiteral(", ")));
}

// The indexes the program makes itself: a lookup by code, and the records window's searches by
// name and group, never scan a table.
struct Index {
    const char* name;
    const char* table;
    const char* field;
    // As SQLite keeps it in the schema; ifMissing adds the clause used when creating.
    QString sql(bool ifMissing = false) const {
        return QStringLiteral("CREATE INDEX %1%2 ON %3 (%4)")
            .arg(ifMissing ? QStringLiteral("IF NOT EXISTS ") : QString(),
                 quoted(QString::fromLatin1(name)), quoted(QString::fromLatin1(table)),
                 quoted(QString::fromLatin1(field)));
    }
};
const Index kIndexes[] = {{"vorn_ide_code", Tables::Ide, "Code"},
                          {"vorn_answer_code", Tables::Answer, "Code"},
                          {"vorn_ide_lname", Tables::Ide, "LName"},
                          {"vorn_ide_fname", Tables::Ide, "FName"},
                          {"vorn_ide_group", Tables::Ide, "Group"}};

bool isUniqueCode(const Index& index) {
    return QLatin1String(index.name) == QLatin1String("vorn_ide_code");
}

// On the server, the constraint that keeps a subject's code unique, beside the code's index.
QString uniqueName(const Index& index) {
    return QString::fromLatin1(index.name) + QStringLiteral("_unique");
}

// Characters of a text a server index holds: four bytes each at most, within an entry's limit.
constexpr int kPrefix = 600;

void createIndexes(QSqlDatabase& db) {
    QSqlQuery q(db);
    for (const Index& index : kIndexes)
        execOrThrow(q, index.sql(true));
}

// The delivered rows: the item statements and the one Theme row.
void addContent(QSqlDatabase& db) {
    QSqlQuery q(db);
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

void createSchema(QSqlDatabase& db) {
    QSqlQuery q(db);
    for (const Tables::Table& t : Tables::all())
        execOrThrow(q, createTableSql(t));
    createIndexes(db);
    addContent(db);
}

} // namespace

// Builds the delivered database beside the final path and renames it into place, so an
// interrupted first run never leaves a half-made file behind.
QString createFile(const QString& path) {
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
            const bool ours = std::any_of(std::begin(kIndexes), std::end(kIndexes), [&](auto& i) {
                return name == QLatin1String(i.name) && sql == simplifiedSql(i.sql());
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

// What use makes of a read-only connection of its own to the file at path; the driver's error
// when the file does not open.
QString withFile(const QString& path, const QString& name,
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
    return q.value(0).toInt() == int(std::size(kIndexes));
}

// The page check beside: its own read-only connection on a thread of its own.
struct PagesCheck {
    QString path;
    bool started = false;
    std::thread thread;
    std::shared_future<QString> result; // the refusal, or empty
    // Waiting for the result, on the main thread.
    std::vector<std::pair<QPointer<QObject>, std::function<void(const QString&)>>> waiting;
    ~PagesCheck() {
        if (thread.joinable())
            thread.join();
    }
};
std::unique_ptr<PagesCheck> pagesCheck;

bool ready(const std::shared_future<QString>& f) {
    return f.valid() && f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void tellWaiting() {
    if (!pagesCheck || !ready(pagesCheck->result))
        return;
    const QString refusal = pagesCheck->result.get();
    auto waiting = std::move(pagesCheck->waiting);
    pagesCheck->waiting.clear();
    for (auto& [context, done] : waiting)
        if (context)
            done(refusal);
}

// Started when first waited for: the program shows its window first.
void startPagesCheck() {
    if (!pagesCheck || pagesCheck->started)
        return;
    pagesCheck->started = true;
    std::promise<QString> promise;
    pagesCheck->result = promise.get_future().share();
    pagesCheck->thread =
        std::thread([path = pagesCheck->path, promise = std::move(promise)]() mutable {
            const QString problem = withFile(path, QStringLiteral("vorn-pages"), checkPages);
            promise.set_value(problem.isEmpty() ? QString() : refusal(path, problem));
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(app, tellWaiting, Qt::QueuedConnection);
        });
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

QString quotedList(const QStringList& names) {
    QStringList all;
    for (const QString& n : names)
        all << quoted(n);
    return all.join(QLatin1Char(','));
}

// --- The clinic's database on a PostgreSQL server -------------------------------------------

namespace {

Kind currentKind = Kind::File;
int transactionDepth = 0;    // the server needs BEGIN for the outermost level
bool connectionLost = false; // the server's connection broke: the next use opens it again

constexpr auto kRowColumn = "vorn_row";
constexpr auto kStampTable = "vorn_stamp";
constexpr qint64 kCreationLock = 7273911; // one workstation makes the tables at a time

QString describe(const ServerSettings& s) {
    return QStringLiteral("%1@%2:%3/%4").arg(s.user, s.host, QString::number(s.port), s.database);
}

QString serverRefusal(const QString& where, const QString& problem) {
    return QString::fromUtf8(
               "پایگاه داده باز نشد.\n\nسرور: %1\nمشکل: %2\n\nدر پایگاه دادهٔ سرور چیزی "
               "تغییر نکرد.")
        .arg(where, problem);
}

// The password file the client library reads, when it ignores it because others may read it.
QString ignoredPasswordFile() {
    QString path = qEnvironmentVariable("PGPASSFILE");
    if (path.isEmpty())
        path = QDir::home().filePath(QStringLiteral(".pgpass"));
    const QFileInfo info(path);
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return info.isFile() && (info.permissions() & others) ? path : QString();
}

} // namespace

// What the server's client library said, in words a clinic's user can act on: every connection
// error starts "connection to server", so what follows decides.
QString connectionProblem(const QString& text) {
    auto says = [&](const char* words) {
        return text.contains(QLatin1String(words), Qt::CaseInsensitive);
    };
    QString plain;
    if (says("pg_hba.conf"))
        plain = QString::fromUtf8(
            "سرور این اتصال را بنا بر قاعده‌های دسترسی خود (pg_hba.conf) نپذیرفت: مدیر "
            "سرور باید این رایانه، این کاربر و این پایگاه داده را در آن راه بدهد.");
    else if (says("does not support SSL"))
        plain = QString::fromUtf8(
            "رمزگذاری اتصال (TLS) خواسته شده است، اما سرور آن را ارائه نمی‌کند: مدیر "
            "سرور باید TLS را روشن کند.");
    else if (says("root certificate file"))
        plain = QString::fromUtf8(
            "برای وارسی گواهی سرور، گواهی مرجع در پروندهٔ ‎~/.postgresql/root.crt‎ این "
            "کاربر لازم است و آن پرونده نیست.");
    else if (says("does not match host name"))
        plain = QString::fromUtf8(
            "گواهی سرور برای نام دیگری است، نه برای نشانی‌ای که در تنظیمات آمده است.");
    else if (says("certificate verify failed") || says("certificate"))
        plain = QString::fromUtf8(
            "گواهی سرور پذیرفته نشد: مرجعی که در ‎~/.postgresql/root.crt‎ آمده آن را "
            "امضا نکرده است.");
    else if (says("password authentication failed") || says("no password supplied") ||
             (says("role") && says("does not exist"))) {
        const QString ignored = ignoredPasswordFile();
        plain =
            ignored.isEmpty()
                ? QString::fromUtf8(
                      "نام کاربر یا گذرواژه پذیرفته نشد (گذرواژه در پروندهٔ ‎~/.pgpass‎ این "
                      "کاربر نگه داشته می‌شود).")
                : QString::fromUtf8(
                      "پروندهٔ گذرواژه %1 را دیگران هم می‌توانند بخوانند، پس برنامه آن را "
                      "نادیده گرفت. دسترسی آن را تنها برای خودتان بگذارید (chmod 600).")
                      .arg(ignored);
    } else if (says("database") && says("does not exist"))
        plain = QString::fromUtf8(
            "پایگاه داده‌ای به این نام روی سرور نیست.");
    else if (says("connection refused") || says("no such file or directory") ||
             says("timeout expired") || says("could not translate host name") ||
             says("no route to host") || says("network is unreachable") ||
             says("could not connect") || says("is the server running"))
        plain = QString::fromUtf8(
            "سرور در دسترس نیست: نشانی و درگاه را بررسی کنید و ببینید سرور روشن است.");
    else
        plain = QString::fromUtf8("اتصال به سرور ممکن نشد.");
    return plain + QStringLiteral("\n(") + text.trimmed() + QLatin1Char(')');
}

namespace {

// The server's own catalog, not information_schema: its views take milliseconds a question,
// and they are asked at every start.
const QString kRelations = QStringLiteral(
    "FROM pg_class c JOIN pg_namespace n ON c.relnamespace = n.oid WHERE n.nspname = "
    "current_schema() AND c.relkind IN ('r', 'p', 'v', 'm', 'f')");
const QString kColumns = QStringLiteral(
    "SELECT c.relname, a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_attribute a "
    "JOIN pg_class c ON a.attrelid = c.oid JOIN pg_namespace n ON c.relnamespace = n.oid "
    "WHERE n.nspname = current_schema() AND c.relkind = 'r' AND a.attnum > 0 AND NOT "
    "a.attisdropped");

QStringList serverColumns(QSqlDatabase& db, const QString& table) {
    QSqlQuery q(db);
    q.prepare(kColumns + QStringLiteral(" AND c.relname = ? ORDER BY a.attnum"));
    q.addBindValue(table);
    exec(q);
    QStringList names;
    while (q.next())
        names << q.value(1).toString();
    return names;
}

// The objects of the schema beyond tables and columns, one line each (the names of the
// relations in it are checked apart).
const QString kObjects = QStringLiteral(R"(
WITH ns AS (SELECT oid FROM pg_namespace WHERE nspname = current_schema()),
rel AS (SELECT c.* FROM pg_class c WHERE c.relnamespace IN (SELECT oid FROM ns))
SELECT 'index ' || i.relname || ' ' || t.relname || ' ' || am.amname || ' ' || x.indisunique
       || ' ' || (x.indpred IS NULL) || ' ' ||
       (SELECT string_agg(coalesce(a.attname, '*'), ',' ORDER BY k.n) FROM unnest(x.indkey::int2[])
        WITH ORDINALITY k(attnum, n) LEFT JOIN pg_attribute a ON a.attrelid = t.oid
        AND a.attnum = k.attnum) || coalesce(' ' || pg_get_expr(x.indexprs, x.indrelid), '')
  FROM pg_index x JOIN pg_class i ON i.oid = x.indexrelid JOIN rel t ON t.oid = x.indrelid
  JOIN pg_am am ON am.oid = i.relam
UNION ALL
SELECT 'trigger ' || g.tgname || ' ' || t.relname || ' ' || g.tgtype || ' ' || p.proname || ' '
       || (p.pronamespace IN (SELECT oid FROM ns)) || ' ' || g.tgenabled::text || ' '
       || (g.tgqual IS NULL) || ' ' || g.tgnargs
  FROM pg_trigger g JOIN rel t ON t.oid = g.tgrelid JOIN pg_proc p ON p.oid = g.tgfoid
  WHERE NOT g.tgisinternal
UNION ALL
SELECT 'function ' || p.proname || ' ' || p.prokind::text || ' ' || l.lanname || ' '
       || md5(p.prosrc) || ' ' || p.pronargs || ' ' || p.prorettype::regtype::text || ' '
       || p.prosecdef || ' ' || coalesce(array_to_string(p.proconfig, ','), '')
  FROM pg_proc p JOIN pg_language l ON l.oid = p.prolang
  WHERE p.pronamespace IN (SELECT oid FROM ns)
UNION ALL
SELECT 'rule ' || r.rulename FROM pg_rewrite r JOIN rel t ON t.oid = r.ev_class
  WHERE t.relkind = 'r'
UNION ALL
SELECT 'default ' || t.relname || '.' || a.attname || ' ' ||
       CASE WHEN pg_get_expr(d.adbin, d.adrelid) IN (
                 format('nextval(%L::regclass)', quote_ident(t.relname || '_vorn_row_seq')),
                 format('nextval(%L::regclass)', quote_ident(current_schema()) || '.'
                        || quote_ident(t.relname || '_vorn_row_seq')))
            THEN 'serial' ELSE pg_get_expr(d.adbin, d.adrelid) END
  FROM pg_attrdef d JOIN rel t ON t.oid = d.adrelid
  JOIN pg_attribute a ON a.attrelid = d.adrelid AND a.attnum = d.adnum
UNION ALL
SELECT 'constraint ' || k.conname || ' ' || k.contype::text || ' ' || t.relname
       || CASE WHEN k.contype = 'x' THEN ' ' || pg_get_constraintdef(k.oid) ELSE '' END
  FROM pg_constraint k JOIN rel t ON t.oid = k.conrelid
UNION ALL
SELECT 'persistence ' || relname || ' ' || relpersistence::text FROM rel WHERE relpersistence <> 'p'
UNION ALL
SELECT 'sequence ' || relname FROM rel WHERE relkind = 'S'
UNION ALL
SELECT 'composite type ' || relname FROM rel WHERE relkind = 'c'
UNION ALL
SELECT 'row security ' || relname FROM rel WHERE relrowsecurity OR relforcerowsecurity
UNION ALL
SELECT 'policy ' || p.polname FROM pg_policy p JOIN rel t ON t.oid = p.polrelid
UNION ALL
SELECT 'inheritance ' || h.inhrelid::regclass::text || ' ' || h.inhparent::regclass::text
  FROM pg_inherits h WHERE h.inhparent IN (SELECT oid FROM rel)
  OR h.inhrelid IN (SELECT oid FROM rel)
UNION ALL
SELECT 'operator ' || o.oprname FROM pg_operator o WHERE o.oprnamespace IN (SELECT oid FROM ns)
UNION ALL
SELECT 'type ' || y.typname FROM pg_type y WHERE y.typnamespace IN (SELECT oid FROM ns)
  AND y.typtype IN ('b', 'd', 'e', 'r', 'm', 'p') AND y.typcategory <> 'A'
UNION ALL
SELECT 'event trigger ' || evtname FROM pg_event_trigger
)");

constexpr auto kCountBody = " BEGIN UPDATE vorn_stamp SET n = n + 1 WHERE tbl = TG_TABLE_NAME; "
                            "RETURN NULL; END ";

// What the schema must hold, and what it may hold besides (NOT NULL constraints, which newer
// servers list as constraints of their own), in kObjects' words.
// The indexes before texts of any length were stored (kept by earlier versions) are named apart.
enum class Layout { Current, UniqueCodeIndex };

std::pair<QStringList, QStringList> expectedObjects(Layout layout = Layout::Current) {
    QStringList required, allowed;
    const QString body =
        QString::fromLatin1(QCryptographicHash::hash(kCountBody, QCryptographicHash::Md5).toHex());
    required << QStringLiteral("function vorn_count f plpgsql %1 0 trigger false ").arg(body);
    for (const Tables::Table& t : Tables::all()) {
        required
            << QStringLiteral("index %1_pkey %1 btree true true %2").arg(t.name, kRowColumn)
            << QStringLiteral("trigger vorn_count_%1 %1 28 vorn_count true O true 0").arg(t.name)
            << QStringLiteral("default %1.%2 serial").arg(t.name, kRowColumn)
            << QStringLiteral("constraint %1_pkey p %1").arg(t.name)
            << QStringLiteral("sequence %1_%2_seq").arg(t.name, kRowColumn);
        allowed << QStringLiteral("constraint %1_%2_not_null n %1").arg(t.name, kRowColumn);
    }
    for (const Index& index : kIndexes) {
        const QString name = QLatin1String(index.name), table = QLatin1String(index.table),
                      field = QLatin1String(index.field);
        if (layout == Layout::UniqueCodeIndex)
            required << QStringLiteral("index %1 %2 btree %3 true %4%5")
                            .arg(name, table, QLatin1String(isUniqueCode(index) ? "true" : "false"),
                                 field,
                                 isUniqueCode(index) ? QString() : QLatin1String(",") + kRowColumn);
        else
            required << QStringLiteral("index %1 %2 btree false true *,%3 \"left\"(%4, %5)")
                            .arg(name, table, kRowColumn, quoted(field))
                            .arg(kPrefix);
        if (layout == Layout::Current && isUniqueCode(index))
            required << QStringLiteral("index %1 %2 hash false true %3")
                            .arg(uniqueName(index), table, field)
                     << QStringLiteral("constraint %1 x %2 EXCLUDE USING hash (%3 WITH =)")
                            .arg(uniqueName(index), table, quoted(field));
    }
    const QString stamp = QString::fromLatin1(kStampTable);
    required << QStringLiteral("index %1_pkey %1 btree true true tbl").arg(stamp)
             << QStringLiteral("constraint %1_pkey p %1").arg(stamp);
    allowed << QStringLiteral("constraint %1_tbl_not_null n %1").arg(stamp)
            << QStringLiteral("constraint %1_n_not_null n %1").arg(stamp);
    return {required, allowed};
}

// Exactly the program's tables, columns and triggers; anything else is another database.
QString serverSchemaProblem(QSqlDatabase& db, Layout layout = Layout::Current) {
    QSqlQuery q(db);
    execOrThrow(q, QStringLiteral("SELECT c.relname, c.relkind ") + kRelations);
    QStringList foreign, missing, wrong;
    QStringList ours{QString::fromLatin1(kStampTable)};
    for (const Tables::Table& t : Tables::all())
        ours << t.name;
    QStringList found;
    while (q.next()) {
        const QString name = q.value(0).toString();
        if (!ours.contains(name) || q.value(1).toString() != QLatin1String("r"))
            foreign << name;
        else
            found << name;
    }
    for (const QString& name : ours)
        if (!found.contains(name))
            missing << name;
    // Every column of every table, in one question.
    execOrThrow(q, kColumns + QStringLiteral(" ORDER BY c.relname, a.attnum"));
    QHash<QString, std::pair<QStringList, QStringList>> columns; // names, types
    while (q.next()) {
        auto& [names, types] = columns[q.value(0).toString()];
        names << q.value(1).toString();
        types << q.value(2).toString();
    }
    for (const Tables::Table& t : Tables::all()) {
        if (!found.contains(t.name))
            continue;
        const auto& [names, types] = columns[t.name];
        QStringList expected{QString::fromLatin1(kRowColumn)};
        expected << t.fields;
        QStringList expectedTypes{QStringLiteral("bigint")};
        for (qsizetype i = 0; i < t.fields.size(); ++i)
            expectedTypes << QStringLiteral("text");
        if (names != expected || types != expectedTypes)
            wrong << t.name;
    }
    // Everything else the program makes, each described in one line, against what it expects;
    // anything more (a rule, a policy, an inherited table, another function, trigger, index,
    // constraint or default) or anything changed is someone else's.
    if (missing.isEmpty() && wrong.isEmpty()) {
        const auto [required, allowed] = expectedObjects(layout);
        QStringList found;
        execOrThrow(q, kObjects);
        while (q.next())
            found << q.value(0).toString();
        for (const QString& object : found)
            if (!required.contains(object) && !allowed.contains(object))
                foreign << object;
        for (const QString& object : required)
            if (!found.contains(object))
                foreign << QString::fromUtf8("بدون %1").arg(object);
    }
    if (!missing.isEmpty())
        return QString::fromUtf8(
                   "این پایگاه داده از VORN نیست: جدول‌های %1 در آن نیست.")
            .arg(missing.join(QStringLiteral("، ")));
    if (!wrong.isEmpty())
        return QString::fromUtf8(
                   "این پایگاه داده از VORN نیست: جدول‌های %1 ستون‌های دیگری دارند.")
            .arg(wrong.join(QStringLiteral("، ")));
    if (!foreign.isEmpty())
        return QString::fromUtf8(
                   "این پایگاه داده از VORN نیست: چیزهایی در آن هست که VORN نساخته است (%1).")
            .arg(foreign.join(QStringLiteral("، ")));
    return {};
}

// Empty only when no object of any kind is in any schema but the system ones: another program's
// schema, a sequence, a function or a type alone is someone else's database.
bool serverIsEmpty(QSqlDatabase& db) {
    static const QString kSystem = QStringLiteral(
        "(SELECT oid FROM pg_namespace WHERE nspname = 'information_schema' OR nspname LIKE "
        "'pg\\_%')");
    QStringList counts{
        QStringLiteral("(SELECT count(*) FROM pg_namespace WHERE nspname <> 'public' AND oid "
                       "NOT IN %1)")
            .arg(kSystem),
        QStringLiteral("(SELECT count(*) FROM pg_extension WHERE extname <> 'plpgsql')"),
        QStringLiteral("(SELECT count(*) FROM pg_event_trigger)")};
    const QList<QPair<const char*, const char*>> catalogs{
        {"pg_class", "relnamespace"},      {"pg_proc", "pronamespace"},
        {"pg_type", "typnamespace"},       {"pg_operator", "oprnamespace"},
        {"pg_collation", "collnamespace"}, {"pg_conversion", "connamespace"},
        {"pg_ts_config", "cfgnamespace"},  {"pg_ts_dict", "dictnamespace"},
        {"pg_opfamily", "opfnamespace"},   {"pg_statistic_ext", "stxnamespace"}};
    for (const auto& [catalog, ns] : catalogs)
        counts << QStringLiteral("(SELECT count(*) FROM %1 WHERE %2 NOT IN %3)")
                      .arg(QLatin1String(catalog), QLatin1String(ns), kSystem);
    QSqlQuery q(db);
    execOrThrow(q, QStringLiteral("SELECT ") + counts.join(QStringLiteral(" + ")));
    return q.next() && q.value(0).toLongLong() == 0;
}

// What the role and the database must allow before VORN uses them: its schema reachable, the
// database UTF-8, and either the right to make the tables (first use) or to read and write every
// one of them. The problem for the user, or empty.
QString serverRightsProblem(QSqlDatabase& db, bool firstUse) {
    QSqlQuery q(db);
    execOrThrow(
        q, QStringLiteral(
               "SELECT current_schema() IS NOT NULL, (SELECT pg_encoding_to_char(encoding) FROM "
               "pg_database WHERE datname = current_database()), "
               "has_schema_privilege(coalesce(current_schema(), 'public'), 'CREATE'), "
               "coalesce((SELECT bool_and(CASE c.relkind WHEN 'S' THEN "
               "has_sequence_privilege(c.oid, 'USAGE') ELSE has_table_privilege(c.oid, "
               "'SELECT, INSERT, UPDATE, DELETE') END) FROM pg_class c JOIN pg_namespace n ON "
               "c.relnamespace = n.oid WHERE n.nspname = current_schema() AND c.relkind IN "
               "('r', 'S')), true), current_user, current_database()"));
    if (!q.next())
        return QString::fromUtf8("سرور به پرسش برنامه پاسخ نداد.");
    const QString user = q.value(4).toString();
    const QString database = q.value(5).toString();
    if (!q.value(0).toBool())
        return QString::fromUtf8(
                   "کاربر %1 به طرح‌وارهٔ (schema) این پایگاه داده دسترسی ندارد. مدیر سرور باید "
                   "بدهد: GRANT USAGE ON SCHEMA public TO %1;")
            .arg(user);
    if (q.value(1).toString() != QLatin1String("UTF8"))
        return QString::fromUtf8(
                   "پایگاه دادهٔ %1 با UTF-8 ساخته نشده است (%2) و نوشته‌های فارسی را نگه "
                   "نمی‌دارد. مدیر سرور باید آن را از نو بسازد: createdb --owner %3 -E UTF8 -T "
                   "template0 --locale=C.UTF-8 %1")
            .arg(database, q.value(1).toString(), user);
    if (firstUse && !q.value(2).toBool())
        return QString::fromUtf8(
                   "این پایگاه داده خالی است، اما کاربر %1 اجازهٔ ساختن جدول‌های VORN را در آن "
                   "ندارد. مدیر سرور باید او را صاحب پایگاه داده کند: ALTER DATABASE %2 OWNER TO "
                   "%1; (و در PostgreSQL 15 به بعد: ALTER SCHEMA public OWNER TO %1;)")
            .arg(user, database);
    if (!firstUse && !q.value(3).toBool())
        return QString::fromUtf8(
                   "کاربر %1 اجازهٔ خواندن و نوشتن همهٔ جدول‌های VORN را ندارد. مدیر سرور باید "
                   "بدهد: GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO "
                   "%1; GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO %1;")
            .arg(user);
    return {};
}

// A B-tree entry holds about 2,700 bytes, and a name may be longer: the searches go by a prefix
// that always fits (with the row number after it, the rows of one value come in stored order,
// as a view reads them; SQLite's indexes hold its row number that way by themselves). A code is
// also kept unique by a hash, which takes a text of any length.
void createServerIndexes(QSqlQuery& q) {
    for (const Index& index : kIndexes) {
        execOrThrow(q, QStringLiteral("CREATE INDEX %1 ON %2 (left(%3, %4), %5)")
                           .arg(quoted(QString::fromLatin1(index.name)),
                                quoted(QString::fromLatin1(index.table)),
                                quoted(QString::fromLatin1(index.field)))
                           .arg(kPrefix)
                           .arg(QLatin1String(kRowColumn)));
        if (isUniqueCode(index))
            execOrThrow(q, QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT %2 EXCLUDE USING hash "
                                          "(%3 WITH =)")
                               .arg(quoted(QString::fromLatin1(index.table)),
                                    quoted(uniqueName(index)),
                                    quoted(QString::fromLatin1(index.field))));
    }
}

// The four tables, each with the row number the views go by, the indexes (a subject's code is
// unique on the server: two desks cannot give one code twice), the per-table change counter
// and the delivered content, all in one transaction.
void createServerSchema(QSqlDatabase& db) {
    QSqlQuery q(db);
    for (const Tables::Table& t : Tables::all()) {
        QStringList columns{QStringLiteral("%1 bigserial PRIMARY KEY").arg(kRowColumn)};
        for (const QString& f : t.fields)
            columns << quoted(f) + QStringLiteral(" text");
        execOrThrow(q, QStringLiteral("CREATE TABLE %1 (%2)")
                           .arg(quoted(t.name), columns.join(QStringLiteral(", "))));
    }
    createServerIndexes(q);
    execOrThrow(q, QStringLiteral("CREATE TABLE %1 (tbl text PRIMARY KEY, n bigint NOT NULL)")
                       .arg(kStampTable));
    execOrThrow(q, QStringLiteral("CREATE FUNCTION vorn_count() RETURNS trigger LANGUAGE plpgsql "
                                  "AS $$%1$$")
                       .arg(QLatin1String(kCountBody)));
    for (const Tables::Table& t : Tables::all()) {
        q.prepare(QStringLiteral("INSERT INTO %1 (tbl, n) VALUES (?, 0)").arg(kStampTable));
        q.addBindValue(t.name);
        exec(q);
        execOrThrow(q, QStringLiteral("CREATE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE ON %2 "
                                      "FOR EACH STATEMENT EXECUTE FUNCTION vorn_count()")
                           .arg(quoted(QStringLiteral("vorn_count_") + t.name), quoted(t.name)));
    }
    addContent(db);
}

} // namespace

Kind kind() {
    return currentKind;
}

QString rowColumn() {
    return currentKind == Kind::Server ? QString::fromLatin1(kRowColumn) : QStringLiteral("rowid");
}

QString sameText(const QString& column, const QString& other) {
    // The server's indexes hold a prefix: the search names it so that they are used.
    if (currentKind == Kind::Server)
        return QStringLiteral("left(%1, %3) = left(%2, %3) AND %1 = %2")
            .arg(column, other)
            .arg(kPrefix);
    return QStringLiteral("%1 = %2").arg(column, other);
}

QString sameText(const QString& column, const QVariant& value, QVariantList& binds) {
    binds << value;
    // A value shorter than the prefix equals the prefix only when it is the whole text: the
    // planner then sees one condition and estimates it right.
    if (currentKind == Kind::Server && value.toString().size() < kPrefix)
        return QStringLiteral("left(%1, %2) = ?").arg(column).arg(kPrefix);
    if (currentKind == Kind::Server)
        binds << value;
    return sameText(column, QStringLiteral("?"));
}

QString isSame() {
    return currentKind == Kind::Server ? QStringLiteral(" IS NOT DISTINCT FROM ?")
                                       : QStringLiteral(" IS ?");
}

QString returningRow() {
    return currentKind == Kind::Server ? QStringLiteral(" RETURNING ") + rowColumn() : QString();
}

QString byteLength(const QString& expression) {
    return (currentKind == Kind::Server ? QStringLiteral("octet_length(%1)")
                                        : QStringLiteral("LENGTH(CAST(%1 AS BLOB))"))
        .arg(expression);
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
    if (currentKind == Kind::Server) {
        QStringList names = serverColumns(db, *name);
        names.removeAll(QString::fromLatin1(kRowColumn));
        return names;
    }
    QSqlQuery q(db);
    execOrThrow(q, QStringLiteral("PRAGMA table_info(%1)").arg(quoted(*name)));
    QStringList names;
    while (q.next())
        names << q.value(1).toString();
    return names;
}

// A connection named name to the server; the problem for the user, or empty once it is open.
// A server gone quiet is noticed within seconds, not minutes.
QString connectTo(const QString& name, const ServerSettings& s) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    if (!db.isValid())
        return QString::fromUtf8(
            "برنامه برای کار با سرور PostgreSQL به بستهٔ libqt6sql6-psql نیاز دارد که نصب "
            "نیست.");
    db.setHostName(s.host);
    db.setPort(s.port);
    db.setDatabaseName(s.database);
    db.setUserName(s.user);
    // A lock another session holds is waited for no longer than any other answer.
    db.setConnectOptions(QStringLiteral("sslmode=%1;connect_timeout=5;keepalives_idle=5;"
                                        "keepalives_interval=2;keepalives_count=2;"
                                        "tcp_user_timeout=10000;options='-c lock_timeout=%2s'")
                             .arg(s.sslMode)
                             .arg(Deadline::LockSeconds));
    return db.open() ? QString() : connectionProblem(db.lastError().text());
}

// The connection panel's test: a connection of its own, the program's own left as it is.
QString testServer(const ServerSettings& s, bool* usable) {
    *usable = false;
    const QString name = QStringLiteral("vorn-test");
    QString said = connectTo(name, s);
    if (said.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        try {
            const bool empty = serverIsEmpty(db);
            if (const QString problem = serverRightsProblem(db, empty); !problem.isEmpty()) {
                said = problem;
            } else if (empty) {
                said = QString::fromUtf8(
                    "اتصال برقرار است. این پایگاه داده خالی است: VORN در نخستین اجرا "
                    "جدول‌های خود را در آن می‌سازد.");
                *usable = true;
            } else if (const QString problem = serverSchemaProblem(db);
                       !problem.isEmpty() &&
                       !serverSchemaProblem(db, Layout::UniqueCodeIndex).isEmpty()) {
                said = problem; // an earlier version's indexes are replaced at the next start

            } else {
                said = QString::fromUtf8("اتصال برقرار است و این پایگاه دادهٔ VORN است.");
                *usable = true;
            }
        } catch (const DataError& e) {
            said = e.message();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return said;
}

// A database an earlier version made: its indexes took no text longer than an entry holds.
// Replaced in one transaction (the tables are locked meanwhile), then checked like any other.
QString upgradeServerIndexes(QSqlDatabase& db) {
    QSqlQuery q(db);
    execOrThrow(q, QStringLiteral("BEGIN"));
    execOrThrow(q, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kCreationLock));
    if (serverSchemaProblem(db, Layout::UniqueCodeIndex).isEmpty()) {
        for (const Index& index : kIndexes)
            execOrThrow(
                q, QStringLiteral("DROP INDEX %1").arg(quoted(QString::fromLatin1(index.name))));
        createServerIndexes(q);
    }
    execOrThrow(q, QStringLiteral("COMMIT"));
    return serverSchemaProblem(db);
}

OpenResult openServer(const ServerSettings& s) {
    OpenResult result;
    result.server = true;
    result.path = describe(s);
    QString problem = connectTo(kConnection, s);
    if (problem.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(kConnection, false);
        try {
            const bool empty = serverIsEmpty(db);
            problem = serverRightsProblem(db, empty);
            if (problem.isEmpty() && empty) {
                QSqlQuery q(db);
                execOrThrow(q, QStringLiteral("BEGIN"));
                execOrThrow(q,
                            QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kCreationLock));
                if (serverIsEmpty(db)) { // no other workstation made them meanwhile
                    createServerSchema(db);
                    result.status = OpenResult::Created;
                }
                execOrThrow(q, QStringLiteral("COMMIT"));
            }
            if (problem.isEmpty() && result.status != OpenResult::Created)
                problem = serverSchemaProblem(db);
            if (!problem.isEmpty() && serverSchemaProblem(db, Layout::UniqueCodeIndex).isEmpty())
                problem = upgradeServerIndexes(db);
        } catch (const DataError& e) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            problem = e.message();
        }
    }
    if (!problem.isEmpty()) {
        close();
        result.status = OpenResult::Refused;
        result.message = serverRefusal(result.path, problem);
        return result;
    }
    currentKind = Kind::Server;
    if (result.status == OpenResult::Created)
        result.message =
            QString::fromUtf8(
                "پایگاه دادهٔ سرور (%1) نخستین بار به کار رفت: جدول‌های VORN در آن "
                "ساخته شد.")
                .arg(result.path);
    else
        result.status = OpenResult::Opened;
    return result;
}

OpenResult open(const QString& programFolder, PageCheck check) {
    close();
    currentKind = Kind::File;
    if (const Server::Read server = Server::read(programFolder); !server.error.isEmpty()) {
        OpenResult refused;
        refused.server = true;
        refused.path = Server::settingsPath(programFolder);
        refused.message = server.error;
        return refused;
    } else if (server.settings) {
        return openServer(*server.settings);
    }
    OpenResult result;
    result.path = QFileInfo(filePath(programFolder)).absoluteFilePath();
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

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
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
        close();
        result.status = OpenResult::Refused;
        result.message = refusal(result.path, problem);
        return result;
    }
    if (result.status != OpenResult::Created) {
        result.status = OpenResult::Opened;
        if (check == PageCheck::Beside) {
            pagesCheck = std::make_unique<PagesCheck>();
            pagesCheck->path = result.path;
        }
    }
    return result;
}

void whenPagesChecked(QObject* context, std::function<void(const QString& refusal)> done) {
    if (!pagesCheck) {
        done({});
        return;
    }
    startPagesCheck();
    pagesCheck->waiting.emplace_back(QPointer<QObject>(context), std::move(done));
    tellWaiting();
}

QString pagesRefusal() {
    if (!pagesCheck)
        return {};
    startPagesCheck();
    return pagesCheck->result.get();
}

void requirePagesChecked() {
    if (const QString refusal = pagesRefusal(); !refusal.isEmpty())
        throw DataError(refusal);
}

Stamp stamp(const QString& table) {
    Stamp s;
    s.table = tableWrites.value(table.toLower());
    s.rollbacks = rollbackCount;
    if (currentKind == Kind::Server) {
        // The server counts the changes of each table, whoever made them.
        const Tables::Table& known = Tables::byName(table);
        Statement q(QStringLiteral("SELECT n FROM %1 WHERE tbl = ?").arg(kStampTable));
        q.bind({known.name.isEmpty() ? table : known.name});
        exec(*q);
        if (q->next())
            s.version = q->value(0).toLongLong();
        s.foreign = 0;
        return s;
    }
    QSqlQuery q(connection());
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
    return withFile(path, QStringLiteral("vorn-check"), inspect);
}

namespace {

QString insertSql(const Tables::Table& t, int rows) {
    QStringList marks;
    for (qsizetype i = 0; i < t.fields.size(); ++i)
        marks << QStringLiteral("?");
    const QString row = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    QStringList all;
    for (int r = 0; r < rows; ++r)
        all << row;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(quoted(t.name), quotedList(t.fields), all.join(QLatin1Char(',')));
}

// Every row of every table from one connection to another, in stored order, many rows to a
// statement (one statement a row takes minutes for 100,000 subjects on a server).
void copyRows(QSqlDatabase& from, const QString& order, QSqlDatabase& to) {
    constexpr int Batch = 200;
    for (const Tables::Table& t : Tables::all()) {
        QSqlQuery read(from);
        read.setForwardOnly(true);
        execOrThrow(read, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                              .arg(quotedList(t.fields), quoted(t.name), order));
        QSqlQuery full(to);
        full.prepare(insertSql(t, Batch));
        QVariantList values;
        int rows = 0;
        auto flush = [&](QSqlQuery& q) {
            for (const QVariant& v : values)
                q.addBindValue(v);
            exec(q);
            values.clear();
            rows = 0;
        };
        Deadline::Wait reading(read);
        while (read.next()) {
            for (int c = 0; c < t.fields.size(); ++c)
                values << read.value(c);
            if (++rows == Batch) {
                flush(full);
                reading.extend();
            }
        }
        if (reading.expired())
            throw DataError(Deadline::notAnswered());
        if (rows > 0) {
            QSqlQuery rest(to);
            rest.prepare(insertSql(t, rows));
            flush(rest);
        }
    }
}

} // namespace

QString backupServer(const QString& target) {
    const QString temp = target + QStringLiteral(".new");
    QFile::remove(temp);
    if (const QString error = createFile(temp); !error.isEmpty())
        return error;
    const QString name = QStringLiteral("vorn-backup");
    QString error;
    {
        QSqlDatabase out = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        out.setDatabaseName(temp);
        QSqlDatabase db;
        try {
            db = connection(); // a lost connection is opened again here, or fails here
            if (!out.open())
                throw DataError(out.lastError().text());
            QSqlQuery file(out);
            execOrThrow(file, QStringLiteral("BEGIN"));
            for (const Tables::Table& t : Tables::all())
                execOrThrow(file, QStringLiteral("DELETE FROM %1").arg(quoted(t.name)));
            // One moment of the server's four tables, whatever the other workstations write.
            QSqlQuery server(db);
            execOrThrow(server, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
            copyRows(db, QString::fromLatin1(kRowColumn), out);
            execOrThrow(server, QStringLiteral("COMMIT"));
            execOrThrow(file, QStringLiteral("COMMIT"));
        } catch (const DataError& e) {
            if (db.isOpen() && !connectionLost)
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            error = e.message();
        }
        out.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (error.isEmpty() && std::rename(QFile::encodeName(temp).constData(),
                                       QFile::encodeName(target).constData()) != 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    if (!error.isEmpty())
        QFile::remove(temp);
    return error;
}

namespace {

// A value the server's text cannot hold as it is: bytes stored as such, a NUL, bytes that are
// not UTF-8 (the file keeps whatever it was given). Said with its subject and field, never
// changed on the way: the first one found, or empty.
QString valueTheServerCannotHold(QSqlDatabase& in) {
    for (const Tables::Table& t : Tables::all()) {
        QStringList select{QStringLiteral("\"Code\"")};
        for (const QString& f : t.fields)
            select << quoted(f) << QStringLiteral("typeof(%1)").arg(quoted(f))
                   << QStringLiteral("length(CAST(%1 AS BLOB))").arg(quoted(f));
        if (!t.fields.contains(QStringLiteral("Code")))
            select.front() = QStringLiteral("''");
        QSqlQuery q(in);
        q.setForwardOnly(true);
        execOrThrow(q, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                           .arg(select.join(QLatin1Char(',')), quoted(t.name)));
        while (q.next())
            for (qsizetype f = 0; f < t.fields.size(); ++f) {
                const int at = 1 + 3 * int(f);
                const QString type = q.value(at + 1).toString();
                const QString text = q.value(at).toString();
                QString why;
                if (type == QLatin1String("blob"))
                    why = QString::fromUtf8("بایت‌هایی است که متن نیستند");
                else if (type == QLatin1String("text") && text.contains(QChar(0)))
                    why = QString::fromUtf8("نویسهٔ تهی (NUL) دارد");
                else if (type == QLatin1String("text") &&
                         text.toUtf8().size() != q.value(at + 2).toLongLong())
                    why = QString::fromUtf8("با UTF-8 نوشته نشده است");
                if (!why.isEmpty())
                    return QString::fromUtf8(
                               "در این نسخهٔ پشتیبان، مقدار «%1» در جدول %2 (آزمودنی با کد «%3») "
                               "%4 و سرور آن را همان‌گونه نگه نمی‌دارد؛ چیزی در سرور تغییر نکرد.")
                        .arg(t.fields[f], t.name, q.value(0).toString(), why);
            }
    }
    return {};
}

} // namespace

QString restoreServer(const QString& source) {
    if (const QString problem = checkFile(source); !problem.isEmpty())
        return problem;
    return withFile(source, QStringLiteral("vorn-restore"), [](QSqlDatabase& in) {
        try {
            if (const QString why = valueTheServerCannotHold(in); !why.isEmpty())
                return why;
            QSqlDatabase db = connection();
            Transaction all; // every row replaced, or none
            QSqlQuery q(db);
            for (const Tables::Table& t : Tables::all())
                execOrThrow(q, QStringLiteral("DELETE FROM %1").arg(quoted(t.name)));
            copyRows(in, QStringLiteral("rowid"), db);
            all.commit();
            return QString();
        } catch (const CodeTaken&) {
            return QString::fromUtf8(
                "در این نسخهٔ پشتیبان دو آزمودنی یک کد دارند و سرور دو آزمودنی با یک کد "
                "نمی‌پذیرد؛ چیزی در سرور تغییر نکرد.");
        } catch (const DataError& e) {
            return e.message();
        }
    });
}

namespace {

// The statements kept for the server's connection, by their text. Dropped with the connection;
// statements still in use then are not given back.
std::map<QString, std::unique_ptr<QSqlQuery>> kept;
quint64 connectionNumber = 0;
constexpr size_t kKeptAtMost = 200; // the texts differ by table, filter and fields written

void dropKept() {
    kept.clear();
    ++connectionNumber;
}

} // namespace

Statement::Statement(const QString& sql) : sql_(sql), connection_(connectionNumber) {
    if (currentKind == Kind::Server) {
        const QSqlDatabase db = connection(); // may open it again, dropping what was kept
        connection_ = connectionNumber;
        if (const auto found = kept.find(sql); found != kept.end()) {
            query_ = std::move(found->second);
            kept.erase(found);
            prepared_ = true;
            return;
        }
        query_ = std::make_unique<QSqlQuery>(db);
    } else {
        query_ = std::make_unique<QSqlQuery>(connection());
    }
    query_->setForwardOnly(true);
    const Deadline::Wait wait(*query_); // on a server, preparing is a round trip
    prepared_ = query_->prepare(sql);   // a failure shows when it runs
    if (wait.expired())
        fail(*query_, true);
    // A server's refusal (a lock held past its limit) is said now; a connection found gone is
    // left to the run, which connects again.
    if (!prepared_ && currentKind == Kind::Server && !isLost(query_->lastError()))
        fail(*query_, false);
}

void Statement::bind(const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        query_->bindValue(i, values[i]);
}

Statement::~Statement() {
    query_->finish();
    if (currentKind != Kind::Server || !prepared_ || connection_ != connectionNumber)
        return;
    if (kept.size() >= kKeptAtMost)
        kept.clear();
    kept.emplace(sql_, std::move(query_)); // unless one of the same text came back first
}

namespace {
std::function<void(int)> eachBlock(const std::function<void()>& between) {
    return [between](int) {
        if (between)
            between();
    };
}
} // namespace

QString backupTo(const QString& target, const std::function<void()>& between) {
    if (currentKind == Kind::Server)
        return backupServer(target);
    const QString path = QSqlDatabase::database(kConnection, false).databaseName();
    const Backup::CopyResult copied = Backup::copyInBlocks(path, target, eachBlock(between));
    return copied.ok ? QString() : copied.error;
}

QString restoreFrom(const QString& source, const QString& programFolder,
                    const std::function<void()>& between) {
    if (currentKind == Kind::Server)
        return restoreServer(source);
    const QString path = filePath(programFolder);
    close();
    const Backup::CopyResult copied = Backup::copyInBlocks(source, path, eachBlock(between));
    if (copied.ok)
        QFile::remove(path + QStringLiteral("-journal")); // it belonged to the old file
    open(programFolder);
    return copied.ok ? QString() : copied.error;
}

void close() {
    dropKept();
    pagesCheck.reset(); // waits for a check still running
    transactionDepth = 0;
    connectionLost = false;
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
    if (currentKind == Kind::Server && connectionLost && QSqlDatabase::contains(kConnection)) {
        dropKept();
        QSqlDatabase db = QSqlDatabase::database(kConnection, false);
        db.close();
        if (!db.open())
            throw DataError(
                QString::fromUtf8("سرور پایگاه داده هنوز در دسترس نیست؛ کمی بعد دوباره امتحان "
                                  "کنید.\n") +
                connectionProblem(db.lastError().text()));
        connectionLost = false;
        transactionDepth = 0;
        return db;
    }
    if (!isOpen())
        throw DataError(QString::fromUtf8("پایگاه داده باز نیست."));
    return QSqlDatabase::database(kConnection, false);
}

namespace {

// The connection is gone: no SQL state (the client library's own failure), a connection
// exception (08…) or the server shutting down (57P…).
bool isLost(const QSqlError& error) {
    const QString text = error.text();
    const QString state = error.nativeErrorCode();
    return error.type() == QSqlError::ConnectionError || state.isEmpty() ||
           state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")) ||
           text.contains(QLatin1String("server closed the connection")) ||
           text.contains(QLatin1String("terminating connection")) ||
           text.contains(QLatin1String("no connection to the server")) ||
           text.contains(QLatin1String("could not send data")) ||
           text.contains(QLatin1String("could not receive data"));
}

// Why a statement failed, for the user; a lost connection is marked for the next use. late: the
// server did not answer within the deadline, and the connection was cut.
[[noreturn]] void fail(const QSqlQuery& q, bool late) {
    const QSqlError error = q.lastError();
    // Only the program's own connection is marked; a try of the settings panel (on a thread of
    // its own) is said the same way and leaves it alone.
    const bool ours = QSqlDatabase::contains(kConnection) &&
                      QSqlDatabase::database(kConnection, false).driver() == q.driver();
    const bool lost = late || (currentKind == Kind::Server && isLost(error));
    if (lost && ours) {
        connectionLost = true;
        transactionDepth = 0;
    }
    if (late)
        throw DataError(
            QString::fromUtf8(
                "سرور پایگاه داده در %1 ثانیه پاسخ نداد؛ این کار ذخیره نشد و چیزی "
                "نیمه‌کاره نماند. ببینید سرور روشن و در دسترس است و دوباره امتحان "
                "کنید: برنامه خودش دوباره وصل می‌شود.")
                .arg(Deadline::Seconds));
    if (currentKind == Kind::Server) {
        const QString state = error.nativeErrorCode();
        // The server keeps a subject's code unique: another workstation took it first.
        if (state == QLatin1String("23505") || state == QLatin1String("23P01"))
            throw CodeTaken(
                QString::fromUtf8("این کد را همین حالا کسی دیگر برای آزمودنی دیگری ثبت کرده "
                                  "است؛ چیزی نوشته نشد."));
        if (lost)
            throw DataError(
                QString::fromUtf8(
                    "ارتباط با سرور پایگاه داده قطع شد؛ این کار ذخیره نشد و چیزی "
                    "نیمه‌کاره نماند. وقتی سرور در دسترس بود دوباره امتحان "
                    "کنید: برنامه خودش دوباره وصل می‌شود.\n(") +
                error.text().trimmed() + QLatin1Char(')'));
        // Another session holds a lock past the deadline the connection sets.
        if (state == QLatin1String("55P03") || state == QLatin1String("57014"))
            throw DataError(
                QString::fromUtf8(
                    "میز دیگری همین داده‌ها را در دست دارد و سرور در %1 ثانیه آن را "
                    "آزاد نکرد؛ چیزی نوشته نشد. کمی بعد دوباره امتحان کنید.")
                    .arg(Deadline::LockSeconds));
        if (state == QLatin1String("42501"))
            throw DataError(QString::fromUtf8(
                "کاربر پایگاه داده اجازهٔ این کار را روی سرور ندارد؛ مدیر سرور "
                "باید دسترسی خواندن و نوشتن جدول‌های VORN را به او بدهد."));
    }
    throw DataError(error.text());
}

// Once, within the deadline; whether the deadline passed is told through late.
bool runOnce(QSqlQuery& q, const QString* sql, bool* late) {
    const Deadline::Wait wait(q);
    const bool ok = sql ? q.exec(*sql) : q.exec();
    *late = wait.expired();
    return ok;
}

void run(QSqlQuery& q, const QString* sql) {
    // Found gone before any transaction began (the server was restarted, or ended this
    // session, while the desk was idle): nothing was lost, so connect again and go on.
    const bool outside = transactionDepth == 0;
    bool late = false;
    if (runOnce(q, sql, &late))
        return;
    const bool ours = QSqlDatabase::contains(kConnection) &&
                      QSqlDatabase::database(kConnection, false).driver() == q.driver();
    if (currentKind != Kind::Server || !ours || !outside || late || !isLost(q.lastError()))
        fail(q, late);
    const QString text = sql ? *sql : q.lastQuery();
    const QVariantList values = q.boundValues();
    connectionLost = true;
    connection(); // connects again, or throws that the server cannot be reached yet
    if (!sql) {
        const Deadline::Wait wait(q);
        q.prepare(text);
        if (wait.expired())
            fail(q, true);
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
    }
    if (!runOnce(q, sql, &late))
        fail(q, late);
}

} // namespace

void exec(QSqlQuery& query) {
    run(query, nullptr);
}

void exec(QSqlQuery& query, const QString& sql) {
    execOrThrow(query, sql);
}

Snapshot::Snapshot() {
    if (currentKind != Kind::Server || transactionDepth > 0)
        return;
    QSqlQuery q(connection());
    execOrThrow(q, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    ++transactionDepth;
    began_ = true;
}

Snapshot::~Snapshot() {
    if (!began_)
        return;
    --transactionDepth;
    if (connectionLost || !isOpen())
        return;
    QSqlQuery q(connection());
    const Deadline::Wait wait(q);
    q.exec(QStringLiteral("COMMIT")); // only read: nothing to keep or lose
}

// On the server the outermost level is a transaction of its own (a savepoint needs one);
// SQLite starts one with the savepoint.
Transaction::Transaction() : name_(QStringLiteral("vorn_%1").arg(++savepointCounter)) {
    requirePagesChecked();
    QSqlQuery q(connection());
    outermost_ = currentKind == Kind::Server && transactionDepth == 0;
    execOrThrow(q, outermost_ ? QStringLiteral("BEGIN") : QStringLiteral("SAVEPOINT ") + name_);
    ++transactionDepth;
}

Transaction::~Transaction() {
    if (done_)
        return;
    --transactionDepth;
    // A connection found gone took its transaction with it: nothing to undo, and no waiting.
    if (!isOpen() || (currentKind == Kind::Server && connectionLost)) {
        ++rollbackCount;
        return;
    }
    QSqlQuery q(connection());
    const Deadline::Wait wait(q);
    if (outermost_) {
        q.exec(QStringLiteral("ROLLBACK"));
    } else {
        q.exec(QStringLiteral("ROLLBACK TO ") + name_);
        q.exec(QStringLiteral("RELEASE ") + name_);
    }
    ++rollbackCount; // views that took their own writes for done must read again
}

void Transaction::commit() {
    QSqlQuery q(connection());
    execOrThrow(q, outermost_ ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE ") + name_);
    done_ = true;
    --transactionDepth;
}

} // namespace Database
