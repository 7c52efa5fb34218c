#include "data/ServerEngine.h"

#include "data/Connection.h"
#include "data/Content.h"
#include "data/Deadline.h"
#include "data/RowCopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace Database {

namespace {

constexpr auto kRowColumn = ServerEngine::RowColumn;
constexpr auto kPrefix = ServerEngine::Prefix;
constexpr auto kStampTable = "vorn_stamp";
constexpr qint64 kCreationLock = 7273911; // one workstation makes the tables at a time

// On the server, the constraint that keeps a subject's code unique, beside the code's index.
QString uniqueName(const Tables::Index& index) {
    return index.name + QStringLiteral("_unique");
}

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
const QString kColumnsFrom = QStringLiteral(
    "FROM pg_attribute a JOIN pg_class c ON a.attrelid = c.oid JOIN pg_namespace n ON "
    "c.relnamespace = n.oid WHERE n.nspname = current_schema() AND c.relkind = 'r' AND "
    "a.attnum > 0 AND NOT a.attisdropped");
const QString kColumns =
    QStringLiteral("SELECT c.relname, a.attname, format_type(a.atttypid, a.atttypmod) ") +
    kColumnsFrom;

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
    for (const Tables::Index& index : Tables::indexes()) {
        const QString &name = index.name, &table = index.table, &field = index.field;
        if (layout == Layout::UniqueCodeIndex)
            required << QStringLiteral("index %1 %2 btree %3 true %4%5")
                            .arg(name, table, QLatin1String(index.unique ? "true" : "false"), field,
                                 index.unique ? QString() : QLatin1String(",") + kRowColumn);
        else
            required << QStringLiteral("index %1 %2 btree false true *,%3 \"left\"(%4, %5)")
                            .arg(name, table, kRowColumn, quoted(field))
                            .arg(kPrefix);
        if (layout == Layout::Current && index.unique)
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

// The schema as the server's catalog has it, read in one question (each question is a round
// trip): the relations with their kind, every column of every table in order, and every other
// object in kObjects' words (as text: a name column would cut the union's lines at 63 bytes).
struct Catalog {
    QList<std::pair<QString, QString>> relations;                // name, kind
    QHash<QString, std::pair<QStringList, QStringList>> columns; // names, types
    QStringList objects;
};

QString catalogQuery() {
    return QStringLiteral("SELECT 'r', c.relname::text, c.relkind::text, ''::text, 0 ") +
           kRelations +
           QStringLiteral(" UNION ALL SELECT 'c', c.relname::text, a.attname::text, "
                          "format_type(a.atttypid, a.atttypmod), a.attnum::int ") +
           kColumnsFrom + QStringLiteral(" UNION ALL SELECT 'o', o.line, '', '', 0 FROM (") +
           kObjects + QStringLiteral(") o(line) ORDER BY 1, 2, 5");
}

// The rows of catalogQuery().
Catalog catalogFrom(QSqlQuery& q) {
    Catalog catalog;
    while (q.next()) {
        const QString kind = q.value(0).toString();
        if (kind == QLatin1String("r")) {
            catalog.relations.append({q.value(1).toString(), q.value(2).toString()});
        } else if (kind == QLatin1String("c")) {
            auto& [names, types] = catalog.columns[q.value(1).toString()];
            names << q.value(2).toString();
            types << q.value(3).toString();
        } else {
            catalog.objects << q.value(1).toString();
        }
    }
    return catalog;
}

Catalog readCatalog(QSqlDatabase& db) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    exec(q, catalogQuery());
    return catalogFrom(q);
}

// Exactly the program's tables, columns and triggers; anything else is another database.
QString serverSchemaProblem(const Catalog& catalog, Layout layout = Layout::Current) {
    QStringList foreign, missing, wrong;
    QStringList ours{QString::fromLatin1(kStampTable)};
    for (const Tables::Table& t : Tables::all())
        ours << t.name;
    QStringList found;
    for (const auto& [name, kind] : catalog.relations) {
        if (!ours.contains(name) || kind != QLatin1String("r"))
            foreign << name;
        else
            found << name;
    }
    for (const QString& name : ours)
        if (!found.contains(name))
            missing << name;
    for (const Tables::Table& t : Tables::all()) {
        if (!found.contains(t.name))
            continue;
        const auto& [names, types] = catalog.columns.value(t.name);
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
        for (const QString& object : catalog.objects)
            if (!required.contains(object) && !allowed.contains(object))
                foreign << object;
        for (const QString& object : required)
            if (!catalog.objects.contains(object))
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

QString serverSchemaProblem(QSqlDatabase& db, Layout layout = Layout::Current) {
    return serverSchemaProblem(readCatalog(db), layout);
}

// Empty only when no object of any kind is in any schema but the system ones: another program's
// schema, a sequence, a function or a type alone is someone else's database. As an expression
// that is true then.
QString emptiness() {
    const QString system = QStringLiteral(
        "(SELECT oid FROM pg_namespace WHERE nspname = 'information_schema' OR nspname LIKE "
        "'pg\\_%')");
    QStringList counts{
        QStringLiteral("(SELECT count(*) FROM pg_namespace WHERE nspname <> 'public' AND oid "
                       "NOT IN %1)")
            .arg(system),
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
                      .arg(QLatin1String(catalog), QLatin1String(ns), system);
    return QLatin1Char('(') + counts.join(QStringLiteral(" + ")) + QStringLiteral(") = 0");
}

bool serverIsEmpty(QSqlDatabase& db) {
    QSqlQuery q(db);
    exec(q, QStringLiteral("SELECT ") + emptiness());
    return q.next() && q.value(0).toBool();
}

// Whether the database is empty (first use), and what the role and the database must allow
// before VORN uses them: its schema reachable, the database UTF-8, and either the right to make
// the tables (first use) or to read and write every one of them. One question.
struct Standing {
    bool empty = false;
    QString rightsProblem; // for the user, or empty
};

// With catalog, the catalog too, in the same round trip (read whether or not it is used).
Standing serverStanding(QSqlDatabase& db, Catalog* catalog = nullptr) {
    Standing standing;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString text =
        QStringLiteral(
            "SELECT current_schema() IS NOT NULL, (SELECT pg_encoding_to_char(encoding) FROM "
            "pg_database WHERE datname = current_database()), "
            "has_schema_privilege(coalesce(current_schema(), 'public'), 'CREATE'), "
            "coalesce((SELECT bool_and(CASE c.relkind WHEN 'S' THEN "
            "has_sequence_privilege(c.oid, 'USAGE') ELSE has_table_privilege(c.oid, "
            "'SELECT, INSERT, UPDATE, DELETE') END) FROM pg_class c JOIN pg_namespace n ON "
            "c.relnamespace = n.oid WHERE n.nspname = current_schema() AND c.relkind IN "
            "('r', 'S')), true), current_user, current_database(), ") +
        emptiness();
    const auto judge = [&]() -> QString {
        if (!q.next())
            return QString::fromUtf8("سرور به پرسش برنامه پاسخ نداد.");
        standing.empty = q.value(6).toBool();
        const bool firstUse = standing.empty;
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
    };
    if (!catalog) {
        exec(q, text);
        standing.rightsProblem = judge();
        return standing;
    }
    text += QStringLiteral("; ") + catalogQuery();
    Connection::current().run(q, &text, [&] {
        standing.rightsProblem = judge();
        while (q.next()) {
        }
        return q.nextResult();
    });
    *catalog = catalogFrom(q);
    return standing;
}

// A B-tree entry holds about 2,700 bytes, and a name may be longer: the searches go by a prefix
// that always fits (with the row number after it, the rows of one value come in stored order,
// as a view reads them; SQLite's indexes hold its row number that way by themselves). A code is
// also kept unique by a hash, which takes a text of any length.
void createServerIndexes(QSqlQuery& q) {
    for (const Tables::Index& index : Tables::indexes()) {
        exec(q, QStringLiteral("CREATE INDEX %1 ON %2 (left(%3, %4), %5)")
                    .arg(quoted(index.name), quoted(index.table), quoted(index.field))
                    .arg(kPrefix)
                    .arg(QLatin1String(kRowColumn)));
        if (index.unique)
            exec(q, QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT %2 EXCLUDE USING hash "
                                   "(%3 WITH =)")
                        .arg(quoted(index.table), quoted(uniqueName(index)), quoted(index.field)));
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
        exec(q, QStringLiteral("CREATE TABLE %1 (%2)")
                    .arg(quoted(t.name), columns.join(QStringLiteral(", "))));
    }
    createServerIndexes(q);
    exec(q, QStringLiteral("CREATE TABLE %1 (tbl text PRIMARY KEY, n bigint NOT NULL)")
                .arg(kStampTable));
    exec(q, QStringLiteral("CREATE FUNCTION vorn_count() RETURNS trigger LANGUAGE plpgsql "
                           "AS $$%1$$")
                .arg(QLatin1String(kCountBody)));
    for (const Tables::Table& t : Tables::all()) {
        q.prepare(QStringLiteral("INSERT INTO %1 (tbl, n) VALUES (?, 0)").arg(kStampTable));
        q.addBindValue(t.name);
        exec(q);
        exec(q, QStringLiteral("CREATE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE ON %2 "
                               "FOR EACH STATEMENT EXECUTE FUNCTION vorn_count()")
                    .arg(quoted(QStringLiteral("vorn_count_") + t.name), quoted(t.name)));
    }
    addDelivered(db);
}

} // namespace

namespace {

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

} // namespace

// The connection panel's test: a connection of its own, the program's own left as it is.
QString ServerEngine::test(const ServerSettings& s, bool* usable) {
    *usable = false;
    const QString name = QStringLiteral("vorn-test");
    QString said = connectTo(name, s);
    if (said.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        try {
            Catalog catalog;
            const Standing standing = serverStanding(db, &catalog);
            if (!standing.rightsProblem.isEmpty()) {
                said = standing.rightsProblem;
            } else if (standing.empty) {
                said = QString::fromUtf8(
                    "اتصال برقرار است. این پایگاه داده خالی است: VORN در نخستین اجرا "
                    "جدول‌های خود را در آن می‌سازد.");
                *usable = true;
            } else if (!serverSchemaProblem(catalog).isEmpty() &&
                       !serverSchemaProblem(catalog, Layout::UniqueCodeIndex).isEmpty()) {
                said = serverSchemaProblem(catalog);
            } else { // an earlier version's indexes are accepted: replaced at the next start
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

namespace {

// A database an earlier version made: its indexes took no text longer than an entry holds.
// Replaced in one transaction (the tables are locked meanwhile), then checked like any other.
QString upgradeServerIndexes(QSqlDatabase& db) {
    QSqlQuery q(db);
    exec(q, QStringLiteral("BEGIN"));
    exec(q, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kCreationLock));
    if (serverSchemaProblem(db, Layout::UniqueCodeIndex).isEmpty()) {
        for (const Tables::Index& index : Tables::indexes())
            exec(q, QStringLiteral("DROP INDEX %1").arg(quoted(index.name)));
        createServerIndexes(q);
    }
    exec(q, QStringLiteral("COMMIT"));
    return serverSchemaProblem(db);
}

} // namespace

OpenResult ServerEngine::open(const ServerSettings& s, std::unique_ptr<Engine>* engine) {
    OpenResult result;
    result.server = true;
    result.path = describe(s);
    QString problem = connectTo(Connection::Name, s);
    if (problem.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(Connection::Name, false);
        try {
            Catalog catalog; // in the same round trip, for a database in use
            const Standing standing = serverStanding(db, &catalog);
            problem = standing.rightsProblem;
            if (problem.isEmpty() && standing.empty) {
                QSqlQuery q(db);
                exec(q, QStringLiteral("BEGIN"));
                exec(q, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kCreationLock));
                if (serverIsEmpty(db)) { // no other workstation made them meanwhile
                    createServerSchema(db);
                    result.status = OpenResult::Created;
                }
                exec(q, QStringLiteral("COMMIT"));
            }
            if (problem.isEmpty() && result.status != OpenResult::Created) {
                if (standing.empty) // made meanwhile by another workstation
                    catalog = readCatalog(db);
                problem = serverSchemaProblem(catalog);
                // An earlier version's indexes are replaced, then the whole is checked again.
                if (!problem.isEmpty() &&
                    serverSchemaProblem(catalog, Layout::UniqueCodeIndex).isEmpty())
                    problem = upgradeServerIndexes(db);
            }
        } catch (const DataError& e) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            problem = e.message();
        }
    }
    if (!problem.isEmpty()) {
        Connection::current().close();
        result.status = OpenResult::Refused;
        result.message = serverRefusal(result.path, problem);
        return result;
    }
    engine->reset(new ServerEngine);
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

// The connection is gone: no SQL state (the client library's own failure), a connection
// exception (08…) or the server shutting down (57P…).
bool ServerEngine::isLost(const QSqlError& error) const {
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

void ServerEngine::fail(const QSqlError& error, bool lost) const {
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
    throw DataError(error.text());
}

QString ServerEngine::sameText(const QString& column, const QString& other) const {
    // The server's indexes hold a prefix: the search names it so that they are used.
    return QStringLiteral("left(%1, %3) = left(%2, %3) AND %1 = %2")
        .arg(column, other)
        .arg(kPrefix);
}

QString ServerEngine::sameText(const QString& column, const QVariant& value,
                               QVariantList& binds) const {
    binds << value;
    // A value shorter than the prefix equals the prefix only when it is the whole text: the
    // planner then sees one condition and estimates it right.
    if (value.toString().size() < kPrefix)
        return QStringLiteral("left(%1, %2) = ?").arg(column).arg(kPrefix);
    binds << value;
    return sameText(column, QStringLiteral("?"));
}

QString ServerEngine::returningRow() const {
    return QStringLiteral(" RETURNING ") + rowColumn();
}

QString ServerEngine::byteLength(const QString& expression) const {
    return QStringLiteral("octet_length(%1)").arg(expression);
}

QStringList ServerEngine::storedColumns(QSqlDatabase& db, const QString& table) const {
    QStringList names = serverColumns(db, table);
    names.removeAll(QString::fromLatin1(kRowColumn));
    return names;
}

// The index holds a prefix: the prefixes come by one seek each, and a prefix as long as the
// index keeps is looked up for the whole texts that begin with it.
QString ServerEngine::distinctThroughIndex(const QString& table, const QString& field) const {
    const QString prefix = QStringLiteral("left(%1, %2)").arg(quoted(field)).arg(kPrefix);
    return QStringLiteral(
               "WITH RECURSIVE d(v) AS (SELECT (SELECT min(%1) FROM %2 WHERE %1 > '') "
               "UNION ALL SELECT (SELECT min(%1) FROM %2 WHERE %1 > d.v) FROM d WHERE d.v "
               "IS NOT NULL) SELECT coalesce(w.v, d.v) FROM d LEFT JOIN LATERAL (SELECT DISTINCT "
               "%3 AS v FROM %2 WHERE %1 = d.v AND length(d.v) = %4) w ON true WHERE d.v IS "
               "NOT NULL")
        .arg(prefix, quoted(table), quoted(field))
        .arg(kPrefix);
}

QString ServerEngine::snapshotBegin() const {
    return QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
}

// The server counts the changes of each table, whoever made them.
void ServerEngine::stamp(QSqlDatabase&, const QString& table, qint64, Stamp& s) const {
    Statement q(stampsQuery({table}));
    q.exec();
    if (q->next())
        s.version = q->value(1).toLongLong();
    s.foreign = 0;
}

QString ServerEngine::stampsQuery(const QStringList& tables) const {
    QStringList names;
    for (const QString& table : tables) {
        const Tables::Table& known = Tables::byName(table);
        QString name = known.name.isEmpty() ? table : known.name;
        names << QLatin1Char('\'') + name.replace(QLatin1Char('\''), QStringLiteral("''")) +
                     QLatin1Char('\'');
    }
    return QStringLiteral("SELECT tbl, n FROM %1 WHERE tbl IN (%2)")
        .arg(QLatin1String(kStampTable), names.join(QLatin1Char(',')));
}

QString ServerEngine::backupTo(const QString& target, const std::function<void()>&) {
    return RowCopy::serverToFile(target);
}

QString ServerEngine::restoreFrom(const QString& source, const QString&,
                                  const std::function<void()>&) {
    return RowCopy::fileToServer(source);
}

} // namespace Database
