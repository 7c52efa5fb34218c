#include "data/Deadline.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <chrono>
#include <condition_variable>
#include <libpq-fe.h>
#include <list>
#include <mutex>
#include <sys/socket.h>
#include <thread>

namespace Deadline {

using Clock = std::chrono::steady_clock;

struct Wait::Entry {
    int socket = -1;
    std::atomic<Clock::rep> until{0};
    Clock::time_point deadline() const { return Clock::time_point(Clock::duration(until)); }
    void start() {
        until = (Clock::now() + std::chrono::seconds(Seconds)).time_since_epoch().count();
    }
    std::atomic<bool> cut{false};
};

namespace {

// One watchdog for the process, started at the first wait and stopped at exit.
class Watchdog {
public:
    static Watchdog& get() {
        static Watchdog dog;
        return dog;
    }
    void add(const std::shared_ptr<Wait::Entry>& entry) {
        {
            std::lock_guard lock(mutex_);
            waits_.push_back(entry);
            if (!thread_.joinable())
                thread_ = std::thread([this] { watch(); });
        }
        changed_.notify_one();
    }
    void remove(const std::shared_ptr<Wait::Entry>& entry) {
        std::lock_guard lock(mutex_);
        waits_.remove(entry);
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

private:
    void watch() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            Clock::time_point next = Clock::now() + std::chrono::hours(1);
            for (const auto& wait : waits_) {
                if (wait->cut)
                    continue;
                if (wait->deadline() <= Clock::now()) {
                    // Marked before the cut: the blocked call may return and ask before
                    // this thread runs again.
                    wait->cut = true;
                    ::shutdown(wait->socket, SHUT_RDWR);
                } else {
                    next = std::min(next, wait->deadline());
                }
            }
            changed_.wait_until(lock, next);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::list<std::shared_ptr<Wait::Entry>> waits_;
    std::thread thread_;
    bool stopping_ = false;
};

} // namespace

QString notAnswered() {
    return QString::fromUtf8("سرور پایگاه داده در %1 ثانیه پاسخ نداد.").arg(Seconds);
}

Wait::Wait(const QSqlDatabase& connection) {
    if (connection.driverName() == QLatin1String("QPSQL") && connection.isOpen())
        arm(connection.driver()->handle());
}

Wait::Wait(const QSqlQuery& query) {
    const QSqlDriver* driver = query.driver();
    if (driver && driver->dbmsType() == QSqlDriver::PostgreSQL && driver->isOpen())
        arm(driver->handle());
}

void Wait::arm(const QVariant& handle) {
    // The driver hands out the client library's connection (PGconn, struct pg_conn).
    if (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return;
    PGconn* pg = *static_cast<PGconn* const*>(handle.constData());
    const int socket = pg ? PQsocket(pg) : -1;
    if (socket < 0)
        return;
    entry_ = std::make_shared<Entry>();
    entry_->socket = socket;
    entry_->start();
    Watchdog::get().add(entry_);
}

Wait::~Wait() {
    if (entry_)
        Watchdog::get().remove(entry_);
}

void Wait::extend() {
    if (entry_)
        entry_->start();
}

bool Wait::expired() const {
    return entry_ && entry_->cut;
}

} // namespace Deadline
