#pragma once

#include "data/Engine.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QPointer>
#include <memory>
#include <vector>

namespace Database {

// The database as one SQLite file: made with the delivered content, judged before it is used
// (its format, every page, exactly the program's schema), and copied whole for a backup.
class FileEngine final : public Engine {
public:
    // No file open: what the connection holds between open() calls.
    FileEngine() = default;
    ~FileEngine() override; // waits for a page check still running

    // Opens the program's connection on the file at path, making it when missing; the engine
    // for it is handed over through engine when it opened.
    static OpenResult open(const QString& path, PageCheck check, std::unique_ptr<Engine>* engine);
    static QString createFile(const QString& path);
    static QString checkFile(const QString& path);
    // What use makes of a read-only connection of its own to the file at path; the driver's
    // error when the file does not open.
    static QString readOnly(const QString& path, const QString& name,
                            const std::function<QString(QSqlDatabase&)>& use);

    Kind kind() const override { return Kind::File; }
    QString rowColumn() const override { return QStringLiteral("rowid"); }
    QString isSame() const override { return QStringLiteral(" IS ?"); }
    QString sameText(const QString& column, const QString& other) const override;
    QString sameText(const QString& column, const QVariant& value,
                     QVariantList& binds) const override;
    QString returningRow() const override { return {}; }
    QString byteLength(const QString& expression) const override;
    QStringList storedColumns(QSqlDatabase& db, const QString& table) const override;
    QString distinctThroughIndex(const QString& table, const QString& field) const override;
    bool valuesInText() const override { return false; }
    QString outermostBegin() const override { return {}; }
    QString snapshotBegin() const override { return {}; }
    bool isLost(const QSqlError&) const override { return false; }
    [[noreturn]] void fail(const QSqlError& error, bool lost) const override;
    void stamp(QSqlDatabase& db, const QString& table, qint64 viewChanges, Stamp& s) const override;
    void whenPagesChecked(QObject* context, std::function<void(const QString&)> done) override;
    QString pagesRefusal() override;
    void closed() override;
    QString backupTo(const QString& target, const std::function<void()>& between) override;
    QString restoreFrom(const QString& source, const QString& programFolder,
                        const std::function<void()>& between) override;

    // The record beside the file of its last whole check.
    static QString checkedPath(const QString& path);
    static constexpr qint64 TrustedSeconds = 7 * 24 * 3600;

private:
    FileEngine(const QString& path, bool checkBeside, qint64 checkedAt);
    void startPagesCheck();
    void tellWaiting();

    QString path_;
    bool checkBeside_ = false; // every page is checked beside what the program does next
    bool started_ = false;
    qint64 checkedAt_ = 0;   // when every page was last found whole (seconds since the epoch)
    QFuture<QString> check_; // the refusal, or empty
    std::unique_ptr<QFutureWatcher<QString>> watcher_;
    std::vector<std::pair<QPointer<QObject>, std::function<void(const QString&)>>> waiting_;
};

} // namespace Database
