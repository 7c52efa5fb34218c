#include "updater/FileDownloader.h"

#include "shell/seams/Twips.h"
#include "update/transfer/Inet.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStorageInfo>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace {

void letEventsRun() {
    QCoreApplication::processEvents();
}

// Half to even, as the percentages and lengths are rounded.
qint64 roundEven(double value) {
    return qint64(std::nearbyint(value));
}

} // namespace

FileDownloader::FileDownloader(QWidget* parent) : QWidget(parent), Inet_(new Inet(this)) {
    setFixedSize(twips(1020), twips(945));
    setAccessibleName(tr("دریافت پرونده"));
}

void FileDownloader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    style()->standardIcon(QStyle::SP_ArrowDown).paint(&painter, rect());
}

void FileDownloader::Cancel() {
    CancelRequested = true;
    if (running_)
        Inet_->cancel();
}

QString FileDownloader::GetPathPart(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.left(slash + 1);
}

namespace {

// A length header as the server sent it: only a plain whole number in range is a length. Two
// conflicting headers arrive joined by a comma, "nan" or "1e5" are no lengths either.
bool plainLength(const QString& text, qint64* length) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 12)
        return false;
    for (const QChar c : t)
        if (c < u'0' || c > u'9')
            return false;
    *length = t.toLongLong();
    return true;
}

// "bytes 0-99999/100000": a partial reply counts only when it holds the whole file.
bool wholeRange(const QString& contentRange, qint64 length) {
    static const QRegularExpression form(QStringLiteral("^bytes\\s+0-(\\d{1,12})/(\\d{1,12})$"));
    const QRegularExpressionMatch m = form.match(contentRange.trimmed());
    return m.hasMatch() && m.captured(1).toLongLong() == length - 1 &&
           m.captured(2).toLongLong() == length;
}

} // namespace

// Every request asks for the range from byte 0; a reply of 200, or of 206 whose range is the
// whole file, carries the whole file. The file is written beside its name and takes the name
// only when it is whole: a failure anywhere (a write, the last one when the file is closed, a
// body whose end cannot be confirmed) leaves no file and is reported as one.
bool FileDownloader::DownloadFile(const QString& strURL, const QString& strDestination,
                                  const QString& UserName, const QString& Password) {
    CancelRequested = false;
    running_ = true;
    qint64 announced = 0;
    qint64 received = 0;
    bool opened = false;      // the destination was created
    bool lengthKnown = false; // a usable Content-Length came
    bool bodyEnded = false;   // the body came to its confirmed end
    bool written = false;     // the whole file took its name
    QSaveFile file(strDestination);

    auto end = [&]() {
        const bool whole = !opened ? received == announced : written;
        bool result = false;
        if (whole) {
            if (!CancelRequested)
                Q_EMIT DowloadComplete();
            result = true;
        } else {
            if (!opened)
                CancelRequested = true;
            else if (!CancelRequested)
                Q_EMIT DownloadErrors(QStringLiteral("The connection with the server was reset."));
            if (file.isOpen())
                file.cancelWriting();
            QFile::remove(strDestination); // no stale installer of an earlier run either
        }
        Inet_->cancel();
        running_ = false;
        return result;
    };
    auto fail = [&](const QString& message) {
        Q_EMIT DownloadErrors(message);
        CancelRequested = true;
        return end();
    };
    auto writeFailed = [&](const QFileDevice& device) {
        // A full disk says so; other failures give the system's own words.
        if (device.error() == QFileDevice::ResourceError)
            return fail(QStringLiteral("There is not enough free space on disk for this file.") +
                        QStringLiteral("\r\r") + device.errorString());
        return fail(QStringLiteral("Cannot write file to disk.\r\rError %1: %2")
                        .arg(int(device.error()))
                        .arg(device.errorString()));
    };

    Q_EMIT DownloadEvents(QStringLiteral("Getting file information"));
    letEventsRun();
    Inet_->setUrl(strURL);
    Inet_->setUserName(UserName);
    Inet_->setPassword(Password);
    Inet_->execute(QStringLiteral("GET"), QStringLiteral("Range: bytes=%1-\r\n").arg(received));
    Inet_->waitForReply();
    if (CancelRequested)
        return end();

    const QString headers = Inet_->responseHeaders();
    const QString status = headers.mid(9, 3);
    if (status == QLatin1String("204"))
        return fail(QStringLiteral("Nothing to download!"));
    if (status == QLatin1String("401"))
        return fail(QStringLiteral("Authorization failed!"));
    if (status == QLatin1String("404"))
        return fail(QStringLiteral("The file, \"%1\" was not found!").arg(Inet_->url()));
    if (headers.size() == 11 && headers.mid(9, 2) == QLatin1String("\r\n"))
        return fail(QStringLiteral("Cannot establish connection."));
    if (status != QLatin1String("200") && status != QLatin1String("206")) {
        const qsizetype cr = headers.indexOf(QLatin1Char('\r'));
        const QString line = cr < 0 ? QStringLiteral("<nothing>") : headers.left(cr + 1);
        return fail(QStringLiteral("The server returned the following response:\r\r") + line);
    }

    const QString lengthHeader = Inet_->responseHeader(QStringLiteral("Content-Length"));
    if (!lengthHeader.isEmpty()) {
        if (!plainLength(lengthHeader, &announced))
            return fail(QStringLiteral("The server announced a length that is no length: %1")
                            .arg(lengthHeader));
        if (announced > MaxFileSize) {
            Q_EMIT DownloadErrors(QStringLiteral("Error: Overflow occurred."));
            return end();
        }
    }
    lengthKnown = announced > 0;
    if (status == QLatin1String("206") &&
        !wholeRange(Inet_->responseHeader(QStringLiteral("Content-Range")), announced))
        return fail(QStringLiteral("The server sent only part of the file (Content-Range: %1).")
                        .arg(Inet_->responseHeader(QStringLiteral("Content-Range"))));
    // Without a length the end of the body cannot be confirmed: a connection cut anywhere looks
    // like its end (chunked framing too, as the transfer layer reports it). Such a reply is
    // refused before anything is written, and so is one that would never end.
    if (!lengthKnown)
        return fail(QStringLiteral("The server did not say how long the file is, so a whole "
                                   "download cannot be told from a cut one."));

    const QString folder = GetPathPart(QFileInfo(strDestination).absoluteFilePath());
    const QStorageInfo drive(QDir(folder).exists() ? folder : QDir::currentPath());
    if (drive.isValid() && drive.bytesAvailable() < announced) {
        Q_EMIT DownloadErrors(
            QStringLiteral("There is not enough free space on disk for this file."));
        return end();
    }
    letEventsRun();
    received = 0;

    if (!QDir(folder).exists() && !QDir().mkdir(folder))
        return fail(QStringLiteral("Cannot write file to disk.\r\rError %1: %2")
                        .arg(int(QFileDevice::OpenError))
                        .arg(tr("The folder %1 cannot be made.").arg(folder)));
    if (!file.open(QIODevice::WriteOnly))
        return writeFailed(file);
    opened = true;
    // The window's events run between chunks, but a round of them per kilobyte took most of a
    // download's time: they run when 15 ms have passed (and while more bytes are awaited).
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    QByteArray piece;
    qint64 percent = -1;
    QString percentText;
    for (;;) {
        Inet_->getChunk(piece, ChunkSize);
        if (!piece.isEmpty() && file.write(piece) != piece.size())
            return writeFailed(file);
        if (CancelRequested)
            break;
        received += piece.size();
        // The same text while the percentage stays: one made each percent, not each piece.
        if (const qint64 now = roundEven(double(received) / double(announced) * 100);
            now != percent) {
            percent = now;
            percentText = QString::number(now);
        }
        Q_EMIT DownloadProgress(percentText);
        if (piece.isEmpty() || sinceEvents.elapsed() >= 15) {
            letEventsRun();
            sinceEvents.restart();
        }
        if (piece.isEmpty()) {
            bodyEnded = !Inet_->failed();
            break;
        }
    }
    if (CancelRequested)
        return end();
    if (received == announced && bodyEnded) {
        // The last write happens here: a failure is still a failure.
        if (!file.commit())
            return writeFailed(file);
        written = true;
    }
    return end();
}
