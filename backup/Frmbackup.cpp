#include "backup/Frmbackup.h"

#include "backup/Backup.h"
#include "core/Version.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "data/Database.h"
#include "data/Module7.h"
#include "legacy/Legacy.h"
#include "shell/seams/Busy.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/FieldBinding.h"
#include "shell/seams/Platform.h"
#include "shell/seams/Skin.h"
#include "shell/seams/Twips.h"
#include "ui_Frmbackup.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

namespace {

const QString kFilter = QStringLiteral("Database Backup |*.mdbB");

QString title() {
    return QString::fromLatin1(Version::Product);
}

const char* const kHelp = "در این بخش از برنامه\n"
                          "می‌توانید از همهٔ اطلاعات برنامه\n"
                          "نسخهٔ پشتیبان بگیرید،\n"
                          "و هر وقت لازم شد\n"
                          "برنامه را با یک نسخهٔ پشتیبان\n"
                          "به حالت پیشین برگردانید.\n"
                          "\n"
                          "برای گرفتن نسخهٔ پشتیبان:\n"
                          "روی دکمهٔ کنار دکمهٔ BACKUP\n"
                          "کلیک کنید؛\n"
                          "در پنجره‌ای که باز می‌شود\n"
                          "جای نگه‌داری نسخهٔ پشتیبان را\n"
                          "انتخاب کنید و «ذخیره» را بزنید؛\n"
                          "سپس روی دکمهٔ BACKUP کلیک کنید.\n"
                          "پس از آن پیام ساخته شدن\n"
                          "نسخهٔ پشتیبان نشان داده می‌شود.\n"
                          "\n"
                          "هر چند وقت یک بار نسخهٔ پشتیبان بگیرید\n"
                          "تا اگر رایانه دچار مشکل شد\n"
                          "یا سیستم‌عامل دوباره نصب شد،\n"
                          "اطلاعات را از دست ندهید.\n"
                          "پیش از نصب دوبارهٔ سیستم‌عامل\n"
                          "نسخهٔ پشتیبان را روی درایوی\n"
                          "جز درایو سیستم‌عامل نگه دارید\n"
                          "و پس از نصب، آن را بازیابی کنید.\n"
                          "\n"
                          "برای بازیابی اطلاعات:\n"
                          "روی دکمهٔ کنار دکمهٔ REASTOR\n"
                          "کلیک کنید؛\n"
                          "تازه‌ترین نسخهٔ پشتیبان را\n"
                          "انتخاب کنید و «باز کردن» را بزنید؛\n"
                          "سپس روی دکمهٔ REASTOR کلیک کنید\n"
                          "و به پرسش بازیابی اطلاعات\n"
                          "پاسخ «بله» بدهید.\n"
                          "پس از آن پیام انجام شدن\n"
                          "بازیابی نشان داده می‌شود.\n"
                          "\n"
                          "برنامه پس از گرفتن نسخهٔ پشتیبان\n"
                          "یا بازیابی اطلاعات بسته می‌شود.\n"
                          "با آرزوی موفقیت.";

} // namespace

Frmbackup::Frmbackup() : ui(std::make_unique<Ui::Frmbackup>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    Adodc1 = DataView::create(this, "Adodc1", Tables::Theme);
    new FieldBinding(ui->Text3, Adodc1, QStringLiteral("TH"));
    Skin1 = new Skin(this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    ui->Text4->setPlainText(QString::fromUtf8(kHelp));

    connectHandler(Timer1, &QTimer::timeout, this, &Frmbackup::Timer1_Timer);
    connectHandler(ui->b1, &QPushButton::clicked, this, &Frmbackup::b1_Click);
    connectHandler(ui->b2, &QPushButton::clicked, this, &Frmbackup::b2_Click);
    connectHandler(ui->VisualButtonEx2, &QPushButton::clicked, this,
                   &Frmbackup::VisualButtonEx2_Click);
    connectHandler(ui->VisualButtonEx3, &QPushButton::clicked, this,
                   &Frmbackup::VisualButtonEx3_Click);
    connectHandler(ui->Command1, &QPushButton::clicked, this, &Frmbackup::Command1_Click);
    connectHandler(ui->Command2, &QPushButton::clicked, this, &Frmbackup::Command2_Click);
    connectHandler(ui->Command3, &QPushButton::clicked, this, &Frmbackup::Command3_Click);
    ui->b1->setAccessibleName(tr("انتخاب جای نسخهٔ پشتیبان"));
    ui->b2->setAccessibleName(tr("انتخاب نسخهٔ پشتیبان برای بازیابی"));
    Form_Load();
}

Frmbackup::~Frmbackup() = default;

QString Frmbackup::HourMinute(const QTime& time) {
    return QStringLiteral("%1.%2").arg(time.hour()).arg(time.minute(), 2, 10, QLatin1Char('0'));
}

QString Frmbackup::ProposedFileName(const QString& date, const QString& hourMinute) {
    return QString::fromUtf8("در تاريخ") + date + QString::fromUtf8(" ساعت)") + hourMinute +
           QStringLiteral(").mdbB");
}

QString Frmbackup::DatabaseFile() const {
    return Database::filePath(Platform::get().programFolder());
}

QString Frmbackup::BackupFolder() const {
    return QDir(Platform::get().programFolder()).filePath(QStringLiteral("Back"));
}

void Frmbackup::Form_Load() {
    placeWindow(this, 2340, 765);
    Skin1->applyTheme(this, ui->Text3->text());
    const QDateTime now = Platform::get().now();
    ui->Label2->setText(HourMinute(now.time()));
    ui->Label1->setText(Module7::SolarDate(now.date(), 4));
    ui->Label3->setText(ui->Label1->text());
    Timer1->start();
}

void Frmbackup::Timer1_Timer() {
    ui->Label2->setText(HourMinute(Platform::get().now().time()));
}

void Frmbackup::b1_Click() {
    const QString proposed =
        QDir(BackupFolder()).filePath(ProposedFileName(ui->Label3->text(), ui->Label2->text()));
    const QString chosen = Dialogs::get().saveFileName(this, QString(), proposed, kFilter);
    if (!chosen.isEmpty())
        ui->Text1->setText(chosen);
}

void Frmbackup::b2_Click() {
    const QString chosen = Dialogs::get().openFileName(this, QString(), BackupFolder(), kFilter);
    if (!chosen.isEmpty())
        ui->Text2->setText(chosen);
}

// One copy at a time: the buttons that start one wait while it runs, and come back however it
// ends. The window's other buttons stay usable; a close waits for the copy to unwind.
Frmbackup::Copying::Copying(Frmbackup* window)
    : window_(window), held_(std::make_unique<Busy>(window, Busy::Controls::Keep)) {
    window->SetCopying(true);
}

Frmbackup::Copying::~Copying() {
    window_->SetCopying(false);
}

void Frmbackup::SetCopying(bool copying) {
    copying_ = copying;
    for (QWidget* w : {ui->b1, ui->b2, ui->VisualButtonEx2, ui->VisualButtonEx3})
        w->setEnabled(!copying);
}

// The file is copied block by block; a database on a server is written into a backup file of
// the same kind, from one moment of its tables.
int Frmbackup::CopyDatabaseTo(const QString& target) {
    const QString error = Database::backupTo(target, keepAnswering());
    if (error.isEmpty())
        return 1;
    CopyFailed(error);
    return 0;
}

// The copy routine's own words, for a server's backup or restore that failed.
void Frmbackup::CopyFailed(const QString& error) {
    Dialogs::get().message(this,
                           tr("اشکال در ايجاد نسخه پشتيباني") + QStringLiteral("\r\n") + error,
                           title(), Dialogs::Icon::Critical, Dialogs::Buttons::Ok, true);
}

void Frmbackup::VisualButtonEx2_Click() {
    if (copying_)
        return;
    const QString target = ui->Text1->text();
    if (target.isEmpty()) {
        Dialogs::get().message(this, tr("لطفا مسير تهيه نسخه پشتيبان را وارد کنيد"), tr("خطا"),
                               Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok, true);
        return;
    }
    if (const QString why = Backup::whyNotATarget(target); !why.isEmpty()) {
        CopyFailed(why);
        return;
    }
    if (QFileInfo::exists(target) &&
        Dialogs::get().message(
            this,
            tr("فايل پشتيباني با اين نام قبلا ايجاد شده آيا ميخواهيد اين فايل را جايگزين کنيد؟"),
            title(), Dialogs::Icon::None, Dialogs::Buttons::YesNo) != Dialogs::Yes) {
        Dialogs::get().message(this, tr("عدم موفقيت در تهيه نسخه پشتيبان"), title(),
                               Dialogs::Icon::Information, Dialogs::Buttons::Ok, true);
        return;
    }
    int copied = 0;
    {
        const Copying copying(this);
        copied = CopyDatabaseTo(target);
    }
    if (copied == 1) {
        Dialogs::get().message(this, tr("نسخه پشتيبان تهيه گرديد"), title());
        Platform::get().endProgramNow();
    }
}

void Frmbackup::VisualButtonEx3_Click() {
    if (copying_)
        return;
    const QString source = ui->Text2->text();
    if (source.isEmpty()) {
        Dialogs::get().message(this, tr("لطفا مسير فايل مربوطه را وارد کنيد"), tr("خطا"),
                               Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok, true);
        return;
    }
    if (Dialogs::get().message(this, tr("آيا ميخواهيد اطلاعات را بازيابي کنيد؟"), title(),
                               Dialogs::Icon::None, Dialogs::Buttons::YesNo) != Dialogs::Yes) {
        Dialogs::get().message(this, tr("عدم موفقيت در بازيابي اطلاعات "), title());
        return;
    }
    if (Restore(source)) {
        Dialogs::get().message(this, tr("بازيابي اطلاعات انجام شد"), title());
        Platform::get().endProgramNow();
    }
}

// Only a whole VORN database replaces the database, and only once it is completely copied: the
// copy goes to a file beside the database that is renamed over it at the end, after the
// program's own connection is closed. Whatever fails, the old database stays as it was.
bool Frmbackup::Restore(const QString& given) {
    QString source = given;
    // A backup of the earlier program is brought in first, into a file beside the database,
    // and restored from there like any VORN backup.
    const QString converted =
        QFileInfo(DatabaseFile()).absoluteDir().filePath(QStringLiteral(".restore-import.mdb"));
    const auto removeConverted = qScopeGuard([&] { QFile::remove(converted); });
    if (Legacy::isEarlierFormat(source)) {
        Legacy::Conversion conversion;
        {
            const Copying copying(this);
            conversion = Legacy::convert(source, converted);
        }
        if (!conversion.problem.isEmpty()) {
            Dialogs::get().message(this, conversion.problem, tr("خطا"), Dialogs::Icon::Exclamation,
                                   Dialogs::Buttons::Ok, true);
            return false;
        }
        Dialogs::get().message(this, conversion.summary, title(), Dialogs::Icon::Information);
        source = converted; // checked whole by the conversion already
    } else if (const QFileInfo info(source); info.exists() || info.isSymLink()) {
        if (const QString problem = Database::checkFile(source); !problem.isEmpty()) {
            Dialogs::get().message(this,
                                   tr("این پرونده نسخهٔ پشتیبان VORN نیست و بازیابی نشد:\n%1\n\n%2")
                                       .arg(QDir::toNativeSeparators(source), problem),
                                   tr("خطا"), Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok,
                                   true);
            return false;
        }
    }
    const Copying copying(this);
    const QString error =
        Database::restoreFrom(source, Platform::get().programFolder(), keepAnswering());
    if (!error.isEmpty())
        CopyFailed(error);
    return error.isEmpty();
}

void Frmbackup::Command3_Click() {
    ui->Frame1->setGeometry(rect().adjusted(twips(300), twips(150), -twips(300), -twips(150)));
    ui->Frame1->show();
    ui->Frame1->raise();
}

void Frmbackup::Command2_Click() {
    ui->Frame1->hide();
}

void Frmbackup::Command1_Click() {
    close();
}

// Every way out ends the program.
void Frmbackup::closeEvent(QCloseEvent* event) {
    event->accept();
    Platform::get().endProgramNow();
}
