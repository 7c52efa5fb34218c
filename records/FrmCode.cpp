#include "records/FrmCode.h"

#include "core/Version.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "data/DataViewModel.h"
#include "report/Report.h"
#include "research/Export.h"
#include "research/GroupReport.h"
#include "scoring/Reports.h"
#include "shell/seams/Accessible.h"
#include "shell/seams/Busy.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/FieldBinding.h"
#include "shell/seams/MainWindow.h"
#include "shell/seams/Skin.h"
#include "shell/seams/Twips.h"
#include "ui_FrmCode.h"

#include <QCloseEvent>
#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QProgressDialog>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QTimer>
#include <algorithm>
#include <climits>

FrmCode::FrmCode() : ui(std::make_unique<Ui::FrmCode>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    Adodc1 = DataView::create(this, "Adodc1", Tables::Theme);
    Adodc2 = DataView::create(this, "Adodc2", Tables::Ide);
    Adodc3 = DataView::create(this, "Adodc3", Tables::Ide);
    Adodc4 = DataView::create(this, "Adodc4", Tables::Answer);
    new FieldBinding(ui->Text1, Adodc1, QStringLiteral("TH"));
    new FieldBinding(ui->Text4, Adodc1, QStringLiteral("Adress"));

    grid_ = new DataViewModel(Adodc2, {"Code", "FName", "LName", "Group"},
                              {tr("کد"), tr("نام"), tr("نام خانوادگي"), tr("گروه")}, this);
    connect(grid_, &DataViewModel::readFailed, this,
            [this](const QString& message) { showHandlerError(this, message); });
    ui->Combo3->addItems({"A", "B", "C", "D", "E", "F", "G"});
    ui->Combo3->setCurrentIndex(-1);
    // No completion: the text stays what the user typed, and a search runs for exactly that.
    // The stored names are offered by each list itself.
    for (QComboBox* list : {ui->DataCombo1, ui->DataCombo6, ui->Combo3}) {
        list->setCompleter(nullptr);
        Accessible::followListChoices(list);
    }
    Skin1 = new Skin(this);

    connectHandler(ui->DataCombo1, &QComboBox::editTextChanged, this, &FrmCode::DataCombo1_Change);
    connectHandler(ui->DataCombo6, &QComboBox::editTextChanged, this, &FrmCode::DataCombo6_Change);
    connectHandler(ui->Combo3, &QComboBox::editTextChanged, this, &FrmCode::Combo3_Change);
    connectHandler(ui->Command1, &QPushButton::clicked, this, &FrmCode::Command1_Click);
    connectHandler(ui->Command2, &QPushButton::clicked, this, &FrmCode::Command2_Click);
    connectHandler(ui->Command6, &QPushButton::clicked, this, &FrmCode::Command6_Click);
    connectHandler(ui->CmdExport, &QPushButton::clicked, this, &FrmCode::CmdExport_Click);
    connectHandler(ui->CmdStats, &QPushButton::clicked, this, &FrmCode::CmdStats_Click);
    Form_Load();
}

FrmCode::~FrmCode() = default;

void FrmCode::Form_Load() {
    placeWindow(this, 2340, 765);
    Skin1->applyTheme(this, ui->Text1->text());
    ui->DataGrid1->setModel(grid_);
    ui->DataGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Adodc2->commit();
    Adodc2->refresh();
    // The lists hold a name of every subject: they are filled once the window is up, so its
    // first screen does not wait for them.
    QTimer::singleShot(0, this, &FrmCode::FillNameLists);
}

QList<QPair<QComboBox*, QString>> FrmCode::NameLists() const {
    return {{ui->DataCombo1, QStringLiteral("LName")}, {ui->DataCombo6, QStringLiteral("FName")}};
}

// Each stored name once, in order, from all subjects.
void FrmCode::FillNameLists() {
    QCollator order;
    const auto lists = NameLists();
    QStringList fields;
    for (const auto& [list, field] : lists)
        fields << field;
    QList<QStringList> stored = Adodc2->distinctStored(fields, true); // in one question
    for (qsizetype i = 0; i < lists.size(); ++i) {
        QComboBox* list = lists[i].first;
        QStringList& names = stored[i];
        std::sort(names.begin(), names.end(), order);
        const QSignalBlocker quiet(list);
        const QString typed = list->currentText();
        list->clear();
        list->addItems(names);
        list->setCurrentIndex(-1);
        list->setEditText(typed);
    }
}

void FrmCode::DataCombo1_Change() {
    Search(ui->DataCombo1, "LName");
}
void FrmCode::DataCombo6_Change() {
    Search(ui->DataCombo6, "FName");
}
void FrmCode::Combo3_Change() {
    Search(ui->Combo3, "Group");
}

// The other two boxes are emptied without starting their own searches; the grid then shows
// exactly the subjects whose field equals the text as typed.
void FrmCode::Search(QComboBox* changed, const char* field) {
    for (QComboBox* other : {ui->DataCombo1, ui->DataCombo6, ui->Combo3}) {
        if (other == changed)
            continue;
        const QSignalBlocker quiet(other);
        other->setCurrentIndex(-1);
        other->setEditText(QString());
    }
    Adodc2->setFilter(QString::fromLatin1(field), changed->currentText());
}

void FrmCode::Command1_Click() {
    if (ui->Combo3->currentText().isEmpty()) {
        Dialogs::get().notice(this, tr("شما بايد گروه آزمودني مورد نظر را انتخاب كنيد"));
        return;
    }
    // The group the list shows, whatever reloaded the grid since (a delete reads every subject).
    Adodc2->setFilter(QStringLiteral("Group"), ui->Combo3->currentText());
    Report& report = DataRPrint();
    report.setDataSource(Adodc2);
    // The clinic's name heads the group's list as it heads the list of all subjects.
    report.setCaption(QStringLiteral("Section4"), QStringLiteral("Label9"),
                      Adodc1->field(QStringLiteral("Name")));
    report.setCaption(QStringLiteral("Section5"), QStringLiteral("Label14"), ui->Text4->text());
    report.present(this);
    Adodc3->refresh();
}

void FrmCode::Command2_Click() {
    try {
        DeleteSubject();
    } catch (const DataError& e) {
        Dialogs::get().message(this, e.message(), QStringLiteral("Error"),
                               Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok, true);
        Adodc2->refresh();
        Adodc3->refresh();
        Adodc4->refresh();
    }
}

// A subject is its ide row and its Answer row: both go, or neither. A subject left with only
// one of them can still be deleted.
void FrmCode::DeleteSubject() {
    const QString code = ui->Text5->text();
    if (code.isEmpty()) {
        Dialogs::get().notice(this, tr("شما بايد شماره آزمودني مورد نظر را وارد كنيد"));
        return;
    }
    Adodc3->refreshFiltered(QStringLiteral("Code"), code);
    Adodc4->refreshFiltered(QStringLiteral("Code"), code);
    if (Adodc3->rowCount() == 0 && Adodc4->rowCount() == 0) {
        Dialogs::get().notice(this, tr("فردي با اين کد وجود ندارد"));
        Adodc3->refresh();
        Adodc4->refresh();
        return;
    }
    if (Dialogs::get().message(this, tr("آيا براي حذف کردن مطمئن هستيد؟"),
                               QString::fromLatin1(Version::Product), Dialogs::Icon::None,
                               Dialogs::Buttons::YesNo) != Dialogs::Yes) {
        Adodc2->refresh();
        Adodc3->refresh();
        Adodc4->refresh();
        return;
    }
    QStringList names; // of the subject: they leave the lists when no one else has them
    for (const auto& [list, field] : NameLists())
        names << Adodc3->field(field);
    {
        Database::Transaction both;
        if (Adodc3->hasCurrent())
            Adodc3->deleteCurrent();
        if (Adodc4->hasCurrent())
            Adodc4->deleteCurrent();
        both.commit();
    }
    Dialogs::get().notice(this, tr("حذف با موفقيت انجام گرفت"));
    ui->Text5->clear();
    ui->Text5->setFocus();
    Adodc4->refresh();
    Adodc3->refresh();
    Adodc2->refresh();
    const auto lists = NameLists();
    std::vector<std::pair<QString, QString>> asked; // the names the lists hold, in one question
    for (int i = 0; i < lists.size(); ++i)
        if (lists[i].first->findText(names[i], Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            asked.emplace_back(lists[i].second, names[i]);
    const std::vector<bool> stored = Adodc2->anyStored(asked);
    for (int i = 0, k = 0; i < lists.size(); ++i) {
        auto* list = lists[i].first;
        const int item = list->findText(names[i], Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (item < 0 || stored[size_t(k++)])
            continue;
        const QSignalBlocker quiet(list);
        const QString typed = list->currentText();
        list->removeItem(item);
        list->setCurrentIndex(-1);
        list->setEditText(typed);
    }
}

// The subjects of the group the list shows, or all of them, into a file for analysis; its type
// (CSV, Excel, SPSS) is the one chosen in the save dialog.
void FrmCode::CmdExport_Click() {
    const QString group = ui->Combo3->currentText();
    const QString title = QString::fromLatin1(Version::Product);
    const QString proposed =
        QDir(QDir::homePath())
            .filePath(group.isEmpty() ? QStringLiteral("VORN.sav")
                                      : QStringLiteral("VORN-%1.sav").arg(group));
    const QString path = Dialogs::get().saveFileName(
        this, tr("خروجی برای تحلیل"), proposed,
        tr("SPSS (*.sav)|*.sav|Excel (*.xlsx)|*.xlsx|CSV (UTF-8)|*.csv"));
    if (path.isEmpty())
        return;
    const std::optional<Export::Format> format = Export::formatOf(path);
    if (!format) {
        Dialogs::get().message(this, tr("نام پرونده باید به .sav، .xlsx یا .csv ختم شود."),
                               tr("خطا"), Dialogs::Icon::Exclamation);
        return;
    }
    if (QFileInfo::exists(path) &&
        Dialogs::get().message(
            this, tr("پروندهٔ %1 هست. جایگزین شود؟").arg(QDir::toNativeSeparators(path)), title,
            Dialogs::Icon::Question, Dialogs::Buttons::YesNo) != Dialogs::Yes)
        return;

    // The export lets events run: the window stays until it has unwound.
    const Busy busy(this);
    QProgressDialog progress(tr("نوشتن آزمودنی‌ها…"), tr("انصراف"), 0, 0, this);
    progress.setObjectName(QStringLiteral("ExportProgress"));
    progress.setWindowTitle(tr("خروجی برای تحلیل"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const Export::Result result =
        Export::write(path, *format, group, [&progress](qint64 done, qint64 total) {
            progress.setMaximum(int(std::min<qint64>(total, INT_MAX)));
            progress.setValue(int(std::min<qint64>(done, INT_MAX)));
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.reset();
    if (!result.error.isEmpty())
        Dialogs::get().message(this, result.error, tr("خطا"), Dialogs::Icon::Exclamation);
    else if (result.cancelled)
        Dialogs::get().notice(
            this, tr("خروجی لغو شد؛ پرونده‌ای نوشته نشد."));
    else if (!result.cut.isEmpty())
        Dialogs::get().message(
            this,
            tr("%1 آزمودنی در پرونده نوشته شد. این نوشته‌ها از آنچه این قالب نگه می‌دارد بلندتر "
               "بودند و کوتاه شدند:\n%2")
                .arg(result.rows)
                .arg(result.cut.mid(0, 20).join(QLatin1Char('\n')) +
                     (result.cut.size() > 20 ? QStringLiteral("\n…") : QString())),
            title, Dialogs::Icon::Exclamation);
    else
        Dialogs::get().notice(this, tr("%1 آزمودنی در پرونده نوشته شد.").arg(result.rows), 1500);
}

// All subjects and each group: presented like the other reports (preview, print, PDF).
void FrmCode::CmdStats_Click() {
    const Busy busy(this);
    stats_ = GroupReport::report(GroupReport::compute(), Adodc1->field(QStringLiteral("Name")));
    stats_->present(this);
}

void FrmCode::Command6_Click() {
    close();
}

void FrmCode::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void FrmCode::Form_Unload() {
    MainWindow::showAgain();
}
