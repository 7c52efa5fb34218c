#include "update/transfer/Inet.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {
// What a fetch keeps of its reply while it arrives.
const char* const kKept = "vornKept";
const char* const kCapped = "vornCapped";
} // namespace

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
    // At most five redirects, and never from https down to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    return request;
}

// A fetch keeps the first limit bytes and stops there; it follows a redirect only on the
// maker's own host, and the whole request has a deadline.
QNetworkReply* Inet::startFetch(const QString& url, qint64 limit) {
    QNetworkRequest req = request(url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply* reply = manager_->get(req);
    reply->setProperty(kKept, QByteArray(""));
    const QUrl origin(url);
    connect(reply, &QNetworkReply::redirected, reply, [reply, origin](const QUrl& to) {
        const bool sameHost = to.host().compare(origin.host(), Qt::CaseInsensitive) == 0;
        const bool noLessSafe =
            to.scheme() == origin.scheme() ||
            (origin.scheme() == QLatin1String("http") && to.scheme() == QLatin1String("https"));
        if (sameHost && noLessSafe && to.port(-1) == origin.port(-1))
            Q_EMIT reply->redirectAllowed();
        else
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, limit] {
        QByteArray kept = reply->property(kKept).toByteArray();
        kept += reply->read(limit - kept.size());
        reply->setProperty(kKept, kept);
        if (kept.size() >= limit) {
            reply->setProperty(kCapped, true);
            reply->abort();
        }
    });
    QTimer::singleShot(timeout_, reply, [reply] { reply->abort(); });
    return reply;
}

void Inet::abortFetch() {
    for (QNetworkReply* reply : {fetch_.data(), waited_.data()})
        if (reply)
            reply->abort();
}

// Only a successful reply has a body worth reading: an error page must not pass for content.
// A reply stopped at the limit is successful as far as it came.
QByteArray Inet::body(QNetworkReply* reply) {
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool capped = reply->property(kCapped).toBool();
    if ((!capped && reply->error() != QNetworkReply::NoError) || status < 200 || status > 299)
        return {};
    return reply->property(kKept).toByteArray(); // an empty body is still a body, not null
}

QByteArray Inet::fetchBytes(const QString& url, qint64 limit) {
    QNetworkReply* reply = startFetch(url, limit);
    waited_ = reply;
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    waited_ = nullptr;
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
    fetch_ = startFetch(url, FetchLimit);
    connect(fetch_, &QNetworkReply::finished, this, [this, reply = fetch_.data()] {
        const QString text = QString::fromUtf8(body(reply));
        reply->deleteLater();
        fetch_ = nullptr;
        Q_EMIT textFetched(text);
    });
}

void Inet::execute(const QString& operation, const QString& requestHeaders) {
    cancel();
    operation_ = operation;
    requestHeaders_ = requestHeaders;
    redirects_ = 0;
    send(url_);
}

// Redirects of a request are followed here, one fresh request each: Qt's own following can mix
// the headers of a redirect into the final reply's ("Content-Length: 0, 5000").
void Inet::send(const QString& address) {
    QNetworkRequest req = request(address);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::ManualRedirectPolicy);
    const QStringList lines = requestHeaders_.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0)
            req.setRawHeader(line.left(colon).trimmed().toLatin1(),
                             line.mid(colon + 1).trimmed().toLatin1());
    }
    reply_ = manager_->sendCustomRequest(req, operation_.toLatin1());
    // The body is read piece by piece: it waits at the connection, not in memory.
    reply_->setReadBufferSize(256 * 1024);
}

// At most five redirects, and never from https down to http; past that the 3xx is the reply.
bool Inet::followRedirect() {
    if (!reply_ || !reply_->isFinished())
        return false;
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl to =
        reply_->url().resolved(QUrl(QString::fromLatin1(reply_->rawHeader("Location"))));
    if (status < 300 || status > 399 || !reply_->hasRawHeader("Location") || !to.isValid() ||
        redirects_ >= 5 ||
        (reply_->url().scheme() == QLatin1String("https") &&
         to.scheme() != QLatin1String("https")) ||
        (to.scheme() != QLatin1String("http") && to.scheme() != QLatin1String("https")))
        return false;
    ++redirects_;
    QNetworkReply* old = reply_;
    reply_ = nullptr;
    old->deleteLater();
    url_ = to.toString();
    send(url_);
    return true;
}

void Inet::waitForReply() {
    do {
        if (!stillExecuting())
            continue;
        QEventLoop loop;
        connect(reply_, &QNetworkReply::metaDataChanged, &loop, &QEventLoop::quit);
        connect(reply_, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        connect(reply_, &QObject::destroyed, &loop, &QEventLoop::quit);
        while (stillExecuting())
            loop.exec();
    } while (followRedirect());
}

// A 3xx reply is waited for to its end: then it is followed, or it is the reply (a redirect
// refused, or one too many).
bool Inet::stillExecuting() const {
    if (!reply_ || reply_->isFinished())
        return false;
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return true;
    return status.toInt() >= 300 && status.toInt() < 400;
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
    QByteArray piece;
    getChunk(piece, size);
    return piece;
}

void Inet::getChunk(QByteArray& piece, int size) {
    piece.resize(0);
    if (!reply_ || size <= 0)
        return;
    if (reply_->bytesAvailable() == 0 && !reply_->isFinished()) {
        QEventLoop loop;
        connect(reply_, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
        connect(reply_, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        connect(reply_, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!reply_)
        return;
    piece.resize(size);
    const qint64 n = reply_->read(piece.data(), size);
    piece.resize(n > 0 ? qsizetype(n) : 0);
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
