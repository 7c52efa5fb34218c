#include "data/Connection.h"

#include "data/Deadline.h"
#include "data/FileEngine.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <utility>

namespace Database {

const QString Connection::Name = QStringLiteral("vorn");

namespace {
// Once, within the deadline; whether the deadline passed is told through late.
bool runOnce(QSqlQuery& q, const QString* sql, const std::function<bool()>& then, bool* late) {
    const Deadline::Wait wait(q);
    const bool ok = (sql ? q.exec(*sql) : q.exec()) && (!then || then());
    *late = wait.expired();
    return ok;
}
} // namespace

Connection::Connection() : engine_(std::make_unique<FileEngine>()) {}

Connection& Connection::current() {
    static Connection connection;
    return connection;
}

void Connection::use(std::unique_ptr<Engine> engine) {
    engine_ = std::move(engine);
}

void Connection::close() {
    depth = 0;
    pendingBegin.clear();
    lost = false;
    if (QSqlDatabase::contains(Name)) {
        QSqlDatabase::database(Name, false).close();
        QSqlDatabase::removeDatabase(Name);
    }
    engine_->closed();
    engine_ = std::make_unique<FileEngine>(); // waits for a page check still running
}

bool Connection::isOpen() const {
    return QSqlDatabase::contains(Name) && QSqlDatabase::database(Name, false).isOpen();
}

QSqlDatabase Connection::database() {
    if (lost && QSqlDatabase::contains(Name)) {
        QSqlDatabase db = QSqlDatabase::database(Name, false);
        db.close();
        if (!db.open())
            throw DataError(
                QString::fromUtf8("سرور پایگاه داده هنوز در دسترس نیست؛ کمی بعد دوباره امتحان "
                                  "کنید.\n") +
                connectionProblem(db.lastError().text()));
        lost = false;
        depth = 0;
        pendingBegin.clear();
        return db;
    }
    if (!isOpen())
        throw DataError(QString::fromUtf8("پایگاه داده باز نیست."));
    return QSqlDatabase::database(Name, false);
}

bool Connection::owns(const QSqlQuery& q) const {
    return QSqlDatabase::contains(Name) &&
           QSqlDatabase::database(Name, false).driver() == q.driver();
}

void Connection::fail(const QSqlQuery& q, bool late) {
    const QSqlError error = q.lastError();
    // Only the program's own connection is marked; a try of the settings panel (on a thread of
    // its own) is said the same way and leaves it alone.
    const bool gone = late || engine_->isLost(error);
    if (gone && owns(q)) {
        lost = true;
        depth = 0;
    }
    if (late)
        throw DataError(
            QString::fromUtf8(
                "سرور پایگاه داده در %1 ثانیه پاسخ نداد؛ این کار ذخیره نشد و چیزی "
                "نیمه‌کاره نماند. ببینید سرور روشن و در دسترس است و دوباره امتحان "
                "کنید: برنامه خودش دوباره وصل می‌شود.")
                .arg(Deadline::Seconds));
    engine_->fail(error, gone);
    Q_UNREACHABLE();
}

void Connection::run(QSqlQuery& q, const QString* sql, const std::function<bool()>& then) {
    // Found gone before any transaction began (the server was restarted, or ended this
    // session, while the desk was idle): nothing was lost, so connect again and go on.
    if (pendingBegin.isEmpty()) {
        attempt(q, sql, then, depth == 0);
        return;
    }
    // A beginning held back goes with the statement; nothing has begun on the server before
    // it, so the same holds.
    const QString begin = std::exchange(pendingBegin, {});
    const auto readBegin = std::exchange(begun, {});
    if (sql) {
        const QString text = begin + QStringLiteral("; ") + *sql;
        attempt(
            q, &text, [&] { return readBegin(q) && q.nextResult() && (!then || then()); }, true);
        return;
    }
    QSqlQuery b(database());
    b.setForwardOnly(true);
    attempt(
        b, &begin, [&] { return readBegin(b); }, true);
    attempt(q, nullptr, then, false);
}

void Connection::attempt(QSqlQuery& q, const QString* sql, const std::function<bool()>& then,
                         bool again) {
    const int held = depth;
    bool late = false;
    if (runOnce(q, sql, then, &late))
        return;
    if (!owns(q) || !again || late || !engine_->isLost(q.lastError()))
        fail(q, late);
    const QString text = sql ? *sql : q.lastQuery();
    const QVariantList values = q.boundValues();
    lost = true;
    database();   // connects again, or throws that the server cannot be reached yet
    depth = held; // a transaction whose beginning goes with the statement is still to begin
    if (!sql) {
        const Deadline::Wait wait(q);
        q.prepare(text);
        if (wait.expired())
            fail(q, true);
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
    }
    if (!runOnce(q, sql, then, &late))
        fail(q, late);
}

} // namespace Database
