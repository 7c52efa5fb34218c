#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <thread>

// A clinic's network on this machine: a TCP port on 127.0.0.1 in front of a server's Unix
// socket that holds every byte half a round trip each way before passing it on, and counts the
// round trips (each time a client speaks again after the server has answered).
class DelayProxy {
public:
    DelayProxy(const QString& unixSocket, int oneWayMicroseconds);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    int port() const { return port_; }
    long roundTrips() const { return roundTrips_; }

private:
    void run();

    QString target_;
    int delay_;
    int listener_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::atomic<long> roundTrips_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
