#include "Inet.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

Inet::Inet(QObject* parent) : QObject(parent), manager_(new QNetworkAccessManager(this)) {}

// A fetch still running is dropped unheard: its owner is going away.
Inet::~Inet() {
    if (fetch_) {
        fetch_->disconnect(this);
        fetch_->abort();
    }
    cancel();
}

QNetworkRequest Inet::request(const QString& address) const {
    QUrl url(address);
    if (!userName_.isEmpty())
        url.setUserName(userName_);
    if (!password_.isEmpty())
        url.setPassword(password_);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeout_);
    return request;
}

// Only a successful reply has a body worth reading: an error page must not pass for content.
QByteArray Inet::body(QNetworkReply* reply) {
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299)
        return {};
    QByteArray data = reply->readAll();
    if (data.isNull())
        data = QByteArray(""); // an empty body is still a body
    return data;
}

QString Inet::bodyText(QNetworkReply* reply) {
    return QString::fromUtf8(body(reply));
}

QByteArray Inet::fetchBytes(const QString& url) {
    QNetworkReply* reply = manager_->get(request(url));
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    const QByteArray data = body(reply);
    reply->deleteLater();
    return data;
}

QString Inet::openUrl(const QString& url) {
    return QString::fromUtf8(fetchBytes(url));
}

void Inet::fetchText(const QString& url) {
    if (fetch_)
        return;
    fetch_ = manager_->get(request(url));
    connect(fetch_, &QNetworkReply::finished, this, [this, reply = fetch_.data()] {
        const QString text = bodyText(reply);
        reply->deleteLater();
        fetch_ = nullptr;
        Q_EMIT textFetched(text);
    });
}

void Inet::execute(const QString& operation, const QString& requestHeaders) {
    cancel();
    QNetworkRequest req = request(url_);
    const QStringList lines = requestHeaders.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0)
            req.setRawHeader(line.left(colon).trimmed().toLatin1(),
                             line.mid(colon + 1).trimmed().toLatin1());
    }
    reply_ = manager_->sendCustomRequest(req, operation.toLatin1());
    // The body is read piece by piece: it waits at the connection, not in memory.
    reply_->setReadBufferSize(256 * 1024);
}

bool Inet::stillExecuting() const {
    return reply_ && !reply_->isFinished() &&
           !reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

QString Inet::responseHeaders() const {
    if (!reply_)
        return {};
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return {};
    QString block =
        QStringLiteral("HTTP/1.1 %1 %2\r\n")
            .arg(status.toInt())
            .arg(QString::fromLatin1(
                reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray()));
    for (const auto& [name, value] : reply_->rawHeaderPairs())
        block += QString::fromLatin1(name + ": " + value) + QStringLiteral("\r\n");
    return block + QStringLiteral("\r\n");
}

QString Inet::responseHeader(const QString& name) const {
    if (!reply_)
        return {};
    return QString::fromLatin1(reply_->rawHeader(name.toLatin1()));
}

QByteArray Inet::getChunk(int size) {
    if (!reply_ || size <= 0)
        return {};
    if (reply_->bytesAvailable() == 0 && !reply_->isFinished()) {
        QEventLoop loop;
        connect(reply_, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
        connect(reply_, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        connect(reply_, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return reply_ ? reply_->read(size) : QByteArray();
}

bool Inet::failed() const {
    return reply_ && reply_->isFinished() && reply_->error() != QNetworkReply::NoError;
}

void Inet::cancel() {
    if (!reply_)
        return;
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->abort();
    reply->deleteLater();
}
