#include "updater/Progress.h"

#include "core/Site.h"
#include "core/Val.h"
#include "shell/seams/Busy.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/Platform.h"
#include "shell/seams/Twips.h"
#include "ui_Progress.h"
#include "update/transfer/Inet.h"
#include "updater/FileDownloader.h"
#include "updater/Signature.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QIcon>
#include <QLabel>
#include <QTimer>

namespace {
QString idleCaption() {
    return QString::fromUtf8("دانلود");
}
} // namespace

static void initResources() {
    Q_INIT_RESOURCE(shell);
}

Progress::Progress() : ui(std::make_unique<Ui::Progress>()) {
    initResources();
    ui->setupUi(this);
    // The banner fills the background, faded so the texts on it stay readable.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Image1->setPixmap(QIcon(QStringLiteral(":/shell/banner.svg")).pixmap(QSize(840, 290)));
    auto* fade = new QGraphicsOpacityEffect(Image1);
    fade->setOpacity(0.35);
    Image1->setGraphicsEffect(fade);
    Image1->lower();
    FileDownloader_ = new FileDownloader(this);
    FileDownloader_->setObjectName(QStringLiteral("FileDownloader"));
    ui->topLayout->insertWidget(1, FileDownloader_);
    ui->Text->setText(Site::address(Site::InstallerPath));
    ui->Label2_0->setText(QStringLiteral("info@") + Site::host());
    ui->Label2_1->setText(QStringLiteral("https://") + Site::host());
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    connectHandler(ui->cmdUpdate, &QPushButton::clicked, this, &Progress::cmdUpdate_Click);
    connectHandler(ui->Command1, &QPushButton::clicked, this, &Progress::Command1_Click);
    connectHandler(Timer1, &QTimer::timeout, this, &Progress::Timer1_Timer);
    connectHandler(FileDownloader_, &FileDownloader::DownloadProgress, this,
                   &Progress::FileDownloader_DownloadProgress);
    connectHandler(FileDownloader_, &FileDownloader::DownloadErrors, this,
                   &Progress::FileDownloader_DownloadErrors);
    connectHandler(FileDownloader_, &FileDownloader::DowloadComplete, this,
                   &Progress::FileDownloader_DowloadComplete);
    Form_Load();
}

Progress::~Progress() = default;

void Progress::resizeEvent(QResizeEvent* event) {
    Image1->setGeometry(rect());
    QWidget::resizeEvent(event);
}

// Closed while a download runs: the download is cancelled, and the window closes once it has
// unwound (the download still runs inside the click that started it).
void Progress::closeEvent(QCloseEvent* event) {
    if (FileDownloader_->isDownloading()) {
        closeWhenDone_ = true;
        FileDownloader_->Cancel();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void Progress::Form_Load() {
    resize(twips(8400), twips(2900));
    placeWindow(this, 2475, 1620);
    ui->Label1->hide();
    ui->Text->hide();
    Timer1->start();
}

QString Progress::GetFileName(const QString& strURL) {
    const qsizetype length = strURL.size();
    if (length - 1 <= 0)
        return {};
    const bool http = strURL.startsWith(QLatin1String("http://"));
    const bool https = strURL.startsWith(QLatin1String("https://"));
    if (!http && !https)
        return {};
    if (strURL == QLatin1String("http://") || strURL == QLatin1String("https://"))
        return {};
    const qsizetype slash = strURL.lastIndexOf(QLatin1Char('/'), length - 2);
    if (slash < 0)
        return {};
    const QString name = strURL.mid(slash + 1);
    if (name.size() < 2 || name.lastIndexOf(QLatin1Char('.'), name.size() - 2) < 0)
        return {};
    return name;
}

void Progress::Idle() {
    ui->cmdUpdate->setText(idleCaption());
    ui->ProgressBar->setValue(0);
}

void Progress::cmdUpdate_Click() {
    if (ui->cmdUpdate->text() != idleCaption()) {
        FileDownloader_->Cancel();
        Idle();
        return;
    }
    // A cancelled download may still be unwinding: a new one waits for it to end.
    if (FileDownloader_->isDownloading())
        return;
    ui->cmdUpdate->setText(QString::fromUtf8("انصراف"));
    ui->ProgressBar->setValue(0);
    const QString address = ui->Text->text();
    FileDownloader_->DownloadFile(
        address, QDir(Platform::get().programFolder()).filePath(GetFileName(address)));
    if (closeWhenDone_)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// More bytes than announced give more than 100: the bar stops at full.
void Progress::FileDownloader_DownloadProgress(const QString& intPercent) {
    ui->ProgressBar->setValue(int(std::clamp(Val(intPercent), 0.0, 100.0)));
}

void Progress::FileDownloader_DownloadErrors(const QString& strError) {
    Dialogs::get().message(this, strError, QStringLiteral("Error"), Dialogs::Icon::Critical,
                           Dialogs::Buttons::Ok, false);
    Idle();
    FileDownloader_->Cancel();
}

// The maker's signature, published beside the installer, is fetched and checked before the
// file may be run: a file the maker did not sign (a cut download, a hijacked site or proxy, a
// mistyped site address) is removed and never started, and nothing downloaded is run to check it.
void Progress::FileDownloader_DowloadComplete() {
    const QString address = ui->Text->text();
    const QString installer = QDir(Platform::get().programFolder()).filePath(GetFileName(address));
    QByteArray signature;
    {
        Busy busy(this, Busy::Controls::Disable, [this] {
            closeWhenDone_ = true;
            FileDownloader_->transfer()->abortFetch();
        });
        signature = FileDownloader_->transfer()->fetchBytes(address + QStringLiteral(".sig"),
                                                            Signature::Size + 1);
    }
    if (closeWhenDone_) { // closed meanwhile: nothing was checked, so nothing is kept
        QFile::remove(installer);
        return;
    }
    QString problem;
    if (signature.isNull())
        problem = tr("امضای سازنده برای آن روی سایت نبود (%1.sig)").arg(address);
    else if (const Signature::Check check = Signature::verify(installer, signature);
             check == Signature::Check::Unreadable)
        problem = tr("پروندهٔ دریافت‌شده خوانده نشد");
    else if (check == Signature::Check::Wrong)
        problem = tr(
            "امضای سازنده با آن نمی‌خواند: پرونده سالم نیست یا از سازندهٔ VORN نیست");
    if (!problem.isEmpty()) {
        QFile::remove(installer);
        Idle();
        Dialogs::get().message(this,
                               tr("برنامهٔ نصب دریافت شد اما اجرا نشد و پاک شد: %1. دوباره دانلود "
                                  "کنید؛ اگر باز همین را دیدید، نشانی سایت را بررسی کنید.")
                                   .arg(problem),
                               QStringLiteral("Error"), Dialogs::Icon::Critical);
        return;
    }
    // Only a signed file becomes a program that may be run.
    QFile::setPermissions(installer, QFile::permissions(installer) | QFileDevice::ExeOwner);
    Dialogs::get().message(this, tr("دانلود فايل با موفقيت به پايان رسيد "),
                           QStringLiteral("Success"), Dialogs::Icon::Information);
    Idle();
    if (!Platform::get().startProgram(installer, {}, Platform::WindowStyle::Minimized))
        Dialogs::get().message(this,
                               tr("برنامهٔ نصب دریافت شد اما اجرا نشد. آن را خودتان اجرا کنید:\n%1")
                                   .arg(QDir::toNativeSeparators(installer)),
                               QStringLiteral("Error"), Dialogs::Icon::Exclamation);
    Platform::get().endProgramNow();
}

void Progress::Timer1_Timer() {
    ui->Label4->setText(QString::number(ui->ProgressBar->value()));
}

void Progress::Command1_Click() {
    Platform::get().endProgramNow();
}
