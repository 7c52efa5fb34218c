#pragma once

#include <QByteArrayView>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace Deadline {
class Wait;
}
struct sqlite3_stmt;

// The subjects as the export and the statistics read them: each ide row ("i") with its first
// Answer row ("a"), found by the index on Code; those of one group when group is not empty.
namespace Subjects {

// The subjects in stored order, one row each with the values of expressions (over i and a).
// A server that stops answering mid-way ends the reading: next() is false and failure() says
// why. On the file the rows come from SQLite's own cursor, each text as the bytes it stores,
// with no conversion on the way (an export of a million subjects reads 46 million of them).
class Cursor {
public:
    explicit Cursor(const QStringList& expressions, const QString& group = {});
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
    bool next();
    QVariant value(int i) const;
    // The text of the current row's value i in UTF-8 (empty for none); valid until next().
    QByteArrayView utf8(int i);
    // Why the rows ended before the last one, or empty.
    QString failure() const;

private:
    QSqlQuery query_;
    sqlite3_stmt* raw_ = nullptr; // on the file
    QString rawError_;
    QList<QByteArray> converted_; // on a server: the row's texts as UTF-8
    std::unique_ptr<Deadline::Wait> reading_;
    qint64 rows_ = 0;
};

// One row of aggregates (a count, widths) over the same subjects.
QVariantList measure(const QStringList& expressions, const QString& group = {});

// Every text stored in a field of ide, once each, in no particular order.
QStringList distinct(const QString& field);

} // namespace Subjects
