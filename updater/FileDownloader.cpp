#include "FileDownloader.h"

#include "Inet.h"
#include "Twips.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QStorageInfo>
#include <QStyle>
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

QString FileDownloader::GetPathPart(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.left(slash + 1);
}

// Every request asks for the range from byte 0, so a reply of 200 or 206 both carry the whole
// file. A download that ends short deletes what it wrote: the next one starts from the first
// byte. Without a usable length the body is read to its end and only a whole, non-empty body
// counts as complete.
bool FileDownloader::DownloadFile(const QString& strURL, const QString& strDestination,
                                  const QString& UserName, const QString& Password) {
    CancelRequested = false;
    running_ = true;
    qint64 announced = 0;
    qint64 received = 0;
    bool writing = false;     // the body is being written
    bool lengthKnown = false; // a usable Content-Length came
    bool bodyEnded = false;   // the body came to its end without a transfer error

    auto end = [&]() {
        const bool whole = !writing      ? received == announced
                           : lengthKnown ? received == announced
                                         : bodyEnded && received > 0;
        bool result = false;
        if (whole) {
            if (!CancelRequested)
                Q_EMIT DowloadComplete();
            result = true;
        } else {
            if (!QFile::exists(strDestination))
                CancelRequested = true;
            else if (!CancelRequested)
                Q_EMIT DownloadErrors(QStringLiteral("The connection with the server was reset."));
            QFile::remove(strDestination);
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

    Q_EMIT DownloadEvents(QStringLiteral("Getting file information"));
    letEventsRun();
    Inet_->setUrl(strURL);
    Inet_->setUserName(UserName);
    Inet_->setPassword(Password);
    Inet_->execute(QStringLiteral("GET"), QStringLiteral("Range: bytes=%1-\r\n").arg(received));
    while (Inet_->stillExecuting()) {
        letEventsRun();
        if (CancelRequested)
            return end();
    }

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

    bool numeric = false;
    const double length =
        Inet_->responseHeader(QStringLiteral("Content-Length")).trimmed().toDouble(&numeric);
    if (numeric && length > 2147483647.0) {
        Q_EMIT DownloadErrors(QStringLiteral("Error: Overflow occurred."));
        return end();
    }
    announced = numeric ? roundEven(length) : 0;
    lengthKnown = announced > 0;

    const QString folder = GetPathPart(QFileInfo(strDestination).absoluteFilePath());
    if (lengthKnown) {
        const QStorageInfo drive(QDir(folder).exists() ? folder : QDir::currentPath());
        if (drive.isValid() && drive.bytesAvailable() < announced) {
            Q_EMIT DownloadErrors(
                QStringLiteral("There is not enough free space on disk for this file."));
            return end();
        }
    }
    letEventsRun();
    received = 0;
    writing = true;

    auto writeFailed = [&](int number, const QString& description) {
        return fail(QStringLiteral("Cannot write file to disk.\r\rError %1: %2")
                        .arg(number)
                        .arg(description));
    };
    if (!QDir(folder).exists() && !QDir().mkdir(folder))
        return writeFailed(int(QFileDevice::OpenError),
                           tr("The folder %1 cannot be made.").arg(folder));
    // An existing file of that name is replaced: nothing of an older file survives.
    QFile file(strDestination);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return writeFailed(int(file.error()), file.errorString());
    for (;;) {
        const QByteArray piece = Inet_->getChunk(ChunkSize);
        if (!piece.isEmpty() && file.write(piece) != piece.size()) {
            const QString why = file.errorString();
            const int number = int(file.error());
            file.close();
            return writeFailed(number, why);
        }
        if (CancelRequested)
            break;
        received += piece.size();
        if (lengthKnown)
            Q_EMIT DownloadProgress(
                QString::number(roundEven(double(received) / double(announced) * 100)));
        letEventsRun();
        if (piece.isEmpty()) {
            bodyEnded = !Inet_->failed();
            break;
        }
    }
    file.close();
    if (!lengthKnown && received == 0 && !CancelRequested)
        return fail(QStringLiteral("Nothing to download!"));
    return end();
}
