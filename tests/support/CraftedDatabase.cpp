#include "tests/support/CraftedDatabase.h"

#include "data/Database.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <sys/stat.h>

namespace {

bool run(const QString& path, const QStringList& statements) {
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "crafted");
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString& sql : statements) {
            QSqlQuery q(db);
            if (ok && !q.exec(sql)) {
                qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("crafted");
    return ok;
}

QStringList manySubjects() {
    QStringList sql{"BEGIN"};
    for (int i = 1; i <= 3000; ++i) {
        sql << QStringLiteral("INSERT INTO ide (Code, FName, LName) VALUES ('%1', 'name %1', "
                              "'family name of subject %1')")
                   .arg(i);
        sql << QStringLiteral("INSERT INTO Answer (Code, \"1\") VALUES ('%1', '3')").arg(i);
    }
    sql << "COMMIT";
    return sql;
}

} // namespace

QByteArray Crafted::folderState(const QString& folder) {
    QByteArray state;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QFileInfo& e : entries) {
        state += e.fileName().toUtf8() + ' ';
        if (e.isSymLink()) {
            state += "link " + e.symLinkTarget().toUtf8();
        } else if (e.isDir()) {
            state += "dir";
        } else if (e.isFile()) {
            QFile f(e.filePath());
            f.open(QIODevice::ReadOnly);
            state += QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
        } else {
            state += "special";
        }
        state += '\n';
    }
    return state;
}

QStringList Crafted::kinds() {
    return {
        "text",         "empty",         "other sqlite",  "ide a view",        "trigger",
        "extra column", "foreign index", "damaged page",  "truncated",         "wal",
        "fifo",         "directory",     "dangling link", "damaged late page", "index disagrees"};
}

bool Crafted::make(const QString& path, const QString& kind) {
    QFile::remove(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto write = [&](const QByteArray& bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    if (kind == "text")
        return write("clinic notes\n");
    if (kind == "empty")
        return write({});
    if (kind == "fifo")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == "directory")
        return QDir().mkpath(path);
    if (kind == "dangling link")
        return QFile::link(path + ".gone", path);
    if (kind == "other sqlite")
        return run(path, {"CREATE TABLE notes (x TEXT)"});

    if (kind == "damaged after a clean close") {
        // The program's own file, opened and closed cleanly (its check recorded), then damaged
        // by something else: path is a program folder's database.
        const QString folder = QFileInfo(QFileInfo(path).absolutePath()).absolutePath();
        if (Database::open(folder).status != Database::OpenResult::Created)
            return false;
        Database::close();
        QFile f(path);
        return QFile::exists(path + ".checked") && f.open(QIODevice::ReadWrite) &&
               f.seek(f.size() - 4096) && f.write(QByteArray(4096, '\x5a')) == 4096;
    }
    if (!Database::createFile(path).isEmpty())
        return false;
    if (kind == "ide a view")
        return run(path, {"ALTER TABLE ide RENAME TO ide_rows",
                          "CREATE VIEW ide AS SELECT * FROM ide_rows"});
    if (kind == "trigger")
        return run(path, {"CREATE TRIGGER wipe AFTER INSERT ON ide BEGIN DELETE FROM Answer; "
                          "DELETE FROM ide WHERE rowid <> new.rowid; END"});
    if (kind == "extra column")
        return run(path, {"ALTER TABLE ide ADD COLUMN Note TEXT NOT NULL DEFAULT 'x'"});
    if (kind == "foreign index")
        return run(path, {"CREATE UNIQUE INDEX one_name ON ide (FName)"});
    if (kind == "wal")
        return run(path, {"PRAGMA journal_mode=WAL"});
    if (!run(path, manySubjects()))
        return false;
    if (kind == "index disagrees") {
        // The code index keeps codes its table no longer holds: every page is whole, and only a
        // check that compares each index with its table finds it.
        auto point = [](const char* from, const char* to) {
            return QStringList{"PRAGMA writable_schema=ON",
                               QStringLiteral("UPDATE sqlite_master SET sql = replace(sql, "
                                              "'(\"%1\")', '(\"%2\")') WHERE name = "
                                              "'vorn_ide_code'")
                                   .arg(from, to)};
        };
        return run(path, point("Code", "FName")) &&
               run(path, {"UPDATE ide SET Code = Code || 'x'"}) &&
               run(path, point("FName", "Code"));
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    if (kind == "truncated")
        return f.resize(f.size() / 2);
    if (kind == "damaged late page") { // the last pages: what the main window first reads is whole
        QByteArray noise(2 * 4096, '\0');
        QRandomGenerator random(15);
        for (char& c : noise)
            c = char(random.bounded(256));
        return f.seek(f.size() - noise.size()) && f.write(noise) == noise.size();
    }
    if (kind == "damaged page") { // pages 3 to 5 overwritten; the header page stays whole
        QRandomGenerator random(14);
        QByteArray noise(3 * 4096, '\0');
        for (char& c : noise)
            c = char(random.bounded(256));
        return f.seek(2 * 4096) && f.write(noise) == noise.size();
    }
    qWarning("unknown kind %s", qPrintable(kind));
    return false;
}
