#include "HttpTestServer.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

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
        QByteArray out =
            "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reply.reason + "\r\n";
        for (const auto& [name, value] : reply.headers)
            out += name + ": " + value + "\r\n";
        if (reply.contentLength)
            out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        out += "Connection: close\r\n\r\n";
        out += reply.cutAfter >= 0 ? reply.body.left(reply.cutAfter) : reply.body;
        guard->write(out);
        guard->disconnectFromHost();
    });
}
