#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

// The tests' own reads and writes on the program's open database, beside the windows: rows put
// in as another desk or an earlier day would have left them, and what is stored read back.
namespace Seed {

// One row of table with the values of fields, or many rows of one statement (values of each row
// in turn); a refusal fails the test.
void rows(const QString& table, const QStringList& fields, const QList<QVariantList>& values);
inline void row(const QString& table, const QStringList& fields, const QVariantList& values) {
    rows(table, fields, {values});
}
// A statement as it stands (a delete, a transaction's begin); false when refused.
bool exec(const QString& sql);
// The first column of every row, and of the first row (none when there is no row). In the
// text, "BY rowid" orders by stored order on either kind of database.
QStringList column(const QString& sql);
QVariant value(const QString& sql, const QVariant& none = {});
// The first row's first value as text; "<none>" when there is no row, so that a missing row
// never passes for an empty value.
inline QString text(const QString& sql) {
    return value(sql, QStringLiteral("<none>")).toString();
}

} // namespace Seed
