#include "data/Subjects.h"

#include "data/Database.h"
#include "data/Deadline.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <sqlite3.h>

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
    const QString sql = QStringLiteral("SELECT ") + expressions.join(QStringLiteral(", ")) +
                        from(group, binds) + QStringLiteral(" ORDER BY i.") + Database::rowColumn();
    const QSqlDatabase db = Database::connection();
    if (db.driverName() == QLatin1String("QSQLITE")) {
        sqlite3* handle = *static_cast<sqlite3* const*>(db.driver()->handle().constData());
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &raw_, nullptr) !=
            SQLITE_OK)
            throw DataError(QString::fromUtf8(sqlite3_errmsg(handle)));
        for (int i = 0; i < binds.size(); ++i) {
            const QByteArray value = binds[i].toString().toUtf8();
            sqlite3_bind_text(raw_, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        }
    } else {
        run(query_, sql, binds);
    }
    reading_ = std::make_unique<Deadline::Wait>(query_);
}

Cursor::~Cursor() {
    sqlite3_finalize(raw_);
}

bool Cursor::next() {
    if (raw_) {
        const int step = sqlite3_step(raw_);
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            rawError_ = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(raw_)));
        return step == SQLITE_ROW;
    }
    converted_.clear();
    if (!query_.next())
        return false;
    if (++rows_ % 256 == 0)
        reading_->extend(); // rows still come: the server is answering
    return true;
}

QVariant Cursor::value(int i) const {
    if (!raw_)
        return query_.value(i);
    if (sqlite3_column_type(raw_, i) == SQLITE_NULL)
        return {};
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw_, i));
    return QString::fromUtf8(text, sqlite3_column_bytes(raw_, i));
}

QByteArrayView Cursor::utf8(int i) {
    if (raw_) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw_, i));
        return text ? QByteArrayView(text, sqlite3_column_bytes(raw_, i)) : QByteArrayView();
    }
    if (converted_.isEmpty())
        for (int c = 0; c < query_.record().count(); ++c)
            converted_ << query_.value(c).toString().toUtf8();
    return converted_.value(i);
}

QString Cursor::failure() const {
    if (!rawError_.isEmpty())
        return rawError_;
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
