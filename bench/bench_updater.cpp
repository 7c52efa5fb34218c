// Downloading a 100 MB file and extracting a 100 MB archive, against curl and unzip. The file is
// served by a web server of its own process on 127.0.0.1 (Python's), so that the downloader and
// curl meet the same server and neither shares its thread with it.
#include "bench/BenchSupport.h"
#include "updater/CGUnzipFiles.h"
#include "updater/FileDownloader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <zip.h>

namespace {

constexpr int Size = 100 * 1024 * 1024;

// Runs a command while this process's own event loop (and so the test server) keeps going.
double timeCommand(const QString& program, const QStringList& arguments) {
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return -1;
    loop.exec();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir folder;
    QByteArray body(Size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (qsizetype i = 0; i < body.size(); i += 4) {
        const quint32 value = generator.generate();
        std::memcpy(body.data() + i, &value, 4);
    }

    const QString big = folder.filePath("big.bin");
    {
        QFile f(big);
        if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
            return 1;
    }
    quint16 port = 0;
    {
        QTcpServer probe; // a free port
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
    }
    QProcess web;
    web.start("python3", {"-m", "http.server", "--bind", "127.0.0.1", QString::number(port),
                          "--directory", folder.path()});
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            break;
        QThread::msleep(50);
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1/big.bin").arg(port);
    const double before = Bench::peakMemoryMb();
    FileDownloader downloader;
    std::vector<double> mine, theirs; // alternating, medians of five
    for (int run = 0; run < 5; ++run) {
        mine.push_back(
            Bench::medianMs(1, [&] { downloader.DownloadFile(url, folder.filePath("ours.bin")); }));
        theirs.push_back(timeCommand("curl", {"-s", "-o", folder.filePath("curl.bin"), url}));
    }
    const double downloadMemory = Bench::peakMemoryMb() - before;
    web.kill();
    web.waitForFinished();
    std::sort(mine.begin(), mine.end());
    std::sort(theirs.begin(), theirs.end());
    const double ours = mine[2], curl = theirs[2];
    const bool whole = QFileInfo(folder.filePath("ours.bin")).size() == Size;
    std::printf("download of 100 MB: FileDownloader %.0f ms, curl %.0f ms\n", ours, curl);

    // An archive of 100 MB of members that do not compress.
    const QString archive = folder.filePath("big.zip");
    {
        int error = 0;
        zip_t* za = zip_open(archive.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        for (int i = 0; i < 10; ++i) {
            zip_source_t* s =
                zip_source_buffer(za, body.constData() + i * (Size / 10), Size / 10, 0);
            zip_file_add(za, QStringLiteral("part%1.bin").arg(i).toUtf8().constData(), s, 0);
        }
        zip_close(za);
    }
    body.clear();
    body.squeeze();
    CGUnzipFiles unzip;
    const double extract =
        Bench::medianMs(3, [&] { unzip.Unzip(archive, folder.filePath("ours")); });
    const double reference =
        timeCommand("unzip", {"-o", "-q", archive, "-d", folder.filePath("theirs")});
    std::printf("extraction of 100 MB: CGUnzipFiles %.0f ms, unzip %.0f ms\n", extract, reference);

    bool ok = whole && curl > 0 && reference > 0;
    ok &= Bench::report(QStringLiteral("download, ratio to curl -o"), ours / curl,
                        QStringLiteral("x"), 1.2);
    ok &= Bench::report(QStringLiteral("memory added while downloading 100 MB"), downloadMemory,
                        QStringLiteral("MB"), 0);
    ok &= Bench::report(QStringLiteral("extraction, ratio to unzip"), extract / reference,
                        QStringLiteral("x"), 1.5);
    return ok ? 0 : 1;
}
