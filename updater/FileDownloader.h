#pragma once

#include <QWidget>

class Inet;

// Downloads one file over HTTP into a local file and tells its host what happens through four
// signals. The host may call Cancel() at any time, also from its own signal handlers.
class FileDownloader : public QWidget {
    Q_OBJECT
public:
    static constexpr int ChunkSize = 1024;
    // No installer is larger: a reply of unknown length is cut off here (or at the free space).
    static constexpr qint64 MaxFileSize = 2147483647;

    explicit FileDownloader(QWidget* parent = nullptr);

    // True when, at the end, the bytes received equal the length announced: also when neither
    // came (a 404, a 500, a refused redirect, a cancel while waiting for the reply), so whether a
    // file arrived is told by DowloadComplete, not by the result. Returns only when the
    // download has ended.
    bool DownloadFile(const QString& strURL, const QString& strDestination,
                      const QString& UserName = {}, const QString& Password = {});
    // Stops at once: the transfer is abandoned, and DownloadFile returns as soon as the
    // handler that called this has returned.
    void Cancel();
    bool isDownloading() const { return running_; }
    Inet* transfer() const { return Inet_; }

    // "/a/b/c.exe" gives "/a/b/"; a path without a separator is returned whole.
    static QString GetPathPart(const QString& path);

Q_SIGNALS:
    void DownloadErrors(const QString& strError);
    void DownloadEvents(const QString& strEvent);
    void DowloadComplete();
    void DownloadProgress(const QString& intPercent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool CancelRequested = false;
    bool running_ = false;
    Inet* Inet_;
};
