#include "data/Engine.h"

#include "data/Content.h"

#include <QSqlQuery>

namespace Database {

void addDelivered(QSqlDatabase& db) {
    QSqlQuery q(db);
    for (const Tables::Rows& rows : Tables::delivered()) {
        QStringList marks;
        for (qsizetype i = 0; i < rows.fields.size(); ++i)
            marks << QStringLiteral("?");
        q.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(quoted(rows.table), quotedList(rows.fields), marks.join(QLatin1Char(','))));
        for (const QStringList& values : rows.values) {
            for (int i = 0; i < values.size(); ++i)
                q.bindValue(i, values[i]);
            exec(q);
        }
    }
}

} // namespace Database
