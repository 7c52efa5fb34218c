// A clinic's day, driving only the real windows as a user would.
#include "backup/Frmbackup.h"
#include "data/Content.h"
#include "records/FrmCode.h"
#include "report/Report.h"
#include "scoring/FrmkLID.h"
#include "scoring/Reports.h"
#include "shell/Frm1.h"
#include "shell/Frmskin.h"
#include "shell/exitpro.h"
#include "shell/seams/ErrorTrap.h"
#include "test/FrmTest.h"
#include "tests/support/PdfText.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"
#include "update/FrmUpdate.h"
#include "updater/Progress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

template <typename T = QWidget> T* in(QWidget* window, const QString& name) {
    return control<T>(window, name);
}

void click(QWidget* window, const QString& name) {
    QAbstractButton* button = in<QAbstractButton>(window, name);
    QVERIFY2(button->isVisible() && button->isEnabled(), qPrintable(name));
    button->click();
}

void type(QWidget* window, const QString& name, const QString& text) {
    auto* box = in<QLineEdit>(window, name);
    box->selectAll();
    box->insert(text);
    Q_EMIT box->textEdited(box->text());
}

void clickPicture(QWidget* window, const QString& normal, const QString& highlighted) {
    QWidget* picture = in(window, normal);
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), picture->mapToGlobal(QPointF(3, 3)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(picture, &move);
    QTest::mouseClick(in(window, highlighted), Qt::LeftButton);
}

// Runs step inside the modal window that the click opens.
void inModal(QWidget* window, const QString& button, const std::function<void(QWidget*)>& step) {
    QTimer::singleShot(0, [step] { step(QApplication::activeModalWidget()); });
    click(window, button);
}

// VORN_DOCS=<folder> keeps a picture of each window for the documentation.
void picture(QWidget* window, const char* name) {
    const QString docs = qEnvironmentVariable("VORN_DOCS");
    if (!docs.isEmpty() && window)
        window->grab().save(QDir(docs).filePath(QString::fromLatin1(name)));
}

QStringList subjects() {
    QSqlQuery q(Database::connection());
    q.exec("SELECT Code FROM ide ORDER BY rowid");
    QStringList codes;
    while (q.next())
        codes << q.value(0).toString();
    return codes;
}

} // namespace

class TestClinicDay : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void aClinicsDay();

private:
    void registerSubject(const QString& first, const QString& last, const QString& group);
    void answer(const QString& code, int items);
    Frm1* main() { return shownWindow<Frm1>(); }

    std::unique_ptr<TempProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    QTemporaryDir files;
};

void TestClinicDay::initTestCase() {
    static_cast<VornApplication*>(qApp)->setUpLook();
}

void TestClinicDay::registerSubject(const QString& first, const QString& last,
                                    const QString& group) {
    click(main(), "Command1");
    if (in<QLineEdit>(main(), "Text11")->text().isEmpty())
        type(main(), "Text11", "1"); // the first subject: nothing to count on from
    type(main(), "Text6", first);
    type(main(), "Text4", last);
    in<QComboBox>(main(), "Combo2")->setCurrentIndex(1);
    type(main(), "Text5", "29");
    in<QComboBox>(main(), "Combo1")->setCurrentIndex(0);
    type(main(), "Text7", u("کارشناسي ارشد"));
    in<QComboBox>(main(), "Combo3")->setCurrentText(group);
    picture(main(), "window-registration.png");
    click(main(), "Command8");
}

void TestClinicDay::answer(const QString& code, int items) {
    dialogs->answer(code);
    inModal(main(), "Command2", [items](QWidget* test) {
        QVERIFY(qobject_cast<FrmTest*>(test));
        click(test, "Command1");
        for (int item = 1; item <= items; ++item) {
            in<QRadioButton>(test, QStringLiteral("Option%1").arg(1 + item % 5))->click();
            if (item == 7)
                picture(test, "window-test.png");
            click(test, "CmdNext");
        }
        click(test, "Command5");
    });
}

void TestClinicDay::aClinicsDay() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    dialogs = std::make_unique<ScriptedDialogs>();
    QVERIFY(Frm1::load());
    picture(main(), "window-main.png");

    // The clinic's name and address, then a theme, from the settings.
    click(main(), "Command9");
    click(main(), "Command67");
    type(main(), "Text2", u("کلينيک آرامش"));
    type(main(), "Text14", u("خيابان بهار، پلاک ۷"));
    click(main(), "Command64");
    click(main(), "Command68");
    click(main(), "Command43");
    QVERIFY(shownWindow<Frmskin>());
    clickPicture(shownWindow<Frmskin>(), "k1", "k2");
    QVERIFY(main());
    QCOMPARE(in<QLabel>(main(), "SkinLabel1")->text(), u("کلينيک آرامش"));

    registerSubject(u("مريم"), u("احمدي"), "A");
    registerSubject(u("علي"), u("کريمي"), "B");
    registerSubject(u("سارا"), u("رحيمي"), "A");
    QCOMPARE(subjects(), (QStringList{"1", "2", "3"}));

    answer("1", 33);
    answer("2", 33);
    answer("3", 17);
    {
        QSqlQuery q(Database::connection());
        q.exec("SELECT Code, \"1\", \"17\", \"18\", \"33\" FROM Answer ORDER BY rowid");
        QStringList rows;
        while (q.next())
            rows << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                q.value(3).toString(), q.value(4).toString()}
                        .join(',');
        QCOMPARE(rows, (QStringList{"1,2,3,4,4", "2,2,3,4,4", "3,2,3,,"}));
    }

    // Scoring: the third is refused with the items still missing.
    click(main(), "Command3");
    auto* scoring = shownWindow<FrmkLID>();
    QVERIFY(scoring);
    for (const char* code : {"1", "2", "3"}) {
        dialogs->answer(QString::fromLatin1(code));
        click(scoring, "Command1");
    }
    QCOMPARE(dialogs->shown.last().title, u("خطا"));
    QVERIFY(dialogs->shown.last().text.endsWith(
        " 18   19   20   21   22   23   24   25   26   27   28   29   30   31   32   33  "));
    dialogs->answer(QStringLiteral("2"));
    click(scoring, "Command1");
    picture(scoring, "window-scoring.png");
    click(scoring, "Command6");
    const QString sheet = files.filePath("sheet.pdf");
    QVERIFY(DataR1().writePdf(sheet));
    QVERIFY2(PdfText::text(sheet).contains(PdfText::normalized(u("کريمي"))),
             qPrintable(PdfText::text(sheet)));
    click(scoring, "Command3");
    const QString list = files.filePath("list.pdf");
    QVERIFY(DataRPrint().writePdf(list));
    const QString listed = PdfText::text(list);
    QVERIFY(listed.contains(PdfText::normalized(u("آرامش"))));
    QVERIFY(listed.contains(PdfText::normalized(u("بهار"))));
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != scoring && !w->parentWidget() && w->isVisible() && !qobject_cast<FrmkLID*>(w))
            w->close(); // the two previews
    click(scoring, "Command4");

    // Records: by last name, by group, then one subject goes.
    click(main(), "Command4");
    auto* records = shownWindow<FrmCode>();
    QVERIFY(records);
    auto* grid = in<QTableView>(records, "DataGrid1");
    in<QComboBox>(records, "DataCombo1")->setCurrentText(u("کريمي"));
    QCOMPARE(grid->model()->rowCount(), 1);
    in<QComboBox>(records, "Combo3")->setCurrentText("A");
    QCOMPARE(grid->model()->rowCount(), 2);
    picture(records, "window-records.png");
    type(records, "Text5", "3");
    dialogs->answer(Dialogs::Yes);
    click(records, "Command2");
    QCOMPARE(subjects(), (QStringList{"1", "2"}));
    click(records, "Command6");

    // Leaving with a backup.
    click(main(), "Command6");
    auto* question = shownWindow<exitpro>();
    QVERIFY(question);
    picture(question, "window-exit.png");
    in<QCheckBox>(question, "Check1")->setChecked(true);
    clickPicture(question, "k1", "k2");
    auto* backup = shownWindow<Frmbackup>();
    QVERIFY(backup);
    picture(backup, "window-backup.png");
    const QString saved = files.filePath("evening.mdbB");
    type(backup, "Text1", saved);
    click(backup, "VisualButtonEx2");
    QCOMPARE(folder->platform.endedNow, 1);
    deleteAllWindows();

    // The next morning: one more subject, then the backup is restored.
    QVERIFY(Frm1::load());
    registerSubject(u("رضا"), u("توکلي"), "C");
    QCOMPARE(subjects(), (QStringList{"1", "2", "3"}));
    click(main(), "Command6");
    question = shownWindow<exitpro>();
    in<QCheckBox>(question, "Check1")->setChecked(true);
    clickPicture(question, "k1", "k2");
    backup = shownWindow<Frmbackup>();
    type(backup, "Text2", saved);
    dialogs->answer(Dialogs::Yes);
    click(backup, "VisualButtonEx3");
    QCOMPARE(folder->platform.endedNow, 2);
    QCOMPARE(subjects(), (QStringList{"1", "2"}));
    QSqlQuery q(Database::connection());
    q.exec("SELECT KHalaghiyat FROM ide WHERE Code='2'");
    QVERIFY(q.next() && !q.value(0).toString().isEmpty());
    deleteAllWindows();

    // Pictures of the two update windows.
    FrmUpdate check;
    check.show();
    picture(&check, "window-update.png");
    Progress updater;
    updater.show();
    picture(&updater, "window-updater.png");
    for (const auto& box : dialogs->shown)
        QVERIFY2(box.title != "Error", qPrintable(box.text));
}

VORN_TEST_MAIN(TestClinicDay)
#include "tst_clinicday.moc"
