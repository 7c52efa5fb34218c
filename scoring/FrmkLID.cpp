#include "scoring/FrmkLID.h"

#include "core/Val.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "report/Report.h"
#include "scoring/Reports.h"
#include "scoring/Scoring.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/FieldBinding.h"
#include "shell/seams/MainWindow.h"
#include "shell/seams/Skin.h"
#include "shell/seams/Twips.h"
#include "ui_FrmkLID.h"

#include <QCloseEvent>

namespace {

const QString kHelp =
    QStringLiteral("در اين قسمت از نرم افزار ابتدا روي انتخاب آزمودني \n"
                   "کليک کرده سپس کد آزمودني را وارد کنيد و دکمه \n"
                   "اينتر را فشار دهيد نتيجه آزمون نمايش داده و ذخيره \n"
                   "خواهد شد در صورتيکه تمايل داريد نتيجه آزمون را \n"
                   "پرينت بگيريد روي دکمه پرينت آزمودني انتخاب شده \n"
                   "کليک کنيد و در صورتيکه تمايل به پرينت نتيجه آزمون \n"
                   "کل آزمودنيها را داريد روي دکمه پرينت کل آزمودنيها کليک کنيد\n");

} // namespace

FrmkLID::FrmkLID() : ui(std::make_unique<Ui::FrmkLID>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    Adodc1 = DataView::create(this, "Adodc1", Tables::Theme);
    Adodc2 = DataView::create(this, "Adodc2", Tables::Answer);
    Adodc3 = DataView::create(this, "Adodc3", Tables::Ide);
    Adodc5 = DataView::create(this, "Adodc5", Tables::Ide);
    Adodc6 = DataView::create(this, "Adodc6", Tables::Ide);

    new FieldBinding(ui->Text1, Adodc1, QStringLiteral("TH"));
    new FieldBinding(ui->Text13, Adodc1, QStringLiteral("Name"));
    new FieldBinding(ui->Text16, Adodc1, QStringLiteral("Adress"));
    const QList<QPair<QLineEdit*, const char*>> details{
        {ui->Text15, "Code"},  {ui->Text3_3, "FName"}, {ui->Text12, "LName"},
        {ui->Text10, "Jens"},  {ui->Text6, "Sen"},     {ui->Text11, "Taahol"},
        {ui->Text7, "Tahsil"}, {ui->Text8, "Date"},    {ui->Text9, "Time"}};
    for (const auto& [box, field] : details)
        new FieldBinding(box, Adodc3, QString::fromLatin1(field));
    const QList<QLineEdit*> scoreBoxes{ui->Text2, ui->Text4, ui->Text14};
    for (int i = 0; i < 3; ++i)
        new FieldBinding(scoreBoxes[i], Adodc5,
                         QString::fromLatin1(Scoring::key()[size_t(i)].field));
    for (int item = 1; item <= Tables::ItemCount; ++item)
        new FieldBinding(findChild<QLineEdit*>(QStringLiteral("Txt3_%1").arg(item)), Adodc2,
                         QString::number(item));
    ui->Text21->setPlainText(kHelp);
    Skin1 = new Skin(this);

    connectHandler(ui->Command1, &QPushButton::clicked, this, &FrmkLID::Command1_Click);
    connectHandler(ui->Command2, &QPushButton::clicked, this, &FrmkLID::Command2_Click);
    connectHandler(ui->Command3, &QPushButton::clicked, this, &FrmkLID::Command3_Click);
    connectHandler(ui->Command4, &QPushButton::clicked, this, &FrmkLID::Command4_Click);
    connectHandler(ui->Command6, &QPushButton::clicked, this, &FrmkLID::Command6_Click);
    connectHandler(ui->Command7, &QPushButton::clicked, this, &FrmkLID::Command7_Click);
    Form_Load();
}

FrmkLID::~FrmkLID() = default;

void FrmkLID::Form_Load() {
    placeWindow(this, 2340, 765);
    ui->Frame2->setGeometry(twips(1380), twips(1080), twips(7635), twips(4935));
    Skin1->applyTheme(this, ui->Text1->text());
}

void FrmkLID::Command1_Click() {
    const QString code = Dialogs::get().input(this, QStringLiteral(" Enter Number "),
                                              tr(" کد آزمودني را وارد کنيد"));
    if (code.isEmpty()) {
        Dialogs::get().notice(this, tr("شما بايد شماره آزمودني مورد نظر را وارد كنيد"));
        return;
    }
    Adodc2->refreshFiltered(QStringLiteral("Code"), code);
    Adodc3->setFilter(QStringLiteral("Code"), code);
    if (!Adodc2->hasCurrent()) {
        Dialogs::get().notice(this, tr("فردي با اين مشخصات وجود ندارد"));
        return;
    }
    if (const QString missing = MissingItems(); !missing.isEmpty()) {
        Dialogs::get().message(this,
                               tr("شما به سوالات زير پاسخ نداده ايد و تا به تمام سوالات پاسخ "
                                  "ندهيد نمي توانيد نمره گذاري را انجام دهيد") +
                                   QStringLiteral("\r\n\r\n") + missing,
                               tr("خطا"), Dialogs::Icon::Exclamation);
        ui->Frame3->hide();
        return;
    }
    ui->Frame3->show();
    Adodc3->setFilter(QStringLiteral("Code"), code);
    Adodc5->setFilter(QStringLiteral("Code"), code);
    ui->Text5->setText(code);
    ComputeScores();
}

QString FrmkLID::MissingItems() const {
    QList<int> missing;
    for (int item = 1; item <= Tables::ItemCount; ++item)
        if (Adodc2->field(QString::number(item)).isEmpty())
            missing << item;
    return Scoring::MissingItemsText(missing);
}

void FrmkLID::ComputeScores() {
    const QList<QLineEdit*> boxes{ui->Text2, ui->Text4, ui->Text14};
    for (QLineEdit* box : boxes)
        box->setText(QStringLiteral("0"));
    const std::array<QString, 3> computed =
        Scoring::scores([this](int item) { return Adodc2->field(QString::number(item)); });
    for (size_t i = 0; i < computed.size(); ++i)
        boxes[int(i)]->setText(computed[i]);
    // Answers with no registration row: the scores are shown but have nowhere to go.
    if (!Adodc5->hasCurrent()) {
        Dialogs::get().notice(
            this,
            tr("مشخصات اين آزمودني ثبت نشده است؛ نمره‌ها ذخيره "
               "نشد."));
        return;
    }
    QStringList scores; // read first: each stored field refreshes the boxes bound to the row
    for (QLineEdit* box : boxes)
        scores << box->text().trimmed();
    for (size_t i = 0; i < Scoring::key().size(); ++i)
        Adodc5->setField(QString::fromLatin1(Scoring::key()[i].field), scores[int(i)]);
    Adodc5->commit();
    Dialogs::get().notice(this, tr("اطلاعات با موفقيت محاسبه و ذخيره شد"));
}

void FrmkLID::Command2_Click() {
    ui->Frame2->show();
    ui->Frame2->raise();
}

void FrmkLID::Command7_Click() {
    ui->Frame2->hide();
}

// The list is read afresh: scores stored in this window a moment ago belong in it.
void FrmkLID::Command3_Click() {
    Adodc6->refresh();
    Report& report = DataRPrint();
    report.setDataSource(Adodc6);
    report.setCaption(QStringLiteral("Section4"), QStringLiteral("Label9"), ui->Text13->text());
    report.setCaption(QStringLiteral("Section5"), QStringLiteral("Label14"), ui->Text16->text());
    report.present(this);
}

void FrmkLID::Command6_Click() {
    if (ui->Text5->text().isEmpty()) {
        Dialogs::get().notice(this,
                              tr("ابتدا روي انتخاب آزمودني کليک کرده سپس کد آزمودني را وارد کنيد "
                                 "بعد روي پرينت کليک کنيد "),
                              2000);
        return;
    }
    // The sheet is of the selected subject, even after a refused selection changed the view.
    Adodc3->setFilter(QStringLiteral("Code"), ui->Text5->text());
    Report& report = DataR1();
    report.setDataSource(Adodc3);
    const QString section = QStringLiteral("Section1");
    const QList<QPair<const char*, QString>> values{
        {"Label15", ui->Text15->text()},
        {"Label16", Adodc3->field(QStringLiteral("Group"))},
        {"Label17", (ui->Text3_3->text() + QLatin1Char(' ') + ui->Text12->text()).trimmed()},
        {"Label19", ui->Text6->text()},
        {"Label20", ui->Text10->text()},
        {"Label21", ui->Text11->text()},
        {"Label22", ui->Text7->text()},
        {"Label23", ui->Text2->text()},
        {"Label26", ui->Text4->text()},
        {"Label25", ui->Text14->text()},
        {"Label29", ui->Text16->text()},
    };
    for (const auto& [label, text] : values)
        report.setCaption(section, QString::fromLatin1(label), text);
    report.present(this);
    ui->Text5->clear();
}

void FrmkLID::Command4_Click() {
    close();
}

void FrmkLID::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void FrmkLID::Form_Unload() {
    MainWindow::showAgain();
}
