#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class QTcpServer;
class QTcpSocket;

// A scriptable HTTP server on 127.0.0.1 for the transfer layer's tests. Each path gets a reply;
// unknown paths get 404. It runs on the test's own event loop.
class HttpTestServer : public QObject {
    Q_OBJECT
public:
    struct Reply {
        int status = 200;
        QByteArray reason = "OK";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool contentLength = true; // add a Content-Length of the whole body
        int delayMs = 0;           // before anything is sent
        bool neverAnswer = false;  // keep the connection open and silent
        int cutAfter = -1;         // send only this many body bytes, then close
        bool chunked = false;      // chunked transfer encoding (with no Content-Length)
        qint64 repeat = 1;         // the body sent this many times over, as the socket drains
        int trickleMs = 0;         // one byte of the body every so many milliseconds
    };
    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    explicit HttpTestServer(QObject* parent = nullptr);
    ~HttpTestServer() override;

    quint16 port() const;
    QString url(const QString& path) const;
    void route(const QByteArray& path, const Reply& reply) { routes_[path] = reply; }

    QList<Request> requests;

private:
    void serve(QTcpSocket* socket);

    QTcpServer* server_;
    QHash<QByteArray, Reply> routes_;
};
