#include "tests/support/HttpTestServer.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <memory>

HttpTestServer::HttpTestServer(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
    server_->listen(QHostAddress::LocalHost, 0);
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

HttpTestServer::~HttpTestServer() = default;

quint16 HttpTestServer::port() const {
    return server_->serverPort();
}

QString HttpTestServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void HttpTestServer::serve(QTcpSocket* socket) {
    QByteArray data = socket->property("pending").toByteArray() + socket->readAll();
    const qsizetype end = data.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("pending", data);
        return;
    }
    socket->setProperty("pending", QByteArray());
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);

    Request request;
    const QList<QByteArray> lines = data.left(end).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.path = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
    }
    requests.append(request);

    Reply reply;
    if (routes_.contains(request.path)) {
        reply = routes_.value(request.path);
    } else {
        reply.status = 404;
        reply.reason = "Not Found";
        reply.body = "404 Not Found";
    }
    if (reply.neverAnswer)
        return;

    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(reply.delayMs, this, [guard, reply] {
        if (!guard)
            return;
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reply.reason + "\r\n";
        for (const auto& [name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        if (reply.chunked)
            head += "Transfer-Encoding: chunked\r\n";
        else if (reply.contentLength)
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        guard->write(head);
        // The body goes out piece by piece: repeated, trickled or cut as the reply says.
        auto sent = std::make_shared<qint64>(0);
        const qint64 total = reply.body.size() * reply.repeat;
        const qint64 limit = reply.cutAfter >= 0 ? std::min<qint64>(reply.cutAfter, total) : total;
        auto piece = [reply, sent, limit](qint64 most) {
            QByteArray out;
            while (*sent < limit && out.size() < most) {
                const qint64 at = *sent % reply.body.size();
                const qint64 n = std::min(
                    {qint64(reply.body.size()) - at, limit - *sent, most - qint64(out.size())});
                out += reply.body.mid(at, n);
                *sent += n;
            }
            if (reply.chunked && !out.isEmpty())
                out = QByteArray::number(out.size(), 16) + "\r\n" + out + "\r\n";
            if (*sent == limit && reply.chunked && reply.cutAfter < 0)
                out += "0\r\n\r\n";
            return out;
        };
        auto finish = [guard] {
            if (guard)
                guard->disconnectFromHost();
        };
        if (limit == 0) {
            guard->write(piece(0));
            finish();
        } else if (reply.trickleMs > 0) {
            auto* timer = new QTimer(guard);
            QObject::connect(timer, &QTimer::timeout, guard, [=] {
                guard->write(piece(1));
                if (*sent == limit) {
                    timer->stop();
                    finish();
                }
            });
            timer->start(reply.trickleMs);
        } else {
            auto more = [=] {
                if (!guard || guard->bytesToWrite() > 256 * 1024)
                    return;
                if (*sent == limit) {
                    finish();
                    return;
                }
                guard->write(piece(64 * 1024));
            };
            QObject::connect(guard, &QTcpSocket::bytesWritten, guard, more);
            more();
        }
    });
}
