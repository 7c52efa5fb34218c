#include "Frm1.h"

#include "Content.h"
#include "DataView.h"
#include "Dialogs.h"
#include "FieldBinding.h"
#include "Inet.h"
#include "Platform.h"
#include "Site.h"
#include "Skin.h"
#include "Twips.h"
#include "Val.h"
#include "Version.h"
#include "ui_Frm1.h"

#include <QCloseEvent>
#include <QHash>
#include <QIcon>
#include <QStyle>

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
    return window;
}

Frm1::Frm1() : ui(std::make_unique<Ui::Frm1>()) {
    initResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    auto makeView = [this](const char* name, const char* table) {
        auto* view = new DataView(this);
        view->setObjectName(QString::fromLatin1(name));
        view->open(QString::fromLatin1(table));
        return view;
    };
    Adodc1 = makeView("Adodc1", Tables::Theme);
    Adodc2 = makeView("Adodc2", Tables::Ide);
    Adodc3 = makeView("Adodc3", Tables::Answer);
    Adodc5 = makeView("Adodc5", Tables::Ide);
    new FieldBinding(ui->Text1, Adodc1, QStringLiteral("TH"));

    Skin1 = new Skin(this);
    Inet1 = new Inet(this);
    Inet1->setObjectName(QStringLiteral("Inet1"));
    connect(Inet1, &Inet::textFetched, this, &Frm1::Inet1_TextFetched);

    ui->Picture1->setIcon(QIcon(QStringLiteral(":/shell/banner.svg")));
    ui->CmdHelp->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));

    connect(ui->Command5, &QPushButton::clicked, this, &Frm1::Command5_Click);
    connect(ui->Command6, &QPushButton::clicked, this, &Frm1::Command6_Click);
    connect(ui->CmdHelp, &QToolButton::clicked, this, &Frm1::CmdHelp_Click);
    connect(ui->Command14, &QPushButton::clicked, this, &Frm1::Command14_Click);
    connect(ui->Picture1, &QToolButton::clicked, this, &Frm1::Picture1_Click);

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
    if (!Platform::get().anotherCopyRunning())
        return false;
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
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
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
    if (Val(ui->Text3->text()) != 1)
        ClosePanels();
}

void Frm1::ClosePanels() {
    for (QWidget* panel : {ui->Frame6, ui->Frame10, ui->Frame8, ui->Frame9})
        panel->hide();
    if (Adodc2->rowCount() >= 1) {
        Adodc2->refresh();
        Adodc3->refresh();
    }
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
