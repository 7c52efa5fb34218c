#include "shell/FrmServer.h"

#include "data/Database.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/Platform.h"
#include "ui_FrmServer.h"

#include <QFile>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QList<QPair<const char*, const char*>> kSslModes{
    {"prefer", "اگر سرور بخواهد (prefer)"},
    {"require", "همیشه (require)"},
    {"verify-full", "همیشه، با وارسی گواهی سرور (verify-full)"},
    {"disable", "هرگز (disable)"}};

} // namespace

FrmServer::FrmServer(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::FrmServer>()) {
    ui->setupUi(this);
    for (const auto& [mode, caption] : kSslModes)
        ui->CmbSsl->addItem(tr(caption), QString::fromLatin1(mode));
    const Server::Read current = Server::read(Platform::get().programFolder());
    if (current.settings) {
        ui->TxtHost->setText(current.settings->host);
        ui->SpnPort->setValue(current.settings->port);
        ui->TxtDatabase->setText(current.settings->database);
        ui->TxtUser->setText(current.settings->user);
        const int mode = ui->CmbSsl->findData(current.settings->sslMode);
        if (mode < 0)
            ui->CmbSsl->addItem(current.settings->sslMode, current.settings->sslMode);
        ui->CmbSsl->setCurrentIndex(mode < 0 ? ui->CmbSsl->count() - 1 : mode);
    }
    ShowNow(current);
    connectHandler(ui->CmdTest, &QPushButton::clicked, this, &FrmServer::CmdTest_Click);
    connectHandler(ui->CmdSave, &QPushButton::clicked, this, &FrmServer::CmdSave_Click);
    connectHandler(ui->CmdFile, &QPushButton::clicked, this, &FrmServer::CmdFile_Click);
    connectHandler(ui->CmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

FrmServer::~FrmServer() = default;

void FrmServer::Say(const QString& text, Dialogs::Icon icon) {
    Dialogs::get().message(this, text, windowTitle(), icon, Dialogs::Buttons::Ok, true);
}

void FrmServer::ShowNow(const Server::Read& current) {
    if (!current.error.isEmpty())
        ui->LblNow->setText(current.error);
    else if (current.settings)
        ui->LblNow->setText(tr("از اجرای بعدی: پایگاه دادهٔ «%1» روی سرور %2.")
                                .arg(current.settings->database, current.settings->host));
    else
        ui->LblNow->setText(tr("از اجرای بعدی: پروندهٔ پایگاه دادهٔ همین رایانه."));
}

bool FrmServer::Settings(ServerSettings* s) {
    s->host = ui->TxtHost->text().trimmed();
    s->port = ui->SpnPort->value();
    s->database = ui->TxtDatabase->text().trimmed();
    s->user = ui->TxtUser->text().trimmed();
    s->sslMode = ui->CmbSsl->currentData().toString();
    const QList<QPair<const QString*, QLineEdit*>> required{
        {&s->host, ui->TxtHost}, {&s->database, ui->TxtDatabase}, {&s->user, ui->TxtUser}};
    for (const auto& [value, box] : required) {
        if (value->isEmpty()) {
            Say(tr("نشانی سرور، نام پایگاه داده و نام کاربر را بنویسید."),
                Dialogs::Icon::Exclamation);
            box->setFocus();
            return false;
        }
    }
    return true;
}

// The window answers while the server is tried, and a server that does not answer ends the try
// within its deadline.
void FrmServer::TryServer(const ServerSettings& s,
                          std::function<void(const QString& said, bool usable)> done) {
    if (trying_)
        return;
    trying_ = true;
    for (QWidget* w : {static_cast<QWidget*>(ui->CmdTest), static_cast<QWidget*>(ui->CmdSave)})
        w->setEnabled(false);
    setCursor(Qt::BusyCursor);
    using Found = std::pair<QString, bool>;
    auto* watcher = new QFutureWatcher<Found>(this);
    connect(watcher, &QFutureWatcher<Found>::finished, this, [this, watcher, done] {
        const auto [said, usable] = watcher->result();
        watcher->deleteLater();
        trying_ = false;
        ui->CmdTest->setEnabled(true);
        ui->CmdSave->setEnabled(true);
        unsetCursor();
        done(said, usable);
    });
    watcher->setFuture(QtConcurrent::run([s] {
        bool usable = false;
        QString said = Database::testServer(s, &usable);
        return Found(said, usable);
    }));
}

void FrmServer::CmdTest_Click() {
    ServerSettings s;
    if (!Settings(&s))
        return;
    TryServer(s, [this](const QString& said, bool usable) {
        Say(said, usable ? Dialogs::Icon::Information : Dialogs::Icon::Exclamation);
    });
}

// Only a server that works is saved without a question: one that does not would keep the
// program from starting.
void FrmServer::CmdSave_Click() {
    ServerSettings s;
    if (!Settings(&s))
        return;
    TryServer(s, [this, s](const QString& said, bool usable) {
        if (!usable &&
            Dialogs::get().message(
                this,
                tr("با این تنظیم نمی‌شود کار کرد:\n%1\n\nاگر ذخیره شود، VORN از اجرای بعدی تا "
                   "این اتصال درست نشده باز نمی‌شود (و هنگام باز شدن پیشنهاد می‌کند با پایگاه "
                   "دادهٔ همین رایانه ادامه دهد). باز هم ذخیره شود؟")
                    .arg(said),
                windowTitle(), Dialogs::Icon::Exclamation,
                Dialogs::Buttons::YesNoDefaultNo) != Dialogs::Yes)
            return;
        Save(s);
    });
}

void FrmServer::Save(const ServerSettings& s) {
    if (const QString error = Server::write(Platform::get().programFolder(), s); !error.isEmpty()) {
        Say(tr("ذخیره نشد: %1").arg(error), Dialogs::Icon::Exclamation);
        return;
    }
    ShowNow(Server::read(Platform::get().programFolder()));
    Say(tr("ذخیره شد. برنامه از اجرای بعدی این سرور را به کار می‌برد."),
        Dialogs::Icon::Information);
}

void FrmServer::CmdFile_Click() {
    const QString path = Server::settingsPath(Platform::get().programFolder());
    if (QFile::exists(path) && !QFile::remove(path)) {
        Say(tr("پروندهٔ اتصال برداشته نشد: %1").arg(path), Dialogs::Icon::Exclamation);
        return;
    }
    ShowNow(Server::read(Platform::get().programFolder()));
    Say(tr("برنامه از اجرای بعدی پروندهٔ پایگاه دادهٔ همین رایانه را به کار "
           "می‌برد؛ داده‌های سرور سر جای خود می‌مانند."),
        Dialogs::Icon::Information);
}
