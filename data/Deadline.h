#pragma once

#include <QSqlDatabase>
#include <atomic>
#include <memory>

class QSqlQuery;

// Every wait for a database server has a deadline. A server whose processes are stopped, or a
// lock another session holds, must not freeze the window: the server's kernel still answers, so
// TCP keepalives never notice. A watchdog thread shuts the waiting connection's socket down once
// the wait has lasted Seconds; the blocked call then returns with a failure, which the caller
// reports as a server that does not answer.
namespace Deadline {

constexpr int Seconds = 10;
// The server gives up waiting for a lock before the deadline cuts the connection, so that a lock
// another session holds is told apart from a server that does not answer.
constexpr int LockSeconds = 7;

// "The server did not answer within the deadline", in the user's words.
QString notAnswered();

// Arms the deadline for one wait on the connection (nothing for a connection that is not to a
// server); disarmed when it goes out of scope.
class Wait {
public:
    explicit Wait(const QSqlDatabase& connection);
    explicit Wait(const QSqlQuery& query);
    ~Wait();
    Wait(const Wait&) = delete;
    Wait& operator=(const Wait&) = delete;
    // The deadline passed and the connection was cut.
    bool expired() const;
    // Starts the deadline afresh: a long read that keeps receiving rows calls it as it goes.
    void extend();

    struct Entry;

private:
    void arm(const QVariant& handle);
    std::shared_ptr<Entry> entry_;
};

} // namespace Deadline
