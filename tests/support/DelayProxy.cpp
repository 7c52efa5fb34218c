#include "tests/support/DelayProxy.h"

#include <QFile>
#include <arpa/inet.h>
#include <chrono>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Piece {
    Clock::time_point due;
    std::vector<char> bytes;
};

// One client's connection: bytes each way wait in order until they are due.
struct Link {
    int client = -1, server = -1;
    std::deque<Piece> toServer, toClient;
    bool serverSpoke = true; // the first words of the client open a round trip
};

} // namespace

DelayProxy::DelayProxy(const QString& unixSocket, int oneWayMicroseconds)
    : target_(unixSocket), delay_(oneWayMicroseconds) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    if (::pipe(wake_) != 0)
        return;
    thread_ = std::thread([this] { run(); });
}

DelayProxy::~DelayProxy() {
    stop_ = true;
    if (wake_[1] >= 0 && ::write(wake_[1], "x", 1) < 0) {
        // the thread still ends at its next poll
    }
    if (thread_.joinable())
        thread_.join();
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0)
            ::close(fd);
}

void DelayProxy::run() {
    std::vector<Link> links;
    const auto delay = std::chrono::microseconds(delay_);
    while (!stop_) {
        std::vector<pollfd> fds{{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        Clock::time_point next = Clock::now() + std::chrono::seconds(1);
        for (const Link& l : links) {
            fds.push_back({l.client, POLLIN, 0});
            fds.push_back({l.server, POLLIN, 0});
            for (const auto* q : {&l.toServer, &l.toClient})
                if (!q->empty())
                    next = std::min(next, q->front().due);
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::microseconds>(next - Clock::now());
        timespec timeout{0, long(std::max<long long>(0, wait.count())) * 1000};
        ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (fds[0].revents & POLLIN) {
            Link l;
            l.client = ::accept(listener_, nullptr, nullptr);
            const int on = 1;
            ::setsockopt(l.client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            l.server = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray path = QFile::encodeName(target_);
            std::copy(path.begin(), path.end(), address.sun_path);
            if (::connect(l.server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                links.push_back(std::move(l));
            else
                ::close(l.client), ::close(l.server);
        }
        const Clock::time_point now = Clock::now();
        const size_t polled = (fds.size() - 2) / 2; // a link accepted just now was not
        for (size_t i = 0; i < polled; ++i) {
            Link& l = links[i];
            bool closed = false;
            for (int side = 0; side < 2; ++side) {
                const pollfd& p = fds[2 + 2 * i + side];
                if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                std::vector<char> bytes(65536);
                const ssize_t n = ::read(p.fd, bytes.data(), bytes.size());
                if (n <= 0) {
                    closed = true;
                    continue;
                }
                bytes.resize(size_t(n));
                if (side == 0) {
                    if (l.serverSpoke)
                        ++roundTrips_;
                    l.serverSpoke = false;
                    l.toServer.push_back({now + delay, std::move(bytes)});
                } else {
                    l.serverSpoke = true;
                    l.toClient.push_back({now + delay, std::move(bytes)});
                }
            }
            for (auto [queue, fd] : {std::pair{&l.toServer, l.server}, {&l.toClient, l.client}})
                while (!queue->empty() && queue->front().due <= Clock::now()) {
                    const std::vector<char>& b = queue->front().bytes;
                    if (::write(fd, b.data(), b.size()) != ssize_t(b.size()))
                        closed = true;
                    queue->pop_front();
                }
            if (closed) {
                ::close(l.client);
                ::close(l.server);
                links.erase(links.begin() + long(i));
                break; // the poll list no longer matches: poll again
            }
        }
    }
    for (Link& l : links) {
        ::close(l.client);
        ::close(l.server);
    }
}
