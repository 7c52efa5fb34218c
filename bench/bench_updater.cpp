// Downloading a 100 MB file and extracting a 100 MB archive, against curl and unzip.
#include "bench/BenchSupport.h"
#include "tests/support/HttpTestServer.h"
#include "updater/CGUnzipFiles.h"
#include "updater/FileDownloader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
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

    HttpTestServer server;
    HttpTestServer::Reply reply;
    reply.body = body;
    server.route("/big.bin", reply);

    const double before = Bench::peakMemoryMb();
    FileDownloader downloader;
    const double ours = Bench::medianMs(
        3, [&] { downloader.DownloadFile(server.url("/big.bin"), folder.filePath("ours.bin")); });
    const double downloadMemory = Bench::peakMemoryMb() - before;
    const double curl =
        timeCommand("curl", {"-s", "-o", folder.filePath("curl.bin"), server.url("/big.bin")});
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

    bool ok = curl > 0 && reference > 0;
    ok &= Bench::report(QStringLiteral("download, ratio to curl"), ours / curl, QStringLiteral("x"),
                        3.0);
    ok &= Bench::report(QStringLiteral("memory added while downloading 100 MB"), downloadMemory,
                        QStringLiteral("MB"), 0);
    ok &= Bench::report(QStringLiteral("extraction, ratio to unzip"), extract / reference,
                        QStringLiteral("x"), 1.5);
    return ok ? 0 : 1;
}
