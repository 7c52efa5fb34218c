#include "shell/seams/Skin.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"
#include "update/FrmUpdate.h"
#include "update/transfer/Inet.h"
#include "updater/CGUnzipFiles.h"
#include "updater/FileDownloader.h"
#include "updater/Progress.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <ctime>
#include <memory>
#include <zip.h>

Q_DECLARE_METATYPE(HttpTestServer::Reply)

namespace {

using Reply = HttpTestServer::Reply;

// The maker's signature of body, made with the test run's key as ./vorn package makes it.
QByteArray signatureOf(const QByteArray& body) {
    QTemporaryDir dir;
    QFile file(dir.filePath("body"));
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size())
        return {};
    file.close();
    QProcess openssl;
    openssl.start("openssl",
                  {"pkeyutl", "-sign", "-rawin", "-inkey", SIGNING_KEY, "-in", file.fileName()});
    openssl.waitForFinished();
    return openssl.readAllStandardOutput();
}

QByteArray payload(int size) {
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char('A' + (i * 31) % 57);
    return data;
}

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

struct Member {
    QString name;
    QByteArray data;
    const char* password = nullptr;
};

// Writes a ZIP archive with libzip, the way an archiver would.
bool makeZip(const QString& path, const QList<Member>& members) {
    int error = 0;
    zip_t* archive = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    QList<QByteArray> keep; // libzip reads the buffers when the archive is closed
    for (const Member& m : members) {
        if (m.name.endsWith('/')) {
            zip_dir_add(archive, m.name.toUtf8().constData(), ZIP_FL_ENC_UTF_8);
            continue;
        }
        keep << m.data;
        zip_source_t* source = zip_source_buffer(archive, keep.last().constData(),
                                                 zip_uint64_t(keep.last().size()), 0);
        const zip_int64_t index =
            zip_file_add(archive, m.name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            return false;
        if (m.password)
            zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, m.password);
    }
    return zip_close(archive) == 0;
}

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void download_data();
    void download();
    void cancelWhileWaiting();
    void cancelDuringBody();
    void existingFileIsReplaced();
    void unwritableDestination();
    void fileName_data();
    void fileName();
    void updaterWindowDownloadsAndStartsInstaller();
    void updaterWindowShowsErrorsAndCancels();
    void unsignedInstallerIsNotStarted_data();
    void unsignedInstallerIsNotStarted();
    void redirects_data();
    void redirects();
    void cancelStopsAStalledDownloadAtOnce();
    void closingTheWindowDuringADownload();
    void diskThatFillsDuringTheDownload();
    void updateCheck_data();
    void updateCheck();
    void updateWindowTheme();
    void updateWindowClosedDuringTheCheck();

    void unzipDefaults();
    void unzipExtracts_data();
    void unzipExtracts();
    void unzipOverwriteQuestion_data();
    void unzipOverwriteQuestion();
    void unzipPasswords_data();
    void unzipPasswords();
    void unzipListing();
    void unzipRefusesPathsOutside();
    void unzipDamagedArchive();
    void unzipOverflow_data();
    void unzipOverflow();
    void unzipHostileArchives_data();
    void unzipHostileArchives();

private:
    std::unique_ptr<TempProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<HttpTestServer> server;
    QTemporaryDir work;
};

void TestUpdater::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    dialogs = std::make_unique<ScriptedDialogs>();
    server = std::make_unique<HttpTestServer>();
    qputenv("VORN_SITE_URL", server->url("").toUtf8());
}

void TestUpdater::cleanup() {
    server.reset();
    dialogs.reset();
    folder.reset();
}

void TestUpdater::download_data() {
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("fileKept");
    // A status error ends with both counts at 0, which the control reports as True; the error
    // signal is what tells the host. So does any refusal before the body is written.
    const QByteArray body = payload(5000);
    Reply full;
    full.body = body;
    QTest::newRow("200") << full << true << "" << true;
    Reply partial = full;
    partial.status = 206;
    partial.reason = "Partial Content";
    partial.headers = {{"Content-Range", "bytes 0-4999/5000"}};
    QTest::newRow("206") << partial << true << "" << true;
    // A range reply that is not the whole file from byte 0 is no installer.
    Reply half = partial;
    half.body = body.left(2500);
    half.headers = {{"Content-Range", "bytes 0-2499/5000"}};
    QTest::newRow("206, first half") << half << false
                                     << "The server sent only part of the file (Content-Range: "
                                        "bytes 0-2499/5000)."
                                     << false;
    Reply otherHalf = partial;
    otherHalf.body = body.mid(2500);
    otherHalf.headers = {{"Content-Range", "bytes 2500-4999/5000"}};
    QTest::newRow("206, wrong range") << otherHalf << false
                                      << "The server sent only part of the file (Content-Range: "
                                         "bytes 2500-4999/5000)."
                                      << false;
    Reply noRange = partial;
    noRange.headers.clear();
    QTest::newRow("206 without range")
        << noRange << false << "The server sent only part of the file (Content-Range: )." << false;
    Reply cut = full;
    cut.cutAfter = 3000;
    QTest::newRow("short body") << cut << false << "The connection with the server was reset."
                                << false;
    Reply missing;
    missing.status = 404;
    missing.reason = "Not Found";
    QTest::newRow("404") << missing << true << "404" << false;
    Reply broken;
    broken.status = 500;
    broken.reason = "Internal Server Error";
    QTest::newRow("500")
        << broken << true
        << "The server returned the following response:\r\rHTTP/1.1 500 Internal Server Error\r"
        << false;
    Reply silent;
    silent.neverAnswer = true;
    QTest::newRow("no reply") << silent << true
                              << "The server returned the following response:\r\r<nothing>"
                              << false;
    Reply nothing;
    nothing.status = 204;
    nothing.reason = "No Content";
    nothing.contentLength = false;
    QTest::newRow("204") << nothing << true << "Nothing to download!" << false;
    // Without a length the end of the body cannot be confirmed: a body that ends with the
    // connection, or a chunked one, may have been cut anywhere.
    const QString noLength = "The server did not say how long the file is, so a whole download "
                             "cannot be told from a cut one.";
    Reply unknown;
    unknown.body = body;
    unknown.contentLength = false;
    QTest::newRow("no length, ends with the connection") << unknown << true << noLength << false;
    Reply chunked = unknown;
    chunked.chunked = true;
    Reply chunkedCut = chunked;
    chunkedCut.cutAfter = 3000;
    QTest::newRow("chunked, cut") << chunkedCut << true << noLength << false;
    Reply endless = unknown;
    endless.repeat = 1 << 20; // 5 GB, were it read to its end
    QTest::newRow("no length, never ends") << endless << true << noLength << false;
    for (const char* length : {"nan", "1e4", "-5", "5000, 2500", "5000x"}) {
        Reply odd = full;
        odd.contentLength = false;
        odd.headers = {{"Content-Length", length}};
        QTest::addRow("Content-Length: %s", length)
            << odd << true
            << "The server announced a length that is no length: " + QString::fromLatin1(length)
            << false;
    }
    Reply twoLengths = full;
    twoLengths.contentLength = false;
    twoLengths.headers = {{"Content-Length", "5000"}, {"Content-Length", "2500"}};
    QTest::newRow("two lengths") << twoLengths << true
                                 << "The server announced a length that is no length: 5000, 2500"
                                 << false;
}

void TestUpdater::download() {
    QFETCH(Reply, reply);
    QFETCH(bool, result);
    QFETCH(QString, error);
    QFETCH(bool, fileKept);
    server->route("/Soft/VORN/setup-VORN.exe", reply);
    FileDownloader downloader;
    downloader.transfer()->setRequestTimeout(500);
    QStringList errors, progress;
    int complete = 0;
    connect(&downloader, &FileDownloader::DownloadErrors, [&](const QString& e) { errors << e; });
    connect(&downloader, &FileDownloader::DownloadProgress,
            [&](const QString& p) { progress << p; });
    connect(&downloader, &FileDownloader::DowloadComplete, [&] { ++complete; });
    const QString address = server->url("/Soft/VORN/setup-VORN.exe");
    const QString target = work.filePath("setup-VORN.exe");
    QFile::remove(target);
    QCOMPARE(downloader.DownloadFile(address, target), result);
    QCOMPARE(complete, result && error.isEmpty() ? 1 : 0);
    QCOMPARE(QFile::exists(target), fileKept);
    if (error == "404")
        error = QStringLiteral("The file, \"%1\" was not found!").arg(address);
    QCOMPARE(errors, error.isEmpty() ? QStringList{} : QStringList{error});
    if (complete) {
        QCOMPARE(read(target), reply.body);
        if (reply.contentLength) {
            QCOMPARE(progress.last(), QStringLiteral("100"));
            QCOMPARE(progress.size(), 6); // one per piece of 1024 bytes, and the empty last one
        }
    }
    QCOMPARE(server->requests.first().headers.value("range"), QByteArray("bytes=0-"));
}

void TestUpdater::cancelWhileWaiting() {
    Reply slow;
    slow.body = payload(100);
    slow.delayMs = 400;
    server->route("/f", slow);
    FileDownloader downloader;
    QSignalSpy errors(&downloader, &FileDownloader::DownloadErrors);
    QSignalSpy complete(&downloader, &FileDownloader::DowloadComplete);
    QSignalSpy progress(&downloader, &FileDownloader::DownloadProgress);
    QTimer::singleShot(100, &downloader, &FileDownloader::Cancel);
    const QString target = work.filePath("waiting.bin");
    QVERIFY(downloader.DownloadFile(server->url("/f"), target)); // both counts 0
    QCOMPARE(errors.count() + complete.count() + progress.count(), 0);
    QVERIFY(!QFile::exists(target));
}

void TestUpdater::cancelDuringBody() {
    Reply big;
    big.body = payload(400000);
    server->route("/f", big);
    FileDownloader downloader;
    int pieces = 0;
    QSignalSpy complete(&downloader, &FileDownloader::DowloadComplete);
    QSignalSpy errors(&downloader, &FileDownloader::DownloadErrors);
    connect(&downloader, &FileDownloader::DownloadProgress, [&] {
        if (++pieces == 3)
            downloader.Cancel();
    });
    const QString target = work.filePath("partial.bin");
    QVERIFY(!downloader.DownloadFile(server->url("/f"), target));
    QCOMPARE(pieces, 3);
    QCOMPARE(complete.count(), 0);
    QCOMPARE(errors.count(), 0);
    QVERIFY(!QFile::exists(target));
}

void TestUpdater::existingFileIsReplaced() {
    Reply small;
    small.body = "new";
    server->route("/f", small);
    const QString target = work.filePath("old.exe");
    QFile f(target);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'o'));
    f.close();
    FileDownloader downloader;
    QVERIFY(downloader.DownloadFile(server->url("/f"), target));
    QCOMPARE(read(target), QByteArray("new"));
}

void TestUpdater::unwritableDestination() {
    Reply r;
    r.body = payload(2000);
    server->route("/f", r);
    FileDownloader downloader;
    QStringList errors;
    connect(&downloader, &FileDownloader::DownloadErrors, [&](const QString& e) { errors << e; });
    const QString target = work.filePath("no/such/deep/folder/file.exe");
    QVERIFY(!downloader.DownloadFile(server->url("/f"), target));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].startsWith("Cannot write file to disk.\r\rError "), qPrintable(errors[0]));
    QVERIFY(!QFile::exists(target));
}

void TestUpdater::fileName_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("name");
    QTest::newRow("installer") << "http://vorn.example.org/Soft/VORN/setup-VORN.exe"
                               << "setup-VORN.exe";
    QTest::newRow("https") << "https://vorn.example.org/Soft/VORN/setup-VORN.exe"
                           << "setup-VORN.exe";
    QTest::newRow("ftp") << "ftp://vorn.example.org/setup.exe"
                         << "";
    QTest::newRow("capitals") << "HTTP://vorn.example.org/setup.exe"
                              << "";
    QTest::newRow("no point") << "http://vorn.example.org/Soft/setup"
                              << "";
    QTest::newRow("one character") << "h"
                                   << "";
    QTest::newRow("scheme only") << "http://"
                                 << "";
    QTest::newRow("ends in a slash") << "http://vorn.example.org/Soft/"
                                     << "";
}

void TestUpdater::fileName() {
    QFETCH(QString, address);
    QFETCH(QString, name);
    QCOMPARE(Progress::GetFileName(address), name);
}

void TestUpdater::updaterWindowDownloadsAndStartsInstaller() {
    Reply installer, signature;
    installer.body = payload(30000);
    signature.body = signatureOf(installer.body);
    QCOMPARE(signature.body.size(), 64);
    server->route("/Soft/VORN/setup-VORN.exe", installer);
    server->route("/Soft/VORN/setup-VORN.exe.sig", signature);
    Progress window;
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Downloading File ... "));
    QVERIFY(!window.findChild<QWidget*>("Text")->isVisible());
    auto* button = window.findChild<QPushButton*>("cmdUpdate");
    QCOMPARE(button->text(), u("دانلود"));
    QString captionDuring;
    connect(window.findChild<FileDownloader*>("FileDownloader"), &FileDownloader::DownloadProgress,
            [&] { captionDuring = button->text(); });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(captionDuring, u("انصراف"));
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].text, u("دانلود فايل با موفقيت به پايان رسيد "));
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("Success"));
    QCOMPARE(dialogs->shown[0].icon, Dialogs::Icon::Information);
    const QString target = QDir(folder->path()).filePath("setup-VORN.exe");
    QCOMPARE(read(target), installer.body);
    QVERIFY(QFileInfo(target).permissions() & QFileDevice::ExeOwner); // it can be started
    auto* banner = window.findChild<QLabel*>("Image1");
    QVERIFY(banner && !banner->pixmap().isNull());
    QCOMPARE(banner->geometry(), window.rect());
    QCOMPARE(folder->platform.started.size(), 1);
    QCOMPARE(folder->platform.started[0].program, target);
    QCOMPARE(folder->platform.started[0].style, Platform::WindowStyle::Minimized);
    QCOMPARE(folder->platform.endedNow, 1);
    QCOMPARE(button->text(), u("دانلود"));
}

void TestUpdater::updaterWindowShowsErrorsAndCancels() {
    Progress window;
    window.show();
    auto* button = window.findChild<QPushButton*>("cmdUpdate");
    QTest::mouseClick(button, Qt::LeftButton); // nothing published: 404
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("Error"));
    QCOMPARE(dialogs->shown[0].icon, Dialogs::Icon::Critical);
    QVERIFY(dialogs->shown[0].text.contains("/Soft/VORN/setup-VORN.exe\" was not found!"));
    QCOMPARE(button->text(), u("دانلود"));
    QCOMPARE(window.findChild<QProgressBar*>("ProgressBar")->value(), 0);

    // A second try while the download runs cancels it: no message, no file.
    Reply big;
    big.body = payload(2000000);
    server->route("/Soft/VORN/setup-VORN.exe", big);
    auto* downloader = window.findChild<FileDownloader*>("FileDownloader");
    int pieces = 0;
    connect(downloader, &FileDownloader::DownloadProgress, [&] {
        if (++pieces == 2)
            button->click();
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(button->text(), u("دانلود"));
    QVERIFY(!QFile::exists(QDir(folder->path()).filePath("setup-VORN.exe")));
    QCOMPARE(folder->platform.endedNow, 0);

    QTest::mouseClick(window.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(folder->platform.endedNow, 1);
}

// An installer the maker did not sign, or one cut on the way, is removed before it could be
// run, and the user is told why; the updater stays for another try.
void TestUpdater::unsignedInstallerIsNotStarted_data() {
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<QString>("said");
    QTest::newRow("no signature published") << QByteArray() << u("امضای سازنده برای آن");
    QTest::newRow("another file's signature") << signatureOf("another") << u("نمی‌خواند");
    QTest::newRow("a signature cut short")
        << signatureOf(payload(3000)).left(40) << u("نمی‌خواند");
    QTest::newRow("an endless signature") << QByteArray(100000, 'x') << u("نمی‌خواند");
}

void TestUpdater::unsignedInstallerIsNotStarted() {
    QFETCH(QByteArray, signature);
    QFETCH(QString, said);
    Reply installer, sig;
    installer.body = payload(3000);
    sig.body = signature;
    server->route("/Soft/VORN/setup-VORN.exe", installer);
    if (!signature.isNull())
        server->route("/Soft/VORN/setup-VORN.exe.sig", sig);
    Progress window;
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>("cmdUpdate"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("Error"));
    QVERIFY2(dialogs->shown[0].text.contains(said), qPrintable(dialogs->shown[0].text));
    QVERIFY(!QFile::exists(QDir(folder->path()).filePath("setup-VORN.exe")));
    QVERIFY(folder->platform.started.isEmpty());
    QCOMPARE(folder->platform.endedNow, 0);
    QCOMPARE(window.findChild<QPushButton*>("cmdUpdate")->text(), u("دانلود"));
}

// Redirects are followed, at most five; what the window sees (length, progress, result) is the
// final reply's.
void TestUpdater::redirects_data() {
    QTest::addColumn<int>("hops");
    QTest::addColumn<bool>("whole");
    QTest::newRow("one") << 1 << true;
    QTest::newRow("five") << 5 << true;
    QTest::newRow("six") << 6 << false;
}

void TestUpdater::redirects() {
    QFETCH(int, hops);
    QFETCH(bool, whole);
    Reply installer;
    installer.body = payload(5000);
    server->route("/hop0", installer);
    for (int i = 1; i <= hops; ++i) {
        Reply moved;
        moved.status = i % 2 ? 302 : 301;
        moved.reason = i % 2 ? "Found" : "Moved Permanently";
        moved.headers = {{"Location", "/hop" + QByteArray::number(i - 1)}};
        server->route("/hop" + QByteArray::number(i), moved);
    }
    FileDownloader downloader;
    QStringList errors, progress;
    connect(&downloader, &FileDownloader::DownloadErrors, [&](const QString& e) { errors << e; });
    connect(&downloader, &FileDownloader::DownloadProgress,
            [&](const QString& p) { progress << p; });
    const QString target = work.filePath("setup-VORN.exe");
    QFile::remove(target);
    downloader.DownloadFile(server->url("/hop" + QString::number(hops)), target);
    QVERIFY2(errors.size() == (whole ? 0 : 1), qPrintable(errors.join(" / ")));
    QCOMPARE(QFile::exists(target), whole);
    if (whole) {
        QCOMPARE(read(target), installer.body);
        QCOMPARE(progress.last(), QStringLiteral("100"));
    }
}

// Cancel abandons a download whose body has stalled: the click returns at once and the next
// click starts a new download.
void TestUpdater::cancelStopsAStalledDownloadAtOnce() {
    Reply stalled;
    stalled.body = payload(5000);
    stalled.trickleMs = 60000; // the head, then one byte a minute
    server->route("/Soft/VORN/setup-VORN.exe", stalled);
    Progress window;
    window.show();
    auto* button = window.findChild<QPushButton*>("cmdUpdate");
    QTimer::singleShot(300, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(button, Qt::LeftButton); // returns when the download has ended
    QVERIFY2(clock.elapsed() < 10000, "the cancelled download kept running");
    QVERIFY(!window.findChild<FileDownloader*>("FileDownloader")->isDownloading());
    QCOMPARE(button->text(), u("دانلود"));
    QCOMPARE(dialogs->shown.size(), 0);
    // The next click starts a new download at once; a server that never answers is waited for
    // asleep: over a second of it this process uses a fraction of a core.
    HttpTestServer::Reply silent;
    silent.neverAnswer = true;
    server->route("/Soft/VORN/setup-VORN.exe", silent);
    std::clock_t cpuAtCancel = 0;
    const std::clock_t cpuBefore = std::clock();
    QTimer::singleShot(1000, button, [button, &cpuAtCancel] {
        cpuAtCancel = std::clock();
        QTest::mouseClick(button, Qt::LeftButton);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(server->requests.size(), 2);
    const double cpuSeconds = double(cpuAtCancel - cpuBefore) / CLOCKS_PER_SEC;
    QVERIFY2(cpuSeconds < 0.5, qPrintable(QString::number(cpuSeconds)));
    QVERIFY(!QFile::exists(QDir(folder->path()).filePath("setup-VORN.exe")));
}

void TestUpdater::closingTheWindowDuringADownload() {
    Reply stalled;
    stalled.body = payload(5000);
    stalled.trickleMs = 60000;
    server->route("/Soft/VORN/setup-VORN.exe", stalled);
    QPointer<Progress> window = new Progress;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    QTimer::singleShot(300, window, [window] { window->close(); });
    QTest::mouseClick(window->findChild<QPushButton*>("cmdUpdate"), Qt::LeftButton);
    QTRY_VERIFY(window.isNull()); // closed once the download had unwound
    QCOMPARE(dialogs->shown.size(), 0);
    QVERIFY(!QFile::exists(QDir(folder->path()).filePath("setup-VORN.exe")));
}

// A small file system of our own fills while the installer arrives: the user is told that the
// disk is full, and no file is left.
void TestUpdater::diskThatFillsDuringTheDownload() {
    QTemporaryDir mountPoint;
    if (QProcess::execute("mount",
                          {"-t", "tmpfs", "-o", "size=512k", "tmpfs", mountPoint.path()}) != 0)
        QSKIP("a small file system cannot be mounted here (needs root)");
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{mountPoint.path()};
    Reply installer;
    installer.body = payload(300 * 1024);
    server->route("/Soft/VORN/setup-VORN.exe", installer);
    FileDownloader downloader;
    QStringList errors;
    bool filled = false;
    connect(&downloader, &FileDownloader::DownloadErrors, [&](const QString& e) { errors << e; });
    connect(&downloader, &FileDownloader::DownloadProgress, [&](const QString& p) {
        if (filled || p.toInt() < 10)
            return;
        filled = true; // another program takes the rest of the disk
        QFile filler(QDir(mountPoint.path()).filePath("filler"));
        filler.open(QIODevice::WriteOnly);
        filler.write(QByteArray(512 * 1024, 'x'));
    });
    const QString target = QDir(mountPoint.path()).filePath("setup-VORN.exe");
    QVERIFY(!downloader.DownloadFile(server->url("/Soft/VORN/setup-VORN.exe"), target));
    QVERIFY(filled);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].startsWith("There is not enough free space on disk for this file."),
             qPrintable(errors[0]));
    QCOMPARE(QDir(mountPoint.path()).entryList(QDir::Files), QStringList{"filler"});
}

void TestUpdater::updateCheck_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("newer");
    QTest::newRow("same version") << QByteArray("2.11") << false;
    QTest::newRow("2.12 with CR LF") << QByteArray("2.12\r\n") << true;
    QTest::newRow("2.2") << QByteArray("2.2") << true;
    QTest::newRow("2.105") << QByteArray("2.105") << false;
    QTest::newRow("3") << QByteArray("3") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("html") << QByteArray("<html><body>2.5</body></html>") << false;
    QTest::newRow("leading blanks") << QByteArray("  \n 2.5") << true;
    QTest::newRow("leading letter") << QByteArray("v2.5") << false;
}

void TestUpdater::updateCheck() {
    QFETCH(QByteArray, file);
    QFETCH(bool, newer);
    Reply version;
    version.body = file;
    server->route("/Soft/VORN/LastVersion.txt", version);
    FrmUpdate window;
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("VORN 2.11"));
    QCOMPARE(window.findChild<QLabel*>("Label1")->text(), QStringLiteral("VORN 2.11"));
    auto* check = window.findChild<QPushButton*>("Command1");
    QTest::mouseClick(check, Qt::LeftButton);
    if (newer) {
        QCOMPARE(folder->platform.started.size(), 1);
        QCOMPARE(folder->platform.started[0].program, QDir(folder->path()).filePath("VORNupdate"));
        QCOMPARE(folder->platform.started[0].arguments, QStringList{});
        QCOMPARE(folder->platform.endedNow, 1);
        QVERIFY(dialogs->shown.isEmpty());
    } else {
        QCOMPARE(folder->platform.started.size(), 0);
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(
            dialogs->shown[0].text,
            u("شما آخرين ورژن نرم افزار را داريد و يا اينکه ارتباط شما با اينترنت برقرار نمي باشد "));
        QCOMPARE(dialogs->shown[0].title, QStringLiteral("VORN"));
        QCOMPARE(window.windowTitle(), QStringLiteral("VORN 2.11"));
        QVERIFY(check->isEnabled());
    }
    QVERIFY(!QApplication::overrideCursor());
}

// The site keeps the window waiting; the user closes it. Nothing more is said, nothing starts.
void TestUpdater::updateWindowClosedDuringTheCheck() {
    Reply silent;
    silent.neverAnswer = true;
    server->route("/Soft/VORN/LastVersion.txt", silent);
    FrmUpdate window;
    window.show();
    auto* exit = window.findChild<QPushButton*>("Command2");
    QTimer::singleShot(300, exit, [exit] { QTest::mouseClick(exit, Qt::LeftButton); });
    QTest::mouseClick(window.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QVERIFY(!window.isVisible());
    QVERIFY(dialogs->shown.isEmpty());
    QVERIFY(folder->platform.started.isEmpty());
    QVERIFY(!QApplication::overrideCursor());
}

void TestUpdater::updateWindowTheme() {
    for (const auto& [theme, file] :
         {std::pair{"7", "TopSecret.skn"}, {"13", "Retro.skn"}, {"14", ""}}) {
        QSqlQuery q(Database::connection());
        q.prepare("UPDATE Theme SET TH=?");
        q.addBindValue(QString::fromLatin1(theme));
        QVERIFY(q.exec());
        FrmUpdate window;
        QCOMPARE(window.findChild<Skin*>("Skin1")->loadedFile(), QString::fromLatin1(file));
    }
    // A missing updater is said, not passed over.
    Reply version;
    version.body = "9";
    server->route("/Soft/VORN/LastVersion.txt", version);
    folder->platform.startSucceeds = false;
    FrmUpdate window;
    QTest::mouseClick(window.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(folder->platform.endedNow, 0);
    QCOMPARE(dialogs->shown.size(), 1);
    QVERIFY(dialogs->shown[0].text.contains("VORNupdate"));
}

void TestUpdater::unzipDefaults() {
    CGUnzipFiles unzip;
    QCOMPARE(unzip.MessageLevel(), 2);
    QVERIFY(unzip.HonorDirectories() && unzip.OverWriteFiles() && unzip.CaseSensitive());
    QVERIFY(!unzip.ExtractOnlyNewer() && !unzip.SpaceToUnderScore() && !unzip.PromptOverwrite() &&
            !unzip.WriteToStdOut() && !unzip.TestZip() && !unzip.ExtractNewer() &&
            !unzip.DisplayComment() && !unzip.ConvertCRtoCRLF() && !unzip.Verbose());
    QCOMPARE(unzip.ExtractList(), 0);
    QCOMPARE(unzip.Privilege(), 0);
    QCOMPARE(unzip.ZipFileName(), QString());
    QCOMPARE(unzip.ExtractDir(), QString());
    unzip.setTestZip(true);
    QVERIFY(unzip.TestZip());
}

void TestUpdater::unzipExtracts_data() {
    QTest::addColumn<bool>("directories");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("with directories")
        << true << QStringList{"a.txt", "docs/b.txt", "docs/deep/c.txt"};
    QTest::newRow("without directories") << false << QStringList{"a.txt", "b.txt", "c.txt"};
}

void TestUpdater::unzipExtracts() {
    QFETCH(bool, directories);
    QFETCH(QStringList, files);
    const QString archive = work.filePath("plain.zip");
    QVERIFY(makeZip(archive, {{"a.txt", "alpha"},
                              {"docs/", {}},
                              {"docs/b.txt", "beta"},
                              {"docs/deep/c.txt", payload(70000)}}));
    QTemporaryDir out;
    CGUnzipFiles unzip;
    unzip.setHonorDirectories(directories);
    unzip.setZipFileName(archive);
    unzip.setExtractDir(out.path());
    QCOMPARE(unzip.Unzip(), UnzipResult::Ok); // the stored archive and folder
    for (const QString& f : files)
        QVERIFY2(QFile::exists(QDir(out.path()).filePath(f)), qPrintable(f));
    QCOMPARE(read(QDir(out.path()).filePath(files[0])), QByteArray("alpha"));
    QCOMPARE(read(QDir(out.path()).filePath(files[2])), payload(70000));
    QVERIFY(unzip.GetLastMessage().contains("inflating: a.txt"));
}

void TestUpdater::unzipOverwriteQuestion_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::newRow("yes") << int(Dialogs::Yes) << QByteArray("new a") << QByteArray("new b");
    QTest::newRow("no") << int(Dialogs::No) << QByteArray("old") << QByteArray("new b");
    QTest::newRow("cancel") << int(Dialogs::Cancel) << QByteArray("old") << QByteArray("old");
}

void TestUpdater::unzipOverwriteQuestion() {
    QFETCH(int, answer);
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    const QString archive = work.filePath("over.zip");
    QVERIFY(makeZip(archive, {{"a.txt", "new a"}, {"b.txt", "new b"}}));
    QTemporaryDir out;
    for (const char* name : {"a.txt", "b.txt"}) {
        QFile f(QDir(out.path()).filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    CGUnzipFiles unzip;
    unzip.setOverWriteFiles(false);
    unzip.setPromptOverwrite(true);
    dialogs->answer(Dialogs::Result(answer));
    dialogs->answer(Dialogs::Yes);
    unzip.Unzip(archive, out.path());
    QCOMPARE(dialogs->shown[0].text, QStringLiteral("Overwrite a.txt?"));
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("VBUnZip32 - File Already Exists!"));
    QCOMPARE(dialogs->shown[0].buttons, Dialogs::Buttons::YesNoCancel);
    QCOMPARE(dialogs->shown[0].icon, Dialogs::Icon::Exclamation);
    QCOMPARE(read(QDir(out.path()).filePath("a.txt")), a);
    QCOMPARE(read(QDir(out.path()).filePath("b.txt")), b);
    // Cancel answers "none": no further question in this extraction.
    QCOMPARE(dialogs->shown.size(), answer == Dialogs::Cancel ? 1 : 2);
}

void TestUpdater::unzipPasswords_data() {
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("prompts");
    QTest::addColumn<bool>("extracted");
    QTest::newRow("right") << QStringList{"secret", "secret"} << int(UnzipResult::Ok) << 2 << true;
    QTest::newRow("wrong") << QStringList{"guess", "guess"} << int(UnzipResult::BadPassword) << 2
                           << false;
    QTest::newRow("empty answer: no more prompts")
        << QStringList{""} << int(UnzipResult::BadPassword) << 1 << false;
}

void TestUpdater::unzipPasswords() {
    QFETCH(QStringList, answers);
    QFETCH(int, result);
    QFETCH(int, prompts);
    QFETCH(bool, extracted);
    const QString archive = work.filePath("locked.zip");
    QVERIFY(makeZip(archive, {{"one.txt", "first", "secret"}, {"two.txt", "second", "secret"}}));
    QTemporaryDir out;
    for (const QString& a : answers)
        dialogs->answer(a);
    CGUnzipFiles unzip;
    QCOMPARE(unzip.Unzip(archive, out.path()), result);
    QCOMPARE(dialogs->shown.size(), prompts);
    QCOMPARE(dialogs->shown[0].text, QStringLiteral("Please Enter The Password!"));
    QCOMPARE(QFile::exists(QDir(out.path()).filePath("one.txt")), extracted);
    if (extracted)
        QCOMPARE(read(QDir(out.path()).filePath("two.txt")), QByteArray("second"));
}

void TestUpdater::unzipListing() {
    QCOMPARE(CGUnzipFiles::ListingHeader().size(), 80);
    QCOMPARE(CGUnzipFiles::ListingHeader().indexOf("Size"), 52);
    QCOMPARE(CGUnzipFiles::ListingHeader().indexOf("Date"), 61);
    QCOMPARE(CGUnzipFiles::ListingHeader().indexOf("Time"), 70);
    const QString line = CGUnzipFiles::ListingLine("docs/readme.txt", 1234, 3, 7, 2024, 9, 5);
    QCOMPARE(line.size(), 80);
    QCOMPARE(line.left(15), QStringLiteral("docs/readme.txt"));
    QCOMPARE(line.mid(50, 7), QStringLiteral("   1234"));
    QCOMPARE(line.mid(59, 8), QStringLiteral("03/07/24"));
    QCOMPARE(line.mid(69, 5), QStringLiteral(" 9:05"));
    QCOMPARE(
        CGUnzipFiles::ListingLine(QString(60, 'n'), 123456789, 12, 31, 1999, 23, 59).mid(50, 7),
        QStringLiteral("3456789")); // eight digits and more lose their leading ones
    QCOMPARE(CGUnzipFiles::ListingLine(QString(60, 'n'), 1, 1, 1, 2000, 0, 0).left(51),
             QString(50, 'n') + ' ');

    const QString archive = work.filePath("list.zip");
    QVERIFY(makeZip(archive, {{"x.txt", "xx"}, {"y.txt", "yyy"}}));
    QTemporaryDir out;
    CGUnzipFiles unzip;
    unzip.Unzip(archive, out.path());
    QCOMPARE(unzip.ListingCount(), 2);
    const QStringList lines = unzip.ListingText().split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], CGUnzipFiles::ListingHeader());
    QVERIFY(lines[2].startsWith("y.txt"));
    QCOMPARE(lines[2].mid(50, 7), QStringLiteral("      3"));

    // Printed pieces that begin with a line feed become a line break.
    QVERIFY(makeZip(archive, {{"z.txt", "\nignored"}}));
    unzip.setWriteToStdOut(true);
    unzip.Unzip(archive, out.path());
    QVERIFY(unzip.GetLastMessage().endsWith("\r\n"));
}

void TestUpdater::unzipRefusesPathsOutside() {
    QTemporaryDir root;
    const QString inside = QDir(root.path()).filePath("inside");
    QDir().mkpath(inside);
    const QString archive = work.filePath("slip.zip");
    QVERIFY(makeZip(archive, {{"../escaped.txt", "bad"},
                              {"ok.txt", "good"},
                              {"sub/../../also.txt", "bad"},
                              {"/tmp/vorn-absolute.txt", "bad"}}));
    CGUnzipFiles unzip;
    QCOMPARE(unzip.Unzip(archive, inside), UnzipResult::Warning);
    QCOMPARE(QDir(root.path()).entryList(QDir::Files), QStringList{});
    QCOMPARE(read(QDir(inside).filePath("ok.txt")), QByteArray("good"));
    QVERIFY(!QFile::exists("/tmp/vorn-absolute.txt"));
    QVERIFY(unzip.GetLastMessage().contains("warning"));
}

void TestUpdater::unzipDamagedArchive() {
    const QString good = work.filePath("good.zip");
    QByteArray noise(20000, Qt::Uninitialized);
    for (char& c : noise)
        c = char(QRandomGenerator::global()->bounded(256));
    QVERIFY(makeZip(good, {{"a.txt", noise}}));
    const QString damaged = work.filePath("damaged.zip");
    QFile f(damaged);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(read(good).left(5000));
    f.close();
    QTemporaryDir out;
    CGUnzipFiles unzip;
    const int result = unzip.Unzip(damaged, out.path());
    QVERIFY2(result == UnzipResult::NoZip || result == UnzipResult::BadError ||
                 result == UnzipResult::Error,
             qPrintable(QString::number(result)));
    QCOMPARE(unzip.Unzip(work.filePath("absent.zip"), out.path()), UnzipResult::NoZip);
    QVERIFY(!unzip.GetLastMessage().isEmpty());
}

void TestUpdater::unzipOverflow_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("privilege");
    QTest::newRow("message level") << 40000 << 0;
    QTest::newRow("privilege") << 2 << -40000;
}

void TestUpdater::unzipOverflow() {
    QFETCH(int, level);
    QFETCH(int, privilege);
    CGUnzipFiles unzip;
    unzip.setMessageLevel(level);
    unzip.setPrivilege(privilege);
    try {
        unzip.Unzip(work.filePath("x.zip"), work.path());
        QFAIL("no error raised");
    } catch (const UnzipError& e) {
        QCOMPARE(e.number, 6);
        QCOMPARE(e.description, QStringLiteral("Overflow"));
        QCOMPARE(e.source, QStringLiteral("CGUnZipFiles::Unzip"));
    }
}

namespace {

quint32 le32(const QByteArray& b, qsizetype at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 |
           quint32(quint8(b[at + 2])) << 16 | quint32(quint8(b[at + 3])) << 24;
}
void put16(QByteArray& b, qsizetype at, quint32 v) {
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}
void put32(QByteArray& b, qsizetype at, quint32 v) {
    put16(b, at, v & 0xffff);
    put16(b, at + 2, v >> 16);
}

// An archive of one member whose central record is copied nine times under other names: ten
// entries that share one stream of compressed data.
QByteArray overlappingEntries(const QByteArray& archive) {
    const qsizetype eocd = archive.lastIndexOf(QByteArray("PK\5\6"));
    const qsizetype cdOffset = qsizetype(le32(archive, eocd + 16));
    QByteArray record = archive.mid(cdOffset, eocd - cdOffset);
    QByteArray out = archive.left(cdOffset);
    for (int i = 0; i < 10; ++i) {
        QByteArray copy = record;
        const qsizetype nameAt = 46;
        copy[nameAt] = char('a' + i); // "a.bin", "b.bin", ...
        out += copy;
    }
    QByteArray end = archive.mid(eocd);
    put16(end, 8, 10);
    put16(end, 10, 10);
    put32(end, 12, quint32(record.size() * 10));
    return out + end;
}

// The sizes a stored member declares, lowered in both its headers: it holds more than it says.
QByteArray understated(QByteArray archive, quint32 size) {
    put32(archive, 22, size); // local header: compressed and uncompressed sizes
    put32(archive, 18, size);
    const qsizetype eocd = archive.lastIndexOf(QByteArray("PK\5\6"));
    const qsizetype cd = qsizetype(le32(archive, eocd + 16));
    put32(archive, cd + 24, size);
    return archive;
}

} // namespace

// What hostile archives tried: shared data that would unpack to far more than the archive, a
// member holding more than it declares, more written than the caller allows, a name longer
// than any file system takes, a damaged encrypted member opened with the right password.
// Nothing may be written outside the folder, nor beyond what was allowed.
void TestUpdater::unzipHostileArchives_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("overlapping entries")
        << "overlap" << int(UnzipResult::BadError) << QStringList();
    QTest::newRow("more than declared")
        << "understated" << int(UnzipResult::Error) << QStringList();
    QTest::newRow("past the caller's limit")
        << "limit" << int(UnzipResult::Error) << QStringList{"1.bin"};
    QTest::newRow("name of 300 bytes")
        << "long part" << int(UnzipResult::Warning) << QStringList{"ok.txt"};
    QTest::newRow("name of 64 KB")
        << "huge name" << int(UnzipResult::Warning) << QStringList{"ok.txt"};
    QTest::newRow("damaged encrypted member")
        << "damaged encrypted" << int(UnzipResult::Error) << QStringList();
}

void TestUpdater::unzipHostileArchives() {
    QFETCH(QString, kind);
    QFETCH(int, result);
    QFETCH(QStringList, written);
    QTemporaryDir root;
    const QString inside = QDir(root.path()).filePath("inside");
    QDir().mkpath(inside);
    const QString archive = work.filePath(kind + ".zip");
    CGUnzipFiles unzip;
    auto writeArchive = [&](const QByteArray& bytes) {
        QFile f(archive);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    if (kind == "overlap") {
        QVERIFY(makeZip(archive, {{"a.bin", QByteArray(4 << 20, '\0')}}));
        writeArchive(overlappingEntries(read(archive)));
    } else if (kind == "understated") {
        QVERIFY(makeZip(archive, {{"a.bin", payload(100)}}));
        // A stored member: libzip keeps small incompressible data as it is.
        writeArchive(understated(read(archive), 10));
    } else if (kind == "limit") {
        QVERIFY(makeZip(
            archive, {{"1.bin", payload(600)}, {"2.bin", payload(600)}, {"3.bin", payload(600)}}));
        unzip.setMaxTotalBytes(1000);
    } else if (kind == "long part") {
        QVERIFY(makeZip(archive, {{QString(300, 'n') + ".txt", "x"}, {"ok.txt", "ok"}}));
    } else if (kind == "huge name") {
        QString name;
        while (name.size() < 64000)
            name += "../";
        QVERIFY(makeZip(archive, {{name + "escaped.txt", "x"}, {"ok.txt", "ok"}}));
    } else {
        QVERIFY(makeZip(archive, {{"secret.bin", payload(20000), "secret"}}));
        QByteArray bytes = read(archive);
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x5a);
        writeArchive(bytes);
        dialogs->answer("secret");
    }
    QCOMPARE(unzip.Unzip(archive, inside), result);
    QCOMPARE(QDir(inside).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), written);
    QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"inside"});
    QVERIFY(!unzip.GetLastMessage().isEmpty());
}

VORN_TEST_MAIN(TestUpdater)
#include "tst_updater.moc"
