#include "tests/support/HttpTestServer.h"
#include "tests/support/TestMain.h"
#include "update/transfer/Inet.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>

Q_DECLARE_METATYPE(HttpTestServer::Reply)

namespace {

using Reply = HttpTestServer::Reply;

Reply body(const QByteArray& content, int status = 200, const QByteArray& reason = "OK") {
    Reply r;
    r.status = status;
    r.reason = reason;
    r.body = content;
    return r;
}

// Waits, as the downloader does, until the reply has come or the request failed.
void waitWhileExecuting(Inet& inet) {
    QElapsedTimer timer;
    timer.start();
    while (inet.stillExecuting() && timer.elapsed() < 10000)
        QTest::qWait(5);
}

QByteArray readAll(Inet& inet, int* pieces = nullptr) {
    QByteArray all;
    int count = 0;
    for (QByteArray piece = inet.getChunk(1024); !piece.isEmpty(); piece = inet.getChunk(1024)) {
        if (piece.size() > 1024)
            qFatal("a piece is larger than asked for");
        all += piece;
        ++count;
    }
    if (pieces)
        *pieces = count;
    return all;
}

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fetchAsText_data();
    void fetchAsText();
    void fetchFromClosedPortIsEmpty();
    void fetchTextWithoutWaitingKeepsOneInFlight();
    void requestHeadersAndBodyInPieces_data();
    void requestHeadersAndBodyInPieces();
    void serverThatNeverAnswers();
    void serverThatClosesEarly();
    void cancelAbandonsRequest();
};

void TestUpdate::fetchAsText_data() {
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("version file") << body("2.12\r\n") << "2.12\r\n";
    QTest::newRow("empty file") << body("") << "";
    QTest::newRow("persian text") << body("۲.۱۲ نسخه") << QString::fromUtf8("۲.۱۲ نسخه");
    QTest::newRow("error page") << body("404 Not Found", 404, "Not Found") << "";
    QTest::newRow("server error") << body("500", 500, "Internal Server Error") << "";
    Reply slow = body("3");
    slow.delayMs = 200;
    QTest::newRow("slow but in time") << slow << "3";
    Reply silent = body("3");
    silent.neverAnswer = true;
    QTest::newRow("never answers") << silent << "";
    Reply cut = body("2.12 and some more text");
    cut.cutAfter = 4;
    QTest::newRow("closes early") << cut << "";
    // The deadline is the whole request's, also against a server that keeps sending a byte.
    Reply trickle = body("2.12 and a long tail of text");
    trickle.trickleMs = 100;
    QTest::newRow("trickles past the deadline") << trickle << "";
    // Only the beginning matters: a reply of a gigabyte is read no further than that.
    Reply huge = body("2.12\n" + QByteArray(1019, 'x'));
    huge.repeat = 1 << 20;
    huge.contentLength = false;
    QTest::newRow("a gigabyte") << huge
                                << QString::fromLatin1(
                                       ("2.12\n" + QByteArray(1019, 'x')).repeated(4));
    // Redirects stay on the maker's host.
    Reply moved = body("");
    moved.status = 302;
    moved.reason = "Found";
    moved.headers = {{"Location", "/v2"}};
    QTest::newRow("redirect on the host") << moved << "2.2";
    moved.headers = {{"Location", "http://localhost:PORT/v2"}};
    QTest::newRow("redirect to another host") << moved << "";
}

void TestUpdate::fetchAsText() {
    QFETCH(Reply, reply);
    QFETCH(QString, text);
    HttpTestServer server;
    for (auto& [name, value] : reply.headers)
        value.replace("PORT", QByteArray::number(server.port()));
    server.route("/Soft/VORN/LastVersion.txt", reply);
    server.route("/v2", body("2.2"));
    Inet inet;
    inet.setRequestTimeout(1000);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(inet.openUrl(server.url("/Soft/VORN/LastVersion.txt")), text);
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(server.requests.size(),
             QTest::currentDataTag() == QByteArray("redirect on the host") ? 2 : 1);
    QCOMPARE(server.requests[0].method, QByteArray("GET"));
}

void TestUpdate::fetchFromClosedPortIsEmpty() {
    quint16 port;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    Inet inet;
    QCOMPARE(inet.openUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(port)), QString());
    QCOMPARE(inet.openUrl(QStringLiteral("not a url")), QString());
}

void TestUpdate::fetchTextWithoutWaitingKeepsOneInFlight() {
    HttpTestServer server;
    Reply slow = body("2.2\n");
    slow.delayMs = 300;
    server.route("/v", slow);
    Inet inet;
    QSignalSpy fetched(&inet, &Inet::textFetched);
    inet.fetchText(server.url("/v"));
    QVERIFY(inet.isFetching());
    inet.fetchText(server.url("/v"));
    inet.fetchText(server.url("/v"));
    QVERIFY(fetched.wait(5000));
    QCOMPARE(fetched.count(), 1);
    QCOMPARE(fetched[0][0].toString(), QStringLiteral("2.2\n"));
    QCOMPARE(server.requests.size(), 1);
    QVERIFY(!inet.isFetching());
}

void TestUpdate::requestHeadersAndBodyInPieces_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("full reply") << 200 << QByteArray("OK");
    QTest::newRow("partial content") << 206 << QByteArray("Partial Content");
}

void TestUpdate::requestHeadersAndBodyInPieces() {
    QFETCH(int, status);
    QFETCH(QByteArray, reason);
    QByteArray content;
    for (int i = 0; i < 5000; ++i)
        content += char('a' + i % 26);
    HttpTestServer server;
    Reply reply = body(content, status, reason);
    reply.headers.append(qMakePair(QByteArray("X-Note"), QByteArray("kept")));
    server.route("/Soft/VORN/setup-VORN.exe", reply);

    Inet inet;
    const QString address = server.url("/Soft/VORN/setup-VORN.exe");
    inet.setUrl(address);
    inet.setUserName(QString());
    inet.setPassword(QString());
    QCOMPARE(inet.responseHeaders(), QString());
    inet.execute("GET", "Range: bytes=0-\r\n");
    QVERIFY(inet.stillExecuting());
    waitWhileExecuting(inet);

    const QString headers = inet.responseHeaders();
    QVERIFY2(headers.startsWith(
                 QStringLiteral("HTTP/1.1 %1 %2\r\n").arg(status).arg(QString::fromLatin1(reason))),
             qPrintable(headers));
    QCOMPARE(headers.mid(9, 3), QString::number(status));
    QVERIFY(headers.contains("X-Note: kept\r\n"));
    QVERIFY(headers.endsWith("\r\n\r\n"));
    QCOMPARE(inet.responseHeader("Content-Length"), QStringLiteral("5000"));
    QCOMPARE(inet.responseHeader("content-length"), QStringLiteral("5000"));
    QCOMPARE(inet.responseHeader("X-Missing"), QString());
    QCOMPARE(inet.url(), address);

    int pieces = 0;
    QCOMPARE(readAll(inet, &pieces), content);
    QVERIFY(pieces >= 5);
    QCOMPARE(inet.getChunk(1024), QByteArray());
    QCOMPARE(server.requests.size(), 1);
    QCOMPARE(server.requests[0].headers.value("range"), QByteArray("bytes=0-"));
}

void TestUpdate::serverThatNeverAnswers() {
    HttpTestServer server;
    Reply silent;
    silent.neverAnswer = true;
    server.route("/f", silent);
    Inet inet;
    inet.setRequestTimeout(400);
    inet.setUrl(server.url("/f"));
    QElapsedTimer timer;
    timer.start();
    inet.execute("GET", "Range: bytes=0-\r\n");
    waitWhileExecuting(inet);
    QVERIFY(!inet.stillExecuting());
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(inet.responseHeaders(), QString());
    QCOMPARE(inet.responseHeader("Content-Length"), QString());
    QCOMPARE(inet.getChunk(1024), QByteArray());
}

void TestUpdate::serverThatClosesEarly() {
    HttpTestServer server;
    Reply cut = body(QByteArray(4000, 'x'));
    cut.cutAfter = 1500;
    server.route("/f", cut);
    Inet inet;
    inet.setUrl(server.url("/f"));
    inet.execute("GET");
    waitWhileExecuting(inet);
    QCOMPARE(inet.responseHeader("Content-Length"), QStringLiteral("4000"));
    QVERIFY(readAll(inet).size() < 4000);
}

void TestUpdate::cancelAbandonsRequest() {
    HttpTestServer server;
    Reply slow = body("late");
    slow.delayMs = 2000;
    server.route("/f", slow);
    Inet inet;
    inet.setUrl(server.url("/f"));
    inet.execute("GET");
    QVERIFY(inet.stillExecuting());
    inet.cancel();
    QVERIFY(!inet.stillExecuting());
    QCOMPARE(inet.responseHeaders(), QString());
    QCOMPARE(inet.getChunk(1024), QByteArray());
    inet.cancel(); // twice is harmless
}

VORN_TEST_MAIN(TestUpdate)
#include "tst_update.moc"
