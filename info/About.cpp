#include "info/About.h"

#include "core/Site.h"
#include "core/Version.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/Twips.h"
#include "ui_About.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <cmath>

int About::colourCounter_ = 0;

namespace {

constexpr int kWidth = 9600;
constexpr int kHeight = 6000;

// The standard sixteen-colour palette, by entry.
QColor paletteColour(int entry) {
    static const QColor colours[16] = {
        {0, 0, 0},     {0, 0, 128},     {0, 128, 0},     {0, 128, 128},  {128, 0, 0}, {128, 0, 128},
        {128, 128, 0}, {192, 192, 192}, {128, 128, 128}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
        {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};
    return colours[entry & 15];
}

} // namespace

QString About::CreditSentence() {
    return QStringLiteral("VORN was made for clinics by its own small team");
}

QString About::SpreadCredit() {
    QString spread;
    for (QChar c : CreditSentence())
        spread += c == u' ' ? QStringLiteral(".") : QString(c) + QString(8, u' ');
    return spread;
}

About::About(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::About>()) {
    ui->setupUi(this);
    scaleDesign(this);
    setFixedSize(twips(kWidth), twips(kHeight));
    QFont font = ui->Label1->font();
    font.setPointSizeF(15.75);
    labels_ = {ui->Label1, ui->Label2, ui->Label3, ui->Label4};
    for (QLabel* line : labels_)
        line->setFont(font);
    Text1 = ui->Text1;

    auto timer = [this](const char* name, int ms) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(ms);
        return t;
    };
    Timer1 = timer("Timer1", 700);
    Timer3 = timer("Timer3", 1);
    Timer10 = timer("Timer10", 55);
    connectHandler(Timer1, &QTimer::timeout, this, &About::Timer1_Timer);
    connectHandler(Timer3, &QTimer::timeout, this, &About::Timer3_Timer);
    connectHandler(Timer10, &QTimer::timeout, this, &About::Timer10_Timer);
    connectHandler(ui->Command1, &QPushButton::clicked, this, &About::Command1_Click);
    Form_Load();
}

void About::Form_Load() {
    placeWindow(this, 1100, 1200);
    Text1->setText(SpreadCredit());
    search_ = QStringLiteral(" ");
    replacement_.clear();
    const QString host = Site::host();
    lines_ = {tr("نام نرم افزار:"),
              tr("پرسشنامهٔ گرایش به تفکر انتقادی — %1").arg(QString::fromLatin1(Version::Product)),
              tr("ساخته‌شده به دست گروه نرم‌افزاری VORN"),
              tr("پشتیبانی: https://%1/support").arg(host),
              tr("پست الکترونیک: info@%1").arg(host),
              tr("وب‌سایت: https://%1").arg(host),
              tr("فروشگاه: %1").arg(Site::shopSite()),
              tr("کانال خبری: https://%1/news").arg(host),
              QString(),
              QString(),
              QString()};
    const int tops[4] = {1920, 2640, 3240, 3840};
    for (int n = 1; n <= 4; ++n) {
        label(n)->setText(lines_[n - 1]);
        SetLabelTop(n, tops[n - 1]);
    }
    lineCounter_ = 4;
    Timer1->start();
    Timer3->start();
    Timer10->start();
}

void About::SetLabelTop(int n, int top) {
    tops_[size_t(n - 1)] = top;
    placeLabel(n);
}

void About::placeLabel(int n) {
    label(n)->setGeometry(twips(300), twips(tops_[size_t(n - 1)]), twips(kWidth - 600), twips(480));
}

// The first label that has risen to 1000 twips goes back to the bottom with the next line.
void About::Timer10_Timer() {
    for (int n = 1; n <= 4; ++n) {
        if (tops_[size_t(n - 1)] <= 1000) {
            tops_[size_t(n - 1)] = kHeight - 1500;
            ++lineCounter_;
            label(n)->setText(lines_.value(lineCounter_ - 1));
            break;
        }
    }
    if (lineCounter_ == 9)
        lineCounter_ = 0;
    for (int n = 1; n <= 4; ++n) {
        tops_[size_t(n - 1)] -= 15;
        placeLabel(n);
    }
}

void About::Timer1_Timer() {
    if (colourCounter_ > 15)
        colourCounter_ = 0;
    label(1)->setStyleSheet(QStringLiteral("color: %1;").arg(paletteColour(colourCounter_).name()));
    colourCounter_ += 2;
    auto channel = [] {
        return int(std::lround(QRandomGenerator::global()->generateDouble() * 255));
    };
    label(3)->setStyleSheet(
        QStringLiteral("color: %1;").arg(QColor(channel(), channel(), channel()).name()));
}

// Blanks go one by one until the letters stand together; then points become blanks.
void About::Timer3_Timer() {
    if (search_.isEmpty() || search_ == replacement_)
        return;
    QString text = Text1->text();
    const qsizetype at = text.indexOf(search_);
    if (at >= 0) {
        text.replace(at, search_.size(), replacement_);
        Text1->setText(text);
    } else {
        search_ = QStringLiteral(".");
        replacement_ = QStringLiteral(" ");
    }
}

About::~About() = default;

void About::Command1_Click() {
    close();
}
