#include "info/Frmmoarefi.h"

#include "core/Site.h"
#include "shell/seams/Twips.h"
#include "ui_Frmmoarefi.h"

#include <QIcon>

QString Frmmoarefi::ScoringRule() {
    return QStringLiteral(
        "شيوه نمره گذاري:در پرسشنامه گرايش به تفکر انتقادي نمره گذاري گزينه ها بدين شرح است شديداًمخالفم = 5   مخالفم=  4   نمي دانم=  3   موافقم=   2  کاملاً موافقم=  1 براي بدست آوردن نمره هر زير مقياس بايد نمره عبارات مربوط به عبارات زير مقياس مورد نظر  را با هم جمع کرده و بر تعداد عبارات آن تقسيم کنيد");
}

Frmmoarefi::Frmmoarefi(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Frmmoarefi>()) {
    ui->setupUi(this);
    ui->Banner->setPixmap(QIcon(QStringLiteral(":/shell/banner.svg")).pixmap(QSize(680, 78)));
    ui->Label3->setText(ScoringRule());
    const QString host = Site::host();
    ui->Label4->setText(tr("وب‌سایت: https://%1").arg(host));
    ui->Label5_0->setText(tr("پشتیبانی: https://%1/support").arg(host));
    ui->Label5_1->setText(tr("پست الکترونیک: info@%1").arg(host));
    Form_Load();
}

Frmmoarefi::~Frmmoarefi() = default;

void Frmmoarefi::Form_Load() {
    placeWindow(this, 2340, 765);
}
