#pragma once

#include "data/Database.h"

#include <QString>

// The subjects as the export and the statistics read them: each ide row ("i") with its first
// Answer row ("a"), found by the index on Code; those of one group when group is not empty
// (its value then added to binds).
inline QString subjectsFrom(const QString& group = {}, QVariantList* binds = nullptr) {
    QString from =
        QStringLiteral(" FROM \"ide\" i LEFT JOIN \"Answer\" a ON a.%1 = (SELECT %1 "
                       "FROM \"Answer\" WHERE %2 ORDER BY %1 LIMIT 1)")
            .arg(Database::rowColumn(),
                 Database::sameText(QStringLiteral("\"Code\""), QStringLiteral("i.\"Code\"")));
    if (!group.isEmpty())
        from += QStringLiteral(" WHERE ") +
                Database::sameText(QStringLiteral("i.\"Group\""), group, *binds);
    return from;
}

// The subjects in stored order.
inline QString subjectsInOrder() {
    return QStringLiteral(" ORDER BY i.") + Database::rowColumn();
}
