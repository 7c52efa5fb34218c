#include "shell/exitpro.h"

#include "backup/Frmbackup.h"
#include "shell/Frm1.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/PictureButton.h"
#include "shell/seams/Platform.h"
#include "shell/seams/Twips.h"
#include "ui_exitpro.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QTimer>

exitpro::exitpro(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::exitpro>()) {
    ui->setupUi(this);
    scaleDesign(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ok_ = new PictureButton(ui->k1, ui->k2, QStringLiteral(":/shell/pictures/ok.svg"),
                            QStringLiteral(":/shell/pictures/ok-hot.svg"), tr("تأیید خروج"));
    cancel_ = new PictureButton(ui->C1, ui->C2, QStringLiteral(":/shell/pictures/cancel.svg"),
                                QStringLiteral(":/shell/pictures/cancel-hot.svg"),
                                tr("انصراف و بازگشت به برنامه"));
    setMouseTracking(true);
    installEventFilter(this);

    QFont font(QFontDatabase::families().contains(QStringLiteral("B Nazanin"))
                   ? QStringLiteral("B Nazanin")
                   : ui->Check1->font().family());
    font.setPointSize(12);
    font.setBold(true);
    ui->Check1->setFont(font);
    ui->Check1->setStyleSheet(QStringLiteral(
        "QCheckBox { color: rgb(128, 64, 64); background-color: rgb(192, 255, 255); }"));

    auto timer = [this](const char* name) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(500);
        return t;
    };
    Timer2 = timer("Timer2");
    Timer3 = timer("Timer3");
    tmCaptionAnimate = timer("tmCaptionAnimate");
    connectHandler(ok_, &PictureButton::clicked, this, &exitpro::k2_Click);
    connectHandler(cancel_, &PictureButton::clicked, this, &exitpro::C2_Click);
    connectHandler(Timer2, &QTimer::timeout, this, &exitpro::Timer2_Timer);
    connectHandler(Timer3, &QTimer::timeout, this, &exitpro::Timer3_Timer);
    connectHandler(tmCaptionAnimate, &QTimer::timeout, this, &exitpro::tmCaptionAnimate_Timer);
    Form_Load();
}

exitpro::~exitpro() = default;

void exitpro::Form_Load() {
    placeWindow(this, 5000, 4500);
    ok_->showNormal();
    cancel_->showNormal();
    Timer2->start();
    Timer3->start();
    tmCaptionAnimate->start();
}

bool exitpro::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this && event->type() == QEvent::MouseMove) {
        ok_->showNormal();
        cancel_->showNormal();
    }
    return QDialog::eventFilter(watched, event);
}

// Enter confirms and Escape goes back, as the two picture buttons do.
void exitpro::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        k2_Click();
        return;
    case Qt::Key_Escape:
        C2_Click();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void exitpro::k2_Click() {
    if (ui->Check1->isChecked()) {
        (new Frmbackup)->show();
        hide();
        return;
    }
    Platform::get().endProgramNow();
}

void exitpro::C2_Click() {
    Frm1::load();
    close();
}

void exitpro::Timer2_Timer() {
    setWindowTitle(tr(" تهيه نسخه پشتيبان"));
    Timer3->start();
    Timer2->stop();
}

void exitpro::Timer3_Timer() {
    setWindowTitle(tr("پشتيبان گيري"));
    Timer2->start();
    Timer3->stop();
}

void exitpro::tmCaptionAnimate_Timer() {
    ui->Check1->setText(windowTitle());
}
