#include "tests/support/Seed.h"

#include "data/Database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace Seed {

namespace {
QSqlQuery run(const QString& sql) {
    QSqlQuery q(Database::connection());
    q.exec(QString(sql).replace(QLatin1String("BY rowid"), "BY " + Database::rowColumn()));
    return q;
}
} // namespace

void rows(const QString& table, const QStringList& fields, const QList<QVariantList>& values) {
    const QString marks = QLatin1Char('(') + QStringList(fields.size(), "?").join(',') + ')';
    QSqlQuery q(Database::connection());
    q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                  .arg(Database::quoted(table), Database::quotedList(fields),
                       QStringList(values.size(), marks).join(',')));
    for (const QVariantList& row : values)
        for (const QVariant& v : row)
            q.addBindValue(v);
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
}

bool exec(const QString& sql) {
    return run(sql).isActive();
}

QStringList column(const QString& sql) {
    QSqlQuery q = run(sql);
    QStringList values;
    while (q.next())
        values << q.value(0).toString();
    return values;
}

QVariant value(const QString& sql, const QVariant& none) {
    QSqlQuery q = run(sql);
    return q.next() ? q.value(0) : none;
}

} // namespace Seed
