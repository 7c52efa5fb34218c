#pragma once

#include <QString>

// The subjects as the export and the statistics read them: each ide row ("i") with its first
// Answer row ("a"), found by the index on Code; those of one group when group is not empty
// (its value then bound as the query's one parameter).
inline QString subjectsFrom(const QString& group = {}) {
    QString from =
        QStringLiteral(" FROM \"ide\" i LEFT JOIN \"Answer\" a ON a.rowid = (SELECT rowid "
                       "FROM \"Answer\" WHERE \"Code\" = i.\"Code\" ORDER BY rowid LIMIT 1)");
    if (!group.isEmpty())
        from += QStringLiteral(" WHERE i.\"Group\" = ?");
    return from;
}
