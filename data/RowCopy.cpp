#include "data/RowCopy.h"

#include "data/Connection.h"
#include "data/Content.h"
#include "data/Deadline.h"
#include "data/FileEngine.h"
#include "data/ServerEngine.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Database::RowCopy {

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
        exec(read, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
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

QString serverToFile(const QString& target) {
    const QString temp = target + QStringLiteral(".new");
    QFile::remove(temp);
    if (const QString error = FileEngine::createFile(temp); !error.isEmpty())
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
            exec(file, QStringLiteral("BEGIN"));
            for (const Tables::Table& t : Tables::all())
                exec(file, QStringLiteral("DELETE FROM %1").arg(quoted(t.name)));
            // One moment of the server's four tables, whatever the other workstations write.
            QSqlQuery server(db);
            exec(server, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
            copyRows(db, QString::fromLatin1(ServerEngine::RowColumn), out);
            exec(server, QStringLiteral("COMMIT"));
            exec(file, QStringLiteral("COMMIT"));
        } catch (const DataError& e) {
            if (db.isOpen() && !Connection::current().lost)
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
        exec(q, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
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

QString fileToServer(const QString& source) {
    if (const QString problem = FileEngine::checkFile(source); !problem.isEmpty())
        return problem;
    return FileEngine::readOnly(source, QStringLiteral("vorn-restore"), [](QSqlDatabase& in) {
        try {
            if (const QString why = valueTheServerCannotHold(in); !why.isEmpty())
                return why;
            QSqlDatabase db = connection();
            Transaction all; // every row replaced, or none
            QSqlQuery q(db);
            for (const Tables::Table& t : Tables::all())
                exec(q, QStringLiteral("DELETE FROM %1").arg(quoted(t.name)));
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

} // namespace Database::RowCopy
