#include "data/Subjects.h"

#include "data/Database.h"
#include "data/Deadline.h"

#include <QSqlError>

namespace Subjects {

namespace {

QString from(const QString& group, QVariantList& binds) {
    QString from =
        QStringLiteral(" FROM \"ide\" i LEFT JOIN \"Answer\" a ON a.%1 = (SELECT %1 "
                       "FROM \"Answer\" WHERE %2 ORDER BY %1 LIMIT 1)")
            .arg(Database::rowColumn(),
                 Database::sameText(QStringLiteral("\"Code\""), QStringLiteral("i.\"Code\"")));
    if (!group.isEmpty())
        from += QStringLiteral(" WHERE ") +
                Database::sameText(QStringLiteral("i.\"Group\""), group, binds);
    return from;
}

void run(QSqlQuery& q, const QString& sql, const QVariantList& binds) {
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& value : binds)
        q.addBindValue(value);
    Database::exec(q);
}

} // namespace

Cursor::Cursor(const QStringList& expressions, const QString& group)
    : query_(Database::connection()) {
    QVariantList binds;
    run(query_,
        QStringLiteral("SELECT ") + expressions.join(QStringLiteral(", ")) + from(group, binds) +
            QStringLiteral(" ORDER BY i.") + Database::rowColumn(),
        binds);
    reading_ = std::make_unique<Deadline::Wait>(query_);
}

Cursor::~Cursor() = default;

bool Cursor::next() {
    if (!query_.next())
        return false;
    if (++rows_ % 256 == 0)
        reading_->extend(); // rows still come: the server is answering
    return true;
}

QString Cursor::failure() const {
    if (reading_->expired())
        return Deadline::notAnswered();
    return query_.lastError().isValid() ? query_.lastError().text() : QString();
}

QVariantList measure(const QStringList& expressions, const QString& group) {
    QSqlQuery q(Database::connection());
    QVariantList binds;
    run(q, QStringLiteral("SELECT ") + expressions.join(QStringLiteral(", ")) + from(group, binds),
        binds);
    QVariantList values;
    if (q.next())
        for (int i = 0; i < expressions.size(); ++i)
            values << q.value(i);
    return values;
}

QStringList distinct(const QString& field) {
    QSqlQuery q(Database::connection());
    q.setForwardOnly(true);
    Database::exec(q, QStringLiteral("SELECT DISTINCT %1 FROM \"ide\"").arg(field));
    QStringList values;
    while (q.next())
        values << q.value(0).toString();
    return values;
}

} // namespace Subjects
