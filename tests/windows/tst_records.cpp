#include "data/DataView.h"
#include "records/FrmCode.h"
#include "report/Report.h"
#include "scoring/Reports.h"
#include "shell/Frm1.h"
#include "tests/support/PdfText.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/Seed.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>

namespace {

void addSubject(const QString& code, const QString& first, const QString& last,
                const QString& group, bool ide = true, bool answer = true) {
    if (ide)
        Seed::row("ide", {"Code", "FName", "LName", "Group"}, {code, first, last, group});
    if (answer)
        Seed::row("Answer", {"Code", "1"}, {code, "3"});
}

int previews() {
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        open += qobject_cast<QPrintPreviewDialog*>(w) && w->isVisible();
    return open;
}

// The codes in the code column of a printed list.
QStringList listedCodes(const QString& pdf) {
    const QList<PdfText::Word> words = PdfText::words(pdf);
    const double codeColumn = PdfText::find(words, u("کد")).center().x();
    QStringList listed;
    for (const PdfText::Word& w : words)
        if (std::abs(w.box.center().x() - codeColumn) < 8 && w.text != PdfText::normalized(u("کد")))
            listed << w.text;
    return listed;
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void opensWithEverySubject();
    void search_data();
    void search();
    void searchEmptiesTheOtherBoxes();
    void printByGroup();
    void printWithoutGroup();
    void printByGroupAfterDelete();
    void refusedDeletes_data();
    void refusedDeletes();
    void answeringNoKeepsEverything();
    void deleteRemovesExactlyTheSubject_data();
    void deleteRemovesExactlyTheSubject();
    void deleteIsAllOrNothing();
    void replacesMainWindow();

private:
    void open();
    void typeInto(const char* box, const QString& text);
    QStringList gridCodes();
    template <typename T> T* child(const char* name) {
        return control<T>(window.data(), QString::fromLatin1(name));
    }

    std::unique_ptr<TempProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    QPointer<FrmCode> window;
    QTemporaryDir out;
};

void TestRecords::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    dialogs = std::make_unique<ScriptedDialogs>();
    addSubject("1", u("مريم"), u("احمدي"), "A");
    addSubject("2", u("علي"), u("کريمي"), "B");
    addSubject("3", u("مريم"), u("کريمي"), "B");
    addSubject("4", u("رضا"), "O'Neil", "C");
    addSubject("5", "say \"hi\"", u("احمدي"), "B");
}

void TestRecords::cleanup() {
    deleteAllWindows();
    dialogs.reset();
    folder.reset();
}

void TestRecords::open() {
    window = new FrmCode;
    window->show();
    QCoreApplication::processEvents(); // the name lists come once the window is up
}

void TestRecords::typeInto(const char* box, const QString& text) {
    auto* list = child<QComboBox>(box);
    list->lineEdit()->selectAll();
    list->lineEdit()->insert(text); // as typed: the text changes in one edit
}

// What the grid shows once the click's handler is done (from a server its rows come then).
QStringList TestRecords::gridCodes() {
    QCoreApplication::processEvents();
    const QAbstractItemModel* model = child<QTableView>("DataGrid1")->model();
    QStringList all;
    for (int r = 0; r < model->rowCount(); ++r)
        all << model->index(r, 0).data().toString();
    return all;
}

void TestRecords::opensWithEverySubject() {
    open();
    QCOMPARE(window->windowTitle(), u("کد آزمودني"));
    QCOMPARE(gridCodes(), (QStringList{"1", "2", "3", "4", "5"}));
    const QAbstractItemModel* model = child<QTableView>("DataGrid1")->model();
    QStringList headers;
    for (int c = 0; c < model->columnCount(); ++c)
        headers << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{u("کد"), u("نام"), u("نام خانوادگي"), u("گروه")}));
    QCOMPARE(model->index(3, 2).data().toString(), QStringLiteral("O'Neil"));

    auto items = [](QComboBox* list) {
        QStringList all;
        for (int i = 0; i < list->count(); ++i)
            all << list->itemText(i);
        return all;
    };
    QStringList lastNames = items(child<QComboBox>("DataCombo1"));
    QCOMPARE(lastNames.size(), 3); // each name once
    QVERIFY(lastNames.contains(u("کريمي")) && lastNames.contains("O'Neil"));
    QStringList sorted = lastNames;
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return a.localeAwareCompare(b) < 0; });
    QCOMPARE(lastNames, sorted);
    QCOMPARE(items(child<QComboBox>("Combo3")), (QStringList{"A", "B", "C", "D", "E", "F", "G"}));
    for (const char* box : {"DataCombo1", "DataCombo6", "Combo3"})
        QCOMPARE(child<QComboBox>(box)->currentText(), QString());
    for (const auto& [label, box] : {std::pair{"SkinLabel21_0", "DataCombo1"},
                                     {"SkinLabel21_1", "DataCombo6"},
                                     {"SkinLabel21_2", "Combo3"},
                                     {"SkinLabel1", "Text5"}})
        QCOMPARE(child<QLabel>(label)->buddy(), child<QWidget>(box));
}

void TestRecords::search_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("shared last name") << "DataCombo1" << u("کريمي") << QStringList{"2", "3"};
    QTest::newRow("shared first name") << "DataCombo6" << u("مريم") << QStringList{"1", "3"};
    QTest::newRow("group") << "Combo3"
                           << "B" << QStringList{"2", "3", "5"};
    QTest::newRow("partly typed") << "DataCombo1" << u("کري") << QStringList{};
    QTest::newRow("with a blank") << "DataCombo1" << u("کريمي ") << QStringList{};
    QTest::newRow("unknown group") << "Combo3"
                                   << "Z" << QStringList{};
    QTest::newRow("apostrophe") << "DataCombo1"
                                << "O'Neil" << QStringList{"4"};
    QTest::newRow("quote") << "DataCombo6"
                           << "say \"hi\"" << QStringList{"5"};
    QTest::newRow("injection") << "DataCombo1"
                               << "x' OR '1'='1" << QStringList{};
}

void TestRecords::search() {
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    open();
    typeInto(qPrintable(box), text);
    QCOMPARE(gridCodes(), found);
    QVERIFY(dialogs->shown.isEmpty());
}

void TestRecords::searchEmptiesTheOtherBoxes() {
    open();
    typeInto("Combo3", "B");
    child<QComboBox>("DataCombo1")->lineEdit()->insert(u("احمد"));
    QCOMPARE(gridCodes(), QStringList{}); // not yet a stored name
    child<QComboBox>("DataCombo1")->lineEdit()->insert(u("ي"));
    QCOMPARE(child<QComboBox>("Combo3")->currentText(), QString());
    QCOMPARE(gridCodes(), (QStringList{"1", "5"}));
    child<QComboBox>("DataCombo6")
        ->setCurrentIndex(
            child<QComboBox>("DataCombo6")->findText(u("علي"))); // picked from the list
    QCOMPARE(child<QComboBox>("DataCombo1")->currentText(), QString());
    QCOMPARE(gridCodes(), QStringList{"2"});
}

void TestRecords::printByGroup() {
    QSqlQuery(Database::connection())
        .exec(QString::fromUtf8(
            "UPDATE \"Theme\" SET \"Name\"='کلينيک آرامش', \"Adress\"='خيابان بهار'"));
    open();
    typeInto("Combo3", "B");
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(previews(), 1);
    const QString pdf = out.filePath("group.pdf");
    QVERIFY(DataRPrint().writePdf(pdf));
    QCOMPARE(listedCodes(pdf), (QStringList{"2", "3", "5"}));
    const QString text = PdfText::text(pdf);
    QVERIFY(text.contains(PdfText::normalized(u("آرامش"))));
    QVERIFY(text.contains(PdfText::normalized(u("بهار"))));

    // A group nobody is in: a report without rows.
    typeInto("Combo3", "G");
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QVERIFY(DataRPrint().writePdf(pdf));
    QVERIFY(PdfText::find(PdfText::words(pdf), "2").isNull());
    QVERIFY(dialogs->shown.isEmpty());
}

void TestRecords::printWithoutGroup() {
    open();
    typeInto("DataCombo1", u("کريمي"));
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].text, u("شما بايد گروه آزمودني مورد نظر را انتخاب كنيد"));
    QCOMPARE(previews(), 0);
}

// A delete reloads the grid with every subject while the list still shows the group: the print
// is of the group.
void TestRecords::printByGroupAfterDelete() {
    open();
    typeInto("Combo3", "B");
    QTest::keyClicks(child<QLineEdit>("Text5"), "2");
    dialogs->answer(Dialogs::Yes);
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(child<QComboBox>("Combo3")->currentText(), QStringLiteral("B"));
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    const QString pdf = out.filePath("after-delete.pdf");
    QVERIFY(DataRPrint().writePdf(pdf));
    QCOMPARE(listedCodes(pdf), (QStringList{"3", "5"}));
}

void TestRecords::refusedDeletes_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("notice");
    QTest::newRow("empty") << "" << u("شما بايد شماره آزمودني مورد نظر را وارد كنيد");
    QTest::newRow("leading blank") << " 1" << u("فردي با اين کد وجود ندارد");
    QTest::newRow("unknown") << "9" << u("فردي با اين کد وجود ندارد");
    QTest::newRow("apostrophe") << "1'" << u("فردي با اين کد وجود ندارد");
}

void TestRecords::refusedDeletes() {
    QFETCH(QString, code);
    QFETCH(QString, notice);
    open();
    QTest::keyClicks(child<QLineEdit>("Text5"), code);
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].text, notice);
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "ide" ORDER BY rowid)").size(), 5);
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "Answer" ORDER BY rowid)").size(), 5);
}

void TestRecords::answeringNoKeepsEverything() {
    open();
    QTest::keyClicks(child<QLineEdit>("Text5"), "2");
    dialogs->answer(Dialogs::No);
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].text, u("آيا براي حذف کردن مطمئن هستيد؟"));
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("VORN"));
    QCOMPARE(dialogs->shown[0].buttons, Dialogs::Buttons::YesNo);
    QCOMPARE(dialogs->shown[0].icon, Dialogs::Icon::None);
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "ide" ORDER BY rowid)").size(), 5);
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "Answer" ORDER BY rowid)").size(), 5);
}

void TestRecords::deleteRemovesExactlyTheSubject_data() {
    QTest::addColumn<bool>("ideRow");
    QTest::addColumn<bool>("answerRow");
    QTest::newRow("both rows") << true << true;
    QTest::newRow("only ide") << true << false;
    QTest::newRow("only Answer") << false << true;
}

void TestRecords::deleteRemovesExactlyTheSubject() {
    QFETCH(bool, ideRow);
    QFETCH(bool, answerRow);
    addSubject("7", "x", "y", "B", ideRow, answerRow);
    open();
    typeInto("Combo3", "B"); // a search is active
    QTest::keyClicks(child<QLineEdit>("Text5"), "7");
    dialogs->answer(Dialogs::Yes);
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().text, u("حذف با موفقيت انجام گرفت"));
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "ide" ORDER BY rowid)"),
             (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "Answer" ORDER BY rowid)"),
             (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(child<QLineEdit>("Text5")->text(), QString());
    QCOMPARE(window->focusWidget(), child<QLineEdit>("Text5"));
    QCOMPARE(gridCodes(), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(child<QComboBox>("Combo3")->currentText(), QStringLiteral("B"));
    for (const auto& box : dialogs->shown)
        QVERIFY(box.title != "Error");
}

void TestRecords::deleteIsAllOrNothing() {
    refuseWrites("DELETE", "Answer");
    open();
    QTest::keyClicks(child<QLineEdit>("Text5"), "3");
    dialogs->answer(Dialogs::Yes);
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().title, QStringLiteral("Error"));
    QCOMPARE(dialogs->shown.last().icon, Dialogs::Icon::Exclamation);
    QVERIFY(dialogs->shown.last().text.contains("locked"));
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "ide" ORDER BY rowid)"),
             (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "Answer" ORDER BY rowid)"),
             (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(gridCodes(), (QStringList{"1", "2", "3", "4", "5"}));

    allowWrites("Answer");
    dialogs->answer(Dialogs::Yes);
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "ide" ORDER BY rowid)"),
             (QStringList{"1", "2", "4", "5"}));
    QCOMPARE(Seed::column(R"(SELECT "Code" FROM "Answer" ORDER BY rowid)"),
             (QStringList{"1", "2", "4", "5"}));
}

void TestRecords::replacesMainWindow() {
    QPointer<Frm1> main = Frm1::load();
    QTest::mouseClick(main->findChild<QPushButton*>("Command4"), Qt::LeftButton);
    QTRY_VERIFY(main.isNull());
    FrmCode* records = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* r = qobject_cast<FrmCode*>(w); r && r->isVisible())
            records = r;
    QVERIFY(records);
    QTest::mouseClick(records->findChild<QPushButton*>("Command6"), Qt::LeftButton);
    bool mainAgain = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        mainAgain |= qobject_cast<Frm1*>(w) && w->isVisible();
    QVERIFY(mainAgain);
    QVERIFY(dialogs->shown.isEmpty());
}

VORN_TEST_MAIN(TestRecords)
#include "tst_records.moc"
