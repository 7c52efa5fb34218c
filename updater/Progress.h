#pragma once

#include <QWidget>
#include <memory>

class FileDownloader;
class QTimer;
namespace Ui {
class Progress;
}

// The updater's only window: downloads the newest installer with a progress bar, starts it and
// ends the updater.
class Progress : public QWidget {
    Q_OBJECT
public:
    Progress();
    ~Progress() override;

    // The file name of an address: "setup-VORN.exe" of ".../Soft/VORN/setup-VORN.exe"; empty
    // for any other scheme than "http://" or "https://" or a last segment without a point.
    static QString GetFileName(const QString& strURL);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private Q_SLOTS:
    void Form_Load();
    void cmdUpdate_Click();
    void Command1_Click();
    void Timer1_Timer();
    void FileDownloader_DownloadProgress(const QString& intPercent);
    void FileDownloader_DownloadErrors(const QString& strError);
    void FileDownloader_DowloadComplete();

private:
    void Idle();

    std::unique_ptr<Ui::Progress> ui;
    FileDownloader* FileDownloader_;
    QTimer* Timer1;
    class QLabel* Image1; // the banner picture behind the window's controls
    bool closeWhenDone_ = false;
};
