#pragma once

#include "data/Engine.h"
#include "data/Server.h"

#include <memory>

namespace Database {

// The database on a PostgreSQL server that several desks share: connected within a deadline,
// its catalog checked to be exactly what the program makes (or made, first use, by one desk at
// a time), each table numbering its rows and counting its changes, and the server's errors said
// in the user's words.
class ServerEngine final : public Engine {
public:
    // Opens the program's connection on the server; the engine for it is handed over through
    // engine when it opened.
    static OpenResult open(const ServerSettings& settings, std::unique_ptr<Engine>* engine);
    // See Database::testServer.
    static QString test(const ServerSettings& settings, bool* usable);

    static constexpr auto RowColumn = "vorn_row";
    // Characters of a text a server index holds: four bytes each at most, within an entry's
    // limit.
    static constexpr int Prefix = 600;

    Kind kind() const override { return Kind::Server; }
    QString rowColumn() const override { return QString::fromLatin1(RowColumn); }
    QString isSame() const override { return QStringLiteral(" IS NOT DISTINCT FROM ?"); }
    QString sameText(const QString& column, const QString& other) const override;
    QString sameText(const QString& column, const QVariant& value,
                     QVariantList& binds) const override;
    QString returningRow() const override;
    QString byteLength(const QString& expression) const override;
    QStringList storedColumns(QSqlDatabase& db, const QString& table) const override;
    QString distinctThroughIndex(const QString& table, const QString& field) const override;
    bool valuesInText() const override { return true; }
    QString stampsQuery(const QStringList& tables) const override;
    QString outermostBegin() const override { return QStringLiteral("BEGIN"); }
    QString snapshotBegin() const override;
    bool isLost(const QSqlError& error) const override;
    [[noreturn]] void fail(const QSqlError& error, bool lost) const override;
    void stamp(QSqlDatabase& db, const QString& table, qint64 viewChanges, Stamp& s) const override;
    QString backupTo(const QString& target, const std::function<void()>& between) override;
    QString restoreFrom(const QString& source, const QString& programFolder,
                        const std::function<void()>& between) override;
};

} // namespace Database
