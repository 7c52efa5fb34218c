#include "update/FrmUpdate.h"

#include "core/Site.h"
#include "core/Val.h"
#include "core/Version.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/FieldBinding.h"
#include "shell/seams/Platform.h"
#include "shell/seams/Skin.h"
#include "shell/seams/Twips.h"
#include "ui_FrmUpdate.h"
#include "update/transfer/Inet.h"

#include <QApplication>
#include <QDir>
#include <QFile>

FrmUpdate::FrmUpdate(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::FrmUpdate>()) {
    ui->setupUi(this);
    Adodc1 = DataView::create(this, "Adodc1", Tables::Theme);
    new FieldBinding(ui->Text2, Adodc1, QStringLiteral("TH"));
    Inet1 = new Inet(this);
    Inet1->setObjectName(QStringLiteral("Inet1"));
    Skin1 = new Skin(this);
    connectHandler(ui->Command1, &QPushButton::clicked, this, &FrmUpdate::Command1_Click);
    connectHandler(ui->Command2, &QPushButton::clicked, this, &FrmUpdate::Command2_Click);
    Form_Load();
}

FrmUpdate::~FrmUpdate() = default;

void FrmUpdate::Form_Load() {
    setWindowTitle(Version::title());
    ui->Label1->setText(Version::title());
    placeWindow(this, 4085, 2745);
    Skin1->applyTheme(this, ui->Text2->text(), Skin::updateFiles());
}

void FrmUpdate::Command1_Click() {
    ui->Command1->setEnabled(false);
    setWindowTitle(QStringLiteral("Please wait..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The window goes on while the reply is awaited (its exit and close box too); a failure
    // reads as 0.
    const double published = Val(Inet1->openUrl(Site::address(Site::VersionFilePath)));
    if (closing_) { // the user closed the window meanwhile: nothing more to say
        QApplication::restoreOverrideCursor();
        return;
    }
    const double running = Val(Version::text());
    if (published > running) {
        const QString updater =
            QDir(Platform::get().programFolder()).filePath(QStringLiteral("VORNupdate"));
        if (Platform::get().startProgram(updater, {}, Platform::WindowStyle::Minimized)) {
            QApplication::restoreOverrideCursor();
            close();
            Platform::get().endProgramNow();
            return;
        }
        QApplication::restoreOverrideCursor();
        Dialogs::get().message(
            this,
            tr("نسخهٔ تازه‌تری منتشر شده است، اما برنامهٔ به‌روزرسانی (%1) اجرا نشد.")
                .arg(QDir::toNativeSeparators(updater)),
            Version::title(), Dialogs::Icon::Exclamation);
    } else {
        QApplication::restoreOverrideCursor();
        Dialogs::get().message(
            this,
            tr("شما آخرين ورژن نرم افزار را داريد و يا اينکه ارتباط شما با اينترنت برقرار نمي باشد "),
            QString::fromLatin1(Version::Product), Dialogs::Icon::Information);
    }
    setWindowTitle(Version::title());
    ui->Command1->setEnabled(true);
}

void FrmUpdate::Command2_Click() {
    close();
}

void FrmUpdate::done(int result) {
    closing_ = true;
    Inet1->abortFetch();
    QDialog::done(result);
}

int FrmUpdate::DLfile(const QString& path, const QString& address) {
    const QByteArray body = Inet1->fetchBytes(address, 256 << 20);
    QFile file(path);
    if (!body.isNull() && file.open(QIODevice::WriteOnly))
        file.write(body);
    return 0;
}
