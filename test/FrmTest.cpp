#include "test/FrmTest.h"

#include "core/Val.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/DigitFilter.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/FieldBinding.h"
#include "shell/seams/Skin.h"
#include "shell/seams/Twips.h"
#include "ui_FrmTest.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QSignalBlocker>

namespace {
// Whether a test window was shown before in this run of the program.
bool shownBefore = false;
} // namespace

void FrmTest::Run(QWidget* owner) {
    std::unique_ptr<FrmTest> window = Prepare(owner);
    if (!window)
        return;
    if (shownBefore)
        window->ResetForNextTest();
    shownBefore = true;
    window->exec();
}

std::unique_ptr<FrmTest> FrmTest::Prepare(QWidget* owner) {
    auto window = std::make_unique<FrmTest>(owner);
    const QString code = Dialogs::get().input(owner, QStringLiteral(" Plese Insert Code "),
                                              QStringLiteral("Enter Code "));
    if (code.isEmpty()) {
        Dialogs::get().notice(owner, tr("شما بايد شماره آزمودني مورد نظر را وارد كنيد"));
        return nullptr;
    }
    // The code is matched exactly as typed: blanks or quotes are part of it.
    window->Adodc2->setFilter(QStringLiteral("Code"), code);
    if (!window->Adodc2->hasCurrent()) {
        Dialogs::get().notice(owner, tr("فردي با اين مشخصات وجود ندارد"));
        return nullptr;
    }
    window->Adodc3->setFilter(QStringLiteral("Code"), code);
    return window;
}

// The Answer and ide views that only saved or reread themselves on exit are left out: they
// never held an edit, and each would read the whole table again.
FrmTest::FrmTest(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::FrmTest>()) {
    ui->setupUi(this);
    Adodc1 = DataView::create(this, "Adodc1", Tables::Theme);
    Adodc2 = DataView::create(this, "Adodc2", Tables::Answer);
    Adodc3 = DataView::create(this, "Adodc3", Tables::Ide);
    Adodc6 = DataView::create(this, "Adodc6", Tables::Qus);
    new FieldBinding(ui->Text2, Adodc1, QStringLiteral("TH"));
    const QList<QPair<QLineEdit*, const char*>> details{
        {ui->Text1, "Code"},   {ui->Text3, "FName"}, {ui->Text4, "LName"},
        {ui->Text10, "Jens"},  {ui->Text5, "Sen"},   {ui->Text11, "Taahol"},
        {ui->Text7, "Tahsil"}, {ui->Text8, "Date"},  {ui->Text9, "Time"}};
    for (const auto& [box, field] : details)
        new FieldBinding(box, Adodc3, QString::fromLatin1(field));
    answer_ = new FieldBinding(ui->Text12, nullptr, QString());
    Skin1 = new Skin(this);

    options_ = new QButtonGroup(this);
    const QList<QRadioButton*> buttons{ui->Option1, ui->Option2, ui->Option3, ui->Option4,
                                       ui->Option5};
    for (int value = 1; value <= 5; ++value)
        options_->addButton(buttons[value - 1], value);
    DigitFilter::install(ui->Text6, 32767);
    DigitFilter::install(ui->Text5, 3);
    ui->CmdNext->setDefault(true);

    connectHandler(ui->Command1, &QPushButton::clicked, this, &FrmTest::Command1_Click);
    connectHandler(ui->CmdNext, &QPushButton::clicked, this, &FrmTest::CmdNext_Click);
    connectHandler(ui->CmdBack, &QPushButton::clicked, this, &FrmTest::CmdBack_Click);
    // Toggled, not clicked: the mouse, the keys and an accessibility action all check an option,
    // and each way must store it.
    connectHandler(options_, &QButtonGroup::idToggled, this, &FrmTest::Option_Toggled);
    connectHandler(ui->Text6, &QLineEdit::textChanged, this, &FrmTest::Text6_Change);
    // The options follow the answer box, also when a refused save shows the answer stored.
    connectHandler(ui->Text12, &QLineEdit::textChanged, this, &FrmTest::ShowAnswer);
    connectHandler(ui->Command5, &QPushButton::clicked, this, &FrmTest::Command5_Click);
    Form_Load();
}

FrmTest::~FrmTest() = default;

void FrmTest::Form_Load() {
    placeWindow(this, 2340, 765);
    Skin1->applyTheme(this, ui->Text2->text());
    ui->SkinLabel4->show();
    ui->SkinLabel3->show();
    ui->CmdNext->hide();
    ui->CmdBack->hide();
}

void FrmTest::ResetForNextTest() {
    for (QWidget* w :
         std::initializer_list<QWidget*>{ui->SkinLabel4, ui->Command1, ui->Frame1, ui->SkinLbl5})
        w->show();
    for (QWidget* w : std::initializer_list<QWidget*>{ui->CmdBack, ui->SkinLabel3, ui->CmdNext})
        w->hide();
    SetNumber(QStringLiteral("0"));
}

void FrmTest::Command1_Click() {
    ui->SkinLbl5->show();
    ui->SkinLabel3->hide();
    ui->SkinLabel4->hide();
    ui->Frame1->show();
    ui->Frame2->show();
    ui->Text6->show();
    ui->LabelNumber->show();
    ui->CmdNext->show();
    SetNumber(QStringLiteral("0"));
    ui->CmdBack->show();
    ui->Text1->setFocus();
    ui->Command1->hide();
    ui->Command5->show();
    SetNumber(QStringLiteral("1"));
}

void FrmTest::SetNumber(const QString& text) {
    ui->Text6->setText(text);
}

// Every change of the number box shows its item. An empty box means item 1, a number below 1
// or above 33 is brought back with a notice, 0 leaves the item shown before.
void FrmTest::Text6_Change() {
    const QString text = ui->Text6->text();
    auto showInstead = [this](const QString& number) {
        const QSignalBlocker quiet(ui->Text6);
        ui->Text6->setText(number);
    };
    if (text.isEmpty()) {
        ui->SkinLbl5->clear();
        showInstead(QStringLiteral("1"));
        ShowItem(1);
        return;
    }
    const double number = Val(text);
    if (number < 0) {
        Dialogs::get().notice(this, tr("شروع"));
        showInstead(QStringLiteral("1"));
        ShowItem(1);
    } else if (number == 0) {
        return;
    } else if (number > Tables::ItemCount) {
        Adodc2->commit();
        Dialogs::get().notice(this, tr("پايان"));
        showInstead(QString::number(Tables::ItemCount));
        ShowItem(Tables::ItemCount);
    } else {
        ShowItem(int(number)); // "05" is item 5
    }
}

void FrmTest::ShowItem(int item) {
    const QString number = QString::number(item);
    Adodc6->setFilter(QStringLiteral("ID"), number);
    ui->SkinLbl5->setText(Adodc6->field(QStringLiteral("QU")));
    answer_->bind(Adodc2, number);
    ui->Frame2->setTitle(number);
    item_ = item;
    ShowAnswer();
}

void FrmTest::ShowAnswer() {
    const QString stored = ui->Text12->text();
    const QScopedValueRollback<bool> showing(showingAnswer_, true);
    if (stored.isEmpty()) {
        options_->setExclusive(false);
        for (QAbstractButton* option : options_->buttons())
            option->setChecked(false);
        options_->setExclusive(true);
        return;
    }
    const double value = Val(stored);
    if (value >= 1 && value <= 5 && value == int(value))
        options_->button(int(value))->setChecked(true);
}

void FrmTest::Option_Toggled(int value, bool checked) {
    if (checked && !showingAnswer_)
        Option_Click(value);
}

// The answer is written to the file at once: a window closed or a program killed keeps it.
void FrmTest::Option_Click(int value) {
    if (item_ < 1 || !Adodc2->hasCurrent())
        return;
    Adodc2->setField(QString::number(item_), QString::number(value));
    Adodc2->commit();
}

void FrmTest::CmdNext_Click() {
    Adodc2->commit();
    SetNumber(NumberText(Val(ui->Text6->text()) + 1));
}

void FrmTest::CmdBack_Click() {
    Adodc2->commit();
    SetNumber(NumberText(Val(ui->Text6->text()) - 1));
}

void FrmTest::SaveAll() {
    DataView::commitAll({Adodc2, Adodc3});
}

void FrmTest::Command5_Click() {
    accept();
}

// However the window closes (Save and exit, the close box), the answers and the details are
// saved; a failed save keeps the window open with nothing lost.
void FrmTest::done(int result) {
    SaveAll();
    QDialog::done(result);
}

// The close event stays refused unless the save went through: done() hides the window then.
void FrmTest::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

// The subject leaves the test only by Save and exit or the close box, never by a stray Escape.
void FrmTest::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
