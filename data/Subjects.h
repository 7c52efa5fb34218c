#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace Deadline {
class Wait;
}

// The subjects as the export and the statistics read them: each ide row ("i") with its first
// Answer row ("a"), found by the index on Code; those of one group when group is not empty.
namespace Subjects {

// The subjects in stored order, one row each with the values of expressions (over i and a).
// A server that stops answering mid-way ends the reading: next() is false and failure() says
// why.
class Cursor {
public:
    explicit Cursor(const QStringList& expressions, const QString& group = {});
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
    bool next();
    QVariant value(int i) const { return query_.value(i); }
    // Why the rows ended before the last one, or empty.
    QString failure() const;

private:
    QSqlQuery query_;
    std::unique_ptr<Deadline::Wait> reading_;
    qint64 rows_ = 0;
};

// One row of aggregates (a count, widths) over the same subjects.
QVariantList measure(const QStringList& expressions, const QString& group = {});

// Every text stored in a field of ide, once each, in no particular order.
QStringList distinct(const QString& field);

} // namespace Subjects
