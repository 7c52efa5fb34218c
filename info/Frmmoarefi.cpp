#include "info/Frmmoarefi.h"

#include "core/Site.h"
#include "shell/seams/Twips.h"

#include <QIcon>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

QString Frmmoarefi::ScoringRule() {
    return QStringLiteral(
        "شيوه نمره گذاري:در پرسشنامه گرايش به تفکر انتقادي نمره گذاري گزينه ها بدين شرح است شديداًمخالفم = 5   مخالفم=  4   نمي دانم=  3   موافقم=   2  کاملاً موافقم=  1 براي بدست آوردن نمره هر زير مقياس بايد نمره عبارات مربوط به عبارات زير مقياس مورد نظر  را با هم جمع کرده و بر تعداد عبارات آن تقسيم کنيد");
}

Frmmoarefi::Frmmoarefi(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Frmmoarefi"));
    setWindowTitle(tr("معرفي پرسشنامه"));
    resize(720, 600);
    auto* layout = new QVBoxLayout(this);
    auto* banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("Banner"));
    banner->setPixmap(QIcon(QStringLiteral(":/shell/banner.svg")).pixmap(QSize(680, 78)));
    banner->setAlignment(Qt::AlignCenter);
    layout->addWidget(banner);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // the paragraphs wrap instead
    auto* page = new QWidget(scroll);
    auto* text = new QVBoxLayout(page);
    auto add = [&](const char* name, const QString& content, int points, bool bold) {
        auto* label = new QLabel(content, page);
        label->setObjectName(QString::fromLatin1(name));
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QFont font = label->font();
        font.setPointSize(points);
        font.setBold(bold);
        label->setFont(font);
        text->addWidget(label);
        return label;
    };
    add("Label2", tr("معرفي پرسشنامه گرايش به تفکر انتقادي"), 15, true)
        ->setAlignment(Qt::AlignCenter);
    add("Label1_0",
        tr("پرسشنامهٔ گرایش به تفکر انتقادی ابزاری خودگزارشی است که در سال ۲۰۰۳ منتشر شد و میزان "
           "گرایش فرد به اندیشیدن انتقادی را می‌سنجد. تفکر انتقادی در این ابزار اندیشیدنی است که با "
           "به کار بستن راهبردها یا مهارت‌های شناختی، احتمال رسیدن به پیامدی مطلوب را بیشتر می‌کند. "
           "پرسشنامه ۳۳ عبارت دارد که در سه زیرمقیاس جای می‌گیرند: خلاقیت (۱۱ عبارت)، بالیدگی (۹ "
           "عبارت) و تعهد (۱۳ عبارت). طراحی آن بر پایهٔ یافته‌های سال ۲۰۰۳ دربارهٔ سیاههٔ پیشینی از "
           "همین گونه انجام شده است. آزمودنی میزان موافقت یا مخالفت خود را با هر عبارت روی یک طیف "
           "لیکرت پنج‌درجه‌ای، از ۱ برای کاملاً موافق تا ۵ برای کاملاً مخالف، نشان می‌دهد."),
        11, false);
    add("Label1_1",
        tr("ویژگی‌های روان‌سنجی: سازندهٔ پرسشنامه آن را در سال ۲۰۰۳ روی ۶۰ دانشجوی سال دوم رشتهٔ "
           "کشاورزی هنجاریابی کرد. ضریب پایایی زیرمقیاس‌ها برای خلاقیت ۰/۷۵، برای بالیدگی ۰/۵۷ و "
           "برای تعهد ۰/۸۶ به دست آمد. گروهی از استادان روایی صوری آن را تأیید کردند و روایی سازهٔ "
           "آن بر پژوهش پیشین سال ۱۹۹۰ استوار است که این پرسشنامه از آن ساخته شد."),
        11, false);
    add("Label3", ScoringRule(), 11, true);
    add("Label4", tr("وب‌سایت: https://%1").arg(Site::host()), 10, false);
    add("Label5_0", tr("پشتیبانی: https://%1/support").arg(Site::host()), 10, false);
    add("Label5_1", tr("پست الکترونیک: info@%1").arg(Site::host()), 10, false);
    text->addStretch();
    scroll->setWidget(page);
    layout->addWidget(scroll);
    Form_Load();
}

void Frmmoarefi::Form_Load() {
    placeWindow(this, 2340, 765);
}
