#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The Internet transfer layer both programs use. All calls are made on the UI thread.
class Inet : public QObject {
    Q_OBJECT
public:
    explicit Inet(QObject* parent = nullptr);
    ~Inet() override;

    // A fetch keeps at most this much of a reply: only the beginning of the version file
    // matters, and a reply that never ends must not fill the memory.
    static constexpr int FetchLimit = 4096;

    // Time after which a request is given up (60 s by default): for a download, time without
    // progress; for a fetch, the whole request, also against a server that trickles bytes.
    void setRequestTimeout(int milliseconds) { timeout_ = milliseconds; }

    // 1. Fetch as text: one GET, waiting for the reply while the windows go on (the user may
    // close them: abortFetch() ends the wait). Any failure, including an error status, gives
    // an empty text. Redirects are followed only on the same host (http may become https).
    QString openUrl(const QString& url);
    // The same fetch for bytes, keeping at most limit bytes; a null array on any failure.
    QByteArray fetchBytes(const QString& url, qint64 limit = FetchLimit);
    // The same fetch without waiting: textFetched() follows. At most one is in flight;
    // a call while one runs is ignored.
    void fetchText(const QString& url);
    bool isFetching() const { return !fetch_.isNull(); }
    // Ends the fetch in flight, or the one waited for, as a failure.
    void abortFetch();

    // 2. Address, user name and password of the next request.
    void setUrl(const QString& url) { url_ = url; }
    void setUserName(const QString& name) { userName_ = name; }
    void setPassword(const QString& password) { password_ = password; }

    // 3. Starts a request with extra header lines ("Name: value" CR LF ...); returns at once.
    void execute(const QString& operation, const QString& requestHeaders = {});
    // 4. Whether the started request is still waiting for its reply.
    bool stillExecuting() const;
    // Sleeps until the started request has its reply (after any redirects), ends or is
    // cancelled; the windows go on meanwhile.
    void waitForReply();
    // 5. The reply's header block, status line first, lines ended by CR LF; empty with no reply.
    QString responseHeaders() const;
    // 6. One header's value, empty when missing.
    QString responseHeader(const QString& name) const;
    // 7. The next body piece of at most size bytes; empty when the body is exhausted.
    QByteArray getChunk(int size);
    // The same into piece, whose storage is kept from one call to the next (a download of 100 MB
    // reads 100,000 pieces).
    void getChunk(QByteArray& piece, int size);
    // Whether the request ended in a transfer error (a reply cut short, a time-out).
    bool failed() const;
    // 8. Abandons the running request.
    void cancel();
    // 9. The address of the request (after redirects, the one that answered).
    const QString& url() const { return url_; }

Q_SIGNALS:
    void textFetched(const QString& text);

private:
    QNetworkRequest request(const QString& url) const;
    void send(const QString& address);
    bool followRedirect();
    QNetworkReply* startFetch(const QString& url, qint64 limit);
    static QByteArray body(QNetworkReply* reply);

    QNetworkAccessManager* manager_;
    int timeout_ = 60000;
    QString url_;
    QString operation_;
    QString requestHeaders_;
    int redirects_ = 0;
    QString userName_;
    QString password_;
    QPointer<QNetworkReply> reply_;
    QPointer<QNetworkReply> fetch_;
    QPointer<QNetworkReply> waited_;
};
