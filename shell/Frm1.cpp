#include "shell/Frm1.h"

#include "core/Site.h"
#include "core/Val.h"
#include "core/Version.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "data/Module7.h"
#include "data/Registration.h"
#include "info/About.h"
#include "info/Frmmoarefi.h"
#include "records/FrmCode.h"
#include "scoring/FrmkLID.h"
#include "shell/FrmServer.h"
#include "shell/Frmskin.h"
#include "shell/exitpro.h"
#include "shell/seams/Accessible.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/DigitFilter.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/FieldBinding.h"
#include "shell/seams/Platform.h"
#include "shell/seams/Skin.h"
#include "shell/seams/Twips.h"
#include "test/FrmTest.h"
#include "ui_Frm1.h"
#include "update/FrmUpdate.h"
#include "update/transfer/Inet.h"

#include <QCloseEvent>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QStyle>
#include <cmath>

namespace {

// Help shown while the mouse rests on a menu button; the blanks at the ends are part of it.
const QHash<QString, QString>& hoverTexts() {
    static const QHash<QString, QString> texts{
        {"Command1", QStringLiteral(" شما بايد هر آزمودني را ابتدا ثبت نام کرده و سپس روي دکمه "
                                    "اجراي تست کليک کرده و کد آزمودني را وارد کنيد")},
        {"Command2", QStringLiteral(" جهت جواب دادن به سؤالها روي اين دکمه کليک کنيد و کد آزمودني "
                                    "مورد نظر را وارد کنيد ")},
        {"Command3", QStringLiteral(" جهت کليد گذاري روي اين دکمه کليک مي کنيد")},
        {"Command4", QStringLiteral(" درصورتيکه کد آزمودني را فراموش کرده ايد با کليک بر روي  اين "
                                    "قسمت مي توانيد آن را بدست بياوريد")},
        {"Command9", QStringLiteral("با کليک بر روي اين دکمه شمامي توانيد:1- تم برنامه را عوض کنيد "
                                    "2- نام و آدرس کلينيک را وارد کنيد")},
    };
    return texts;
}

// The lists start empty with their prompt shown; a list still at its prompt is not chosen.
const QString kSexPrompt = QString::fromUtf8("جنسيت را انتخاب كنيد");
const QString kMaritalPrompt = QString::fromUtf8("وضعيت تأهل خود را مشخص کنيد");

QString listValue(const QComboBox* list, const QString& prompt) {
    const QString text = list->currentText();
    return text == prompt ? QString() : text;
}

void fillList(QComboBox* list, const QStringList& items, const QString& prompt) {
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->lineEdit()->setPlaceholderText(prompt);
}

} // namespace

// The shell's pictures live in a static library, whose resources are not registered on their own.
static void initResources() {
    Q_INIT_RESOURCE(shell);
}

Frm1* Frm1::load() {
    auto* window = new Frm1;
    if (!window->Form_Load()) {
        delete window;
        return nullptr;
    }
    window->show();
    // The activation steps run after every load, whether or not the window system activates
    // the window (it may not: no window manager, focus-stealing prevention).
    window->Form_Activate();
    window->loaded_.start();
    return window;
}

Frm1::Frm1() : ui(std::make_unique<Ui::Frm1>()) {
    initResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    Adodc1 = DataView::create(this, "Adodc1", Tables::Theme);
    Adodc2 = DataView::create(this, "Adodc2", Tables::Ide);
    Adodc3 = DataView::create(this, "Adodc3", Tables::Answer);
    Adodc5 = DataView::create(this, "Adodc5", Tables::Ide);
    new FieldBinding(ui->Text1, Adodc1, QStringLiteral("TH"));
    const QList<QPair<QLineEdit*, const char*>> registration{
        {ui->Text11, "Code"}, {ui->Text6, "FName"},   {ui->Text4, "LName"},  {ui->Text16, "Jens"},
        {ui->Text5, "Sen"},   {ui->Text15, "Taahol"}, {ui->Text7, "Tahsil"}, {ui->Text17, "Group"},
        {ui->Text8, "Date"},  {ui->Text9, "Time"}};
    for (const auto& [box, field] : registration)
        new FieldBinding(box, Adodc2, QString::fromLatin1(field));
    new FieldBinding(ui->Text26, Adodc5, QStringLiteral("Code"));
    new FieldBinding(ui->Text2, Adodc1, QStringLiteral("Name"));
    new FieldBinding(ui->Text14, Adodc1, QStringLiteral("Adress"));
    // The clinic name on the main window follows its box, even before it is saved.
    connect(ui->Text2, &QLineEdit::textChanged, ui->SkinLabel1, &QLabel::setText);
    ui->SkinLabel1->setText(ui->Text2->text());

    fillList(ui->Combo2, Tables::sexChoices(), kSexPrompt);
    fillList(ui->Combo1, Tables::maritalChoices(), kMaritalPrompt);
    fillList(ui->Combo3, {"A", "B", "C", "D", "E", "F", "G"}, QString());
    for (QComboBox* list : {ui->Combo2, ui->Combo1, ui->Combo3})
        Accessible::followListChoices(list);
    ui->Frame10->setMinimumSize(twips(6675), twips(2895));
    DigitFilter::install(ui->Text5, 2);

    Skin1 = new Skin(this);
    Inet1 = new Inet(this);
    Inet1->setObjectName(QStringLiteral("Inet1"));
    connectHandler(Inet1, &Inet::textFetched, this, &Frm1::Inet1_TextFetched);

    ui->Picture1->setIcon(QIcon(QStringLiteral(":/shell/banner.svg")));
    ui->CmdHelp->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));

    connectHandler(ui->Command1, &QPushButton::clicked, this, &Frm1::Command1_Click);
    connectHandler(ui->Command2, &QPushButton::clicked, this, &Frm1::Command2_Click);
    connectHandler(ui->Command3, &QPushButton::clicked, this, &Frm1::Command3_Click);
    connectHandler(ui->Command4, &QPushButton::clicked, this, &Frm1::Command4_Click);
    connectHandler(ui->Cmdupdate, &QPushButton::clicked, this, &Frm1::Cmdupdate_Click);
    connectHandler(ui->Command11, &QPushButton::clicked, this, &Frm1::Command11_Click);
    connectHandler(ui->Command12, &QPushButton::clicked, this, &Frm1::Command12_Click);
    connectHandler(ui->Command8, &QPushButton::clicked, this, &Frm1::Command8_Click);
    connectHandler(ui->Command10, &QPushButton::clicked, this, &Frm1::Command10_Click);
    connectHandler(ui->Command5, &QPushButton::clicked, this, &Frm1::Command5_Click);
    connectHandler(ui->Command9, &QPushButton::clicked, this, &Frm1::Command9_Click);
    connectHandler(ui->Command46, &QPushButton::clicked, this, &Frm1::Command46_Click);
    connectHandler(ui->Command64, &QPushButton::clicked, this, &Frm1::Command64_Click);
    connectHandler(ui->Command67, &QPushButton::clicked, this, &Frm1::Command67_Click);
    connectHandler(ui->Command68, &QPushButton::clicked, this, &Frm1::Command68_Click);
    connectHandler(ui->Command69, &QPushButton::clicked, this, &Frm1::Command69_Click);
    connectHandler(ui->CmdServer, &QPushButton::clicked, this, &Frm1::CmdServer_Click);
    connectHandler(ui->Command7, &QPushButton::clicked, this, &Frm1::Command7_Click);
    const QList<QPushButton*> themes{ui->Command45, ui->Command44, ui->Command43, ui->Command42,
                                     ui->Command50, ui->Command49, ui->Command48, ui->Command47,
                                     ui->Command41, ui->Command52, ui->Command53};
    for (int theme = 1; theme <= themes.size(); ++theme)
        connect(themes[theme - 1], &QPushButton::clicked, this,
                [this, theme] { guarded(this, [&] { Theme_Click(theme); }); });
    connectHandler(ui->Command6, &QPushButton::clicked, this, &Frm1::Command6_Click);
    connectHandler(ui->CmdHelp, &QToolButton::clicked, this, &Frm1::CmdHelp_Click);
    connectHandler(ui->Command14, &QPushButton::clicked, this, &Frm1::Command14_Click);
    connectHandler(ui->Picture1, &QToolButton::clicked, this, &Frm1::Picture1_Click);

    for (QWidget* w : std::initializer_list<QWidget*>{this, ui->Content, ui->Frame7}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    for (QPushButton* button : ui->Frame7->findChildren<QPushButton*>()) {
        // A move over a button is the button's own: it must not reach the menu frame below.
        button->setAttribute(Qt::WA_NoMousePropagation);
        if (const QString help = hoverTexts().value(button->objectName()); !help.isEmpty()) {
            button->setMouseTracking(true);
            button->installEventFilter(this);
            button->setAccessibleDescription(help.trimmed());
        }
    }
}

Frm1::~Frm1() = default;

bool Frm1::refuseSecondCopy(QWidget* owner) {
    if (!Platform::get().anotherCopyRunning()) {
        const QString problem = Platform::get().singleCopyProblem();
        if (problem.isEmpty())
            return false;
        // Not another copy: the lock itself failed, and the user is told what is wrong.
        Dialogs::get().message(owner, problem, QString::fromLatin1(Version::Product),
                               Dialogs::Icon::Critical);
        Platform::get().endProgramNow();
        return true;
    }
    Dialogs::get().message(owner, tr("برنامه در حال اجراست"), QStringLiteral("Warnnig"),
                           Dialogs::Icon::Information);
    Platform::get().endProgramNow();
    return true;
}

bool Frm1::Form_Load() {
    if (refuseSecondCopy(this))
        return false;
    ui->SkinLabel7->setText(Version::title());
    placeWindow(this, 2340, 765);
    Skin1->applyTheme(this, ui->Text1->text());
    ui->Text3->setText(QStringLiteral("2"));
    return true;
}

bool Frm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        // The activation that follows a load at once is the one the load already ran.
        const bool followsLoad = loaded_.isValid() && loaded_.elapsed() < 2000;
        loaded_.invalidate();
        if (!followsLoad)
            Form_Activate();
    }
    return QWidget::event(event);
}

// The published version is fetched without waiting, so the window answers clicks at once even
// when the site cannot be reached; the label keeps its last value until a reply arrives.
void Frm1::Form_Activate() {
    if (!Inet1->isFetching())
        Inet1->fetchText(Site::address(Site::VersionFilePath));
}

void Frm1::Inet1_TextFetched(const QString& text) {
    ui->SkinLabel9->setText(NumberText(Val(text)));
}

void Frm1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Frm1::Form_Unload() {
    Adodc2->refresh(); // drops a registration row that was not saved
    if (Val(ui->Text3->text()) != 1) {
        ClosePanels();
        auto* question = new exitpro;
        question->show();
        placeWindow(question, 5000, 1500);
    }
}

void Frm1::ClosePanels() {
    for (QWidget* panel : {ui->Frame6, ui->Frame10, ui->Frame8, ui->Frame9})
        panel->hide();
    ui->Command1->setEnabled(true); // the registration panel is closed, whoever closed it
    if (!Adodc2->isEmpty()) {
        Adodc2->refresh();
        Adodc3->refresh();
    }
}

void Frm1::Command1_Click() {
    ClosePanels();
    ui->Frame10->show();
    Adodc2->addRow();
    const QDateTime now = Platform::get().now();
    Adodc2->setField(QStringLiteral("Time"), Module7::ClockText(now.time()));
    Adodc2->setField(QStringLiteral("Date"), Module7::SolarDate(now.date(), 0));
    SuggestNextCode();
    ui->Command1->setEnabled(false);
    ui->Text11->setFocus();
}

// Buttons that work on a subject do nothing while none is registered.
void Frm1::Command2_Click() {
    if (Adodc3->isEmpty())
        return;
    ClosePanels();
    FrmTest::Run(this);
}

void Frm1::Command3_Click() {
    if (Adodc3->isEmpty())
        return;
    ClosePanels();
    ShowInstead(new FrmkLID);
}

void Frm1::Command4_Click() {
    if (Adodc3->isEmpty())
        return;
    ClosePanels();
    ShowInstead(new FrmCode);
}

void Frm1::Command11_Click() {
    ClosePanels();
    Frmmoarefi introduction(this);
    introduction.exec();
}

void Frm1::Command12_Click() {
    ClosePanels();
    About about(this);
    about.exec();
}

void Frm1::Cmdupdate_Click() {
    FrmUpdate check(this);
    check.exec();
}

// The other window takes the main window's place; it loads the main window again when it
// closes, so leaving this way asks no exit question.
void Frm1::ShowInstead(QWidget* window) {
    window->show();
    ui->Text3->setText(QStringLiteral("1"));
    close();
}

// The last stored code plus one, raised while a subject has that code. Gaps below the last
// code are not reused.
void Frm1::SuggestNextCode() {
    if (const QString proposal = Registration::nextFreeCode(*Adodc5); !proposal.isEmpty())
        Adodc2->setField(QStringLiteral("Code"), proposal);
}

// Each value in turn must be given; at the first one missing the user is told and taken there.
bool Frm1::RegistrationComplete() {
    const struct {
        const char* field;
        const char* notice;
        QWidget* focus;
    } required[] = {
        {"Code", "کد آزمودني را وارد کنيد", ui->Text11},
        {"FName", "نام آزمودني را وارد کنيد", ui->Text6},
        {"LName", "نام خانوادگي آزمودني را وارد کنيد", ui->Text4},
        {"Jens", "جنسيت آزمودني را مشخص کنيد", ui->Combo2},
        {"Sen", "سن آزمودني را وارد کنيد", ui->Text5},
        {"Taahol", "وضعيت تاهل آزمودني را مشخص کنيد", ui->Combo1},
        {"Group", "گروه را مشخص کنيد", ui->Combo3},
        {"Tahsil", "ميزان تحصيلات آزمودني را وارد کنيد", ui->Text7},
    };
    for (const auto& value : required) {
        if (Adodc2->field(QString::fromLatin1(value.field)).trimmed().isEmpty()) {
            Dialogs::get().notice(this, tr(value.notice));
            value.focus->setFocus();
            return false;
        }
    }
    return true;
}

void Frm1::Command8_Click() {
    Adodc2->setField(QStringLiteral("Jens"), listValue(ui->Combo2, kSexPrompt));
    Adodc2->setField(QStringLiteral("Taahol"), listValue(ui->Combo1, kMaritalPrompt));
    Adodc2->setField(QStringLiteral("Group"), listValue(ui->Combo3, QString()));
    if (!RegistrationComplete())
        return;

    // The same code, without blanks around it, keys both rows.
    const QString code = Adodc2->field(QStringLiteral("Code")).trimmed();
    switch (Registration::save(*Adodc2, *Adodc3, *Adodc5, code)) {
    case Registration::Outcome::Taken:
        Dialogs::get().notice(this, tr("فردديگري با اين کد ثبت شده"));
        return;
    case Registration::Outcome::TakenMeanwhile:
        OfferNextCode();
        return;
    case Registration::Outcome::Saved:
        break;
    }
    ui->Command1->setEnabled(true);
    Adodc2->refresh();
    Adodc3->refresh();
    Adodc5->refresh();
    ClosePanels();
}

void Frm1::OfferNextCode() {
    SuggestNextCode();
    ui->Command1->setEnabled(false);
    Dialogs::get().notice(this, tr("فردديگري با اين کد ثبت شده") + QStringLiteral("\n") +
                                    tr("کد بعدی پیشنهاد شد؛ دوباره ذخیره کنید."));
    ui->Text11->setFocus();
}

void Frm1::Command10_Click() {
    Adodc2->refresh();
    ClosePanels();
    ui->Command1->setEnabled(true);
    Adodc5->refresh();
}

void Frm1::Command9_Click() {
    ClosePanels();
    ui->Frame8->show();
}

void Frm1::Command68_Click() {
    ClosePanels();
    ui->Frame8->show();
    ui->Frame6->show();
}

void Frm1::Command67_Click() {
    ClosePanels();
    ui->Frame8->show();
    ui->Frame9->show();
}

// Where the database is: this computer's file or a server, from the next start.
void Frm1::CmdServer_Click() {
    ClosePanels();
    FrmServer panel(this);
    panel.exec();
}

void Frm1::Command69_Click() {
    ClosePanels();
}

void Frm1::Command46_Click() {
    ui->Frame6->hide();
}

// The theme is stored at once; the main window comes back through the notice, drawn in it.
void Frm1::Theme_Click(int theme) {
    ui->Text3->setText(QStringLiteral("1"));
    Adodc1->refresh(); // clinic details typed but not saved are not stored with it
    Adodc1->setField(QStringLiteral("TH"), QString::number(theme));
    Adodc1->commit();
    Adodc1->refresh();
    (new Frmskin)->show();
    close();
}

void Frm1::Command64_Click() {
    Adodc1->commit();
    Adodc1->refresh();
    ui->Frame9->hide();
}

// Abandoned edits go: the boxes show the stored name and address again.
void Frm1::Command7_Click() {
    ui->Frame9->hide();
    Adodc1->refresh();
}

void Frm1::Command5_Click() {
    ClosePanels();
    const QString calculator = Platform::get().calculator();
    if (calculator.isEmpty() ||
        !Platform::get().startProgram(calculator, {}, Platform::WindowStyle::Minimized))
        Dialogs::get().message(this, tr("برنامهٔ ماشین حساب روی این رایانه نصب نیست."),
                               QString::fromLatin1(Version::Product), Dialogs::Icon::Exclamation);
}

void Frm1::Command6_Click() {
    ClosePanels();
    close();
}

void Frm1::CmdHelp_Click() {
    Platform::get().openUrl(Site::address(Site::SettingsHelpPath));
}

void Frm1::Command14_Click() {
    Platform::get().openUrl(Site::address(Site::SoftwareListPath));
}

void Frm1::Picture1_Click() {
    Platform::get().openUrl(Site::webSite() + QLatin1Char('/'));
    Platform::get().openUrl(Site::shopSite() + QLatin1Char('/'));
}

void Frm1::ShowHoverHelp(const QString& text) {
    ui->SkinLabel2->setText(text);
    ui->SkinLabel2->setVisible(!text.isEmpty());
}

bool Frm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove)
        ShowHoverHelp(hoverTexts().value(watched->objectName()));
    return QWidget::eventFilter(watched, event);
}
