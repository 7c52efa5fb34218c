#include "data/Content.h"
#include "shell/Frm1.h"
#include "shell/seams/Skin.h"
#include "test/FrmTest.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/Seed.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTimer>
#include <memory>

namespace {

void registerSubject(const QString& code, const QString& firstName) {
    QSqlQuery q(Database::connection());
    q.prepare(
        "INSERT INTO \"ide\" (\"Code\", \"FName\", \"LName\", \"Sen\") VALUES (?, ?, 'x', '30')");
    q.addBindValue(code);
    q.addBindValue(firstName);
    QVERIFY(q.exec());
    q.prepare("INSERT INTO \"Answer\" (\"Code\") VALUES (?)");
    q.addBindValue(code);
    QVERIFY(q.exec());
}

void storeAnswer(const QString& code, int item, const QString& value) {
    QSqlQuery q(Database::connection());
    q.prepare(QStringLiteral("UPDATE \"Answer\" SET \"%1\"=? WHERE \"Code\"=?").arg(item));
    q.addBindValue(value);
    q.addBindValue(code);
    QVERIFY(q.exec());
}

QStringList answers(const QString& code) {
    QSqlQuery q(Database::connection());
    q.prepare("SELECT * FROM \"Answer\" WHERE \"Code\"=?");
    q.addBindValue(code);
    q.exec();
    QStringList values;
    if (q.next())
        for (int item = 1; item <= Tables::ItemCount; ++item)
            values << q.value(QString::number(item)).toString();
    return values;
}

} // namespace

class TestTestWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void runFromMainWindow();
    void refusedCodes_data();
    void refusedCodes();
    void startShowsFirstItem();
    void answerIsStoredAtClick();
    void numberBox_data();
    void numberBox();
    void nextAndPreviousAtTheEnds();
    void reopeningShowsStoredAnswers();
    void allAnswersOnlyInTheSubjectsRow();
    void closeBoxKeepsAnswersAndDetails();
    void everyWayOfChoosingStoresOnce_data();
    void everyWayOfChoosingStoresOnce();
    void escapeKeepsTheSubjectInTheTest();
    void failedSaveKeepsWindowOpen_data();
    void failedSaveKeepsWindowOpen();
    void ageBoxTakesOnlyDigits();
    void windowTakesStoredTheme();

private:
    void prepare(const QString& code);
    void start();
    void choose(int option);
    void typeNumber(const QString& keys);
    int itemShown() { return window->findChild<QGroupBox*>("Frame2")->title().toInt(); }
    template <typename T> T* child(const char* name) {
        return control<T>(window.get(), QString::fromLatin1(name));
    }

    std::unique_ptr<TempProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<FrmTest> window;
    QWidget owner;
};

void TestTestWindow::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    dialogs = std::make_unique<ScriptedDialogs>();
    registerSubject("1", u("مريم"));
    registerSubject("2", u("علي"));
}

void TestTestWindow::cleanup() {
    window.reset();
    dialogs.reset();
    folder.reset();
}

void TestTestWindow::prepare(const QString& code) {
    dialogs->answer(code);
    window = FrmTest::Prepare(&owner);
    QVERIFY(window);
    window->show();
}

void TestTestWindow::start() {
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
}

void TestTestWindow::choose(int option) {
    QRadioButton* button = child<QRadioButton>(qPrintable(QStringLiteral("Option%1").arg(option)));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// Types over the number box's text, as a user who selected it all.
void TestTestWindow::typeNumber(const QString& keys) {
    QLineEdit* number = child<QLineEdit>("Text6");
    number->selectAll();
    QTest::keyClicks(number, keys);
}

// The whole opening through the main window's button, twice: the second opening of a run
// starts with the subject's details shown and the title hidden.
void TestTestWindow::runFromMainWindow() {
    QPointer<Frm1> main = Frm1::load();
    QVERIFY(main);
    auto* run = main->findChild<QPushButton*>("Command2");
    QStringList seen;
    auto inWindow = [&](const std::function<void(FrmTest*)>& step) {
        QTimer::singleShot(0, [&, step] {
            auto* test = qobject_cast<FrmTest*>(QApplication::activeModalWidget());
            if (!test) {
                seen << "no window";
                return;
            }
            step(test);
            test->findChild<QPushButton*>("Command5")->click();
        });
    };

    dialogs->answer(QStringLiteral("1"));
    inWindow([&](FrmTest* test) {
        seen << test->windowTitle();
        QVERIFY(test->findChild<QLabel*>("SkinLabel3")->isVisible());
        QVERIFY(test->findChild<QLabel*>("SkinLabel4")->isVisible());
        QVERIFY(!test->findChild<QGroupBox*>("Frame1")->isVisible());
        QVERIFY(!test->findChild<QGroupBox*>("Frame2")->isVisible());
        QVERIFY(!test->findChild<QPushButton*>("CmdNext")->isVisible());
        test->findChild<QPushButton*>("Command1")->click();
        test->findChild<QRadioButton*>("Option4")->click();
    });
    QTest::mouseClick(run, Qt::LeftButton);
    QCOMPARE(seen, QStringList{u("صفحه اجراي تست")});
    QCOMPARE(dialogs->shown[0].kind, QStringLiteral("input"));
    QCOMPARE(dialogs->shown[0].text, QStringLiteral(" Plese Insert Code "));
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("Enter Code "));
    QCOMPARE(answers("1").value(0), QStringLiteral("4"));

    dialogs->answer(QStringLiteral("2"));
    inWindow([&](FrmTest* test) {
        QVERIFY(!test->findChild<QLabel*>("SkinLabel3")->isVisible());
        QVERIFY(test->findChild<QLabel*>("SkinLabel4")->isVisible());
        QVERIFY(test->findChild<QGroupBox*>("Frame1")->isVisible());
        QCOMPARE(test->findChild<QLineEdit*>("Text3")->text(), u("علي"));
        QVERIFY(!test->findChild<QPushButton*>("CmdNext")->isVisible());
        QVERIFY(!test->findChild<QPushButton*>("CmdBack")->isVisible());
        QVERIFY(test->findChild<QPushButton*>("Command1")->isVisible());
        QCOMPARE(test->findChild<QLineEdit*>("Text6")->text(), QStringLiteral("0"));
        seen << "second";
    });
    QTest::mouseClick(run, Qt::LeftButton);
    QCOMPARE(seen.last(), QStringLiteral("second"));
    delete main;

    // With no subject at all the button does nothing.
    QSqlQuery(Database::connection()).exec("DELETE FROM \"Answer\"");
    QSqlQuery(Database::connection()).exec("DELETE FROM \"ide\"");
    main = Frm1::load();
    const qsizetype boxes = dialogs->shown.size();
    QTest::mouseClick(main->findChild<QPushButton*>("Command2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), boxes);
    delete main;
}

void TestTestWindow::refusedCodes_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("notice");
    QTest::newRow("cancelled or empty") << "" << u("شما بايد شماره آزمودني مورد نظر را وارد كنيد");
    QTest::newRow("unknown") << "99" << u("فردي با اين مشخصات وجود ندارد");
    QTest::newRow("blank before") << " 1" << u("فردي با اين مشخصات وجود ندارد");
    QTest::newRow("blank after") << "1 " << u("فردي با اين مشخصات وجود ندارد");
    QTest::newRow("apostrophe") << "1' OR '1'='1" << u("فردي با اين مشخصات وجود ندارد");
    QTest::newRow("quote") << "\"1\"" << u("فردي با اين مشخصات وجود ندارد");
}

void TestTestWindow::refusedCodes() {
    QFETCH(QString, typed);
    QFETCH(QString, notice);
    dialogs->answer(typed);
    QVERIFY(!FrmTest::Prepare(&owner));
    QCOMPARE(dialogs->shown.size(), 2);
    QCOMPARE(dialogs->shown[1].kind, QStringLiteral("notice"));
    QCOMPARE(dialogs->shown[1].text, notice);
}

void TestTestWindow::startShowsFirstItem() {
    storeAnswer("1", 1, "3");
    prepare("1");
    QCOMPARE(child<QLineEdit>("Text1")->text(), QStringLiteral("1"));
    QVERIFY(child<QLineEdit>("Text1")->isReadOnly());
    start();
    QVERIFY(child<QLabel>("SkinLbl5")->isVisible());
    QVERIFY(!child<QLabel>("SkinLabel3")->isVisible());
    QVERIFY(!child<QPushButton>("Command1")->isVisible());
    QVERIFY(child<QPushButton>("Command5")->isVisible());
    QVERIFY(child<QPushButton>("CmdNext")->isDefault());
    QCOMPARE(child<QLabel>("SkinLbl5")->text(), Tables::itemTexts()[0]);
    QCOMPARE(child<QGroupBox>("Frame2")->title(), QStringLiteral("1"));
    QCOMPARE(child<QLineEdit>("Text6")->text(), QStringLiteral("1"));
    QVERIFY(child<QRadioButton>("Option3")->isChecked());
    QCOMPARE(child<QRadioButton>("Option1")->text(), u("کاملاً موافق"));
    QCOMPARE(child<QRadioButton>("Option3")->text(), u("نمي دانم"));
    QCOMPARE(child<QRadioButton>("Option5")->text(), u("کاملاً مخالف"));
}

void TestTestWindow::answerIsStoredAtClick() {
    prepare("1");
    start();
    typeNumber("7");
    QCOMPARE(itemShown(), 7);
    QCOMPARE(child<QLabel>("SkinLbl5")->text(), Tables::itemTexts()[6]);
    QVERIFY(!child<QRadioButton>("Option2")->isChecked());
    choose(2);
    QCOMPARE(answers("1").value(6), QStringLiteral("2")); // in the file before moving on
    QTest::mouseClick(child<QPushButton>("CmdNext"), Qt::LeftButton);
    QCOMPARE(itemShown(), 8);
    QVERIFY(!child<QRadioButton>("Option2")->isChecked());
    QTest::mouseClick(child<QPushButton>("CmdBack"), Qt::LeftButton);
    QCOMPARE(itemShown(), 7);
    QVERIFY(child<QRadioButton>("Option2")->isChecked());
    choose(5); // answered again: overwritten
    QCOMPARE(answers("1").value(6), QStringLiteral("5"));
}

void TestTestWindow::numberBox_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("notices");
    QTest::newRow("2 then 5") << "25" << 25 << "25" << QStringList{};
    QTest::newRow("40") << "40" << 33 << "33" << QStringList{u("پايان")};
    QTest::newRow("leading zero") << "05" << 5 << "05" << QStringList{};
    QTest::newRow("0 keeps the item") << "0" << 1 << "0" << QStringList{};
    QTest::newRow("emptied") << "" << 1 << "1" << QStringList{};
    QTest::newRow("letter") << "a" << 1 << "1" << QStringList{u("شما بايد عدد وارد كنيد")};
    QTest::newRow("letter after digit")
        << "3b" << 3 << "3" << QStringList{u("شما بايد عدد وارد كنيد")};
}

void TestTestWindow::numberBox() {
    QFETCH(QString, keys);
    QFETCH(int, item);
    QFETCH(QString, text);
    QFETCH(QStringList, notices);
    prepare("1");
    start();
    QLineEdit* number = child<QLineEdit>("Text6");
    if (keys.isEmpty()) {
        number->selectAll();
        QTest::keyClick(number, Qt::Key_Backspace);
    } else if (keys.front().isDigit()) {
        typeNumber(keys);
    } else {
        number->end(false);
        QTest::keyClicks(number, keys);
    }
    QCOMPARE(itemShown(), item);
    QCOMPARE(number->text(), text);
    QCOMPARE(child<QLabel>("SkinLbl5")->text(), Tables::itemTexts()[size_t(item - 1)]);
    QStringList shown;
    for (const auto& box : dialogs->shown)
        if (box.kind == "notice")
            shown << box.text;
    QCOMPARE(shown, notices);
    QCOMPARE(dialogs->beeps, notices.contains(u("شما بايد عدد وارد كنيد")) ? 1 : 0);
    choose(1);
    QCOMPARE(answers("1").value(item - 1), QStringLiteral("1")); // "05" names column 5
}

void TestTestWindow::nextAndPreviousAtTheEnds() {
    prepare("1");
    start();
    QTest::mouseClick(child<QPushButton>("CmdBack"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>("Text6")->text(), QStringLiteral("0"));
    QCOMPARE(itemShown(), 1);
    choose(3); // still item 1
    QCOMPARE(answers("1").value(0), QStringLiteral("3"));
    QTest::mouseClick(child<QPushButton>("CmdBack"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().text, u("شروع"));
    QCOMPARE(child<QLineEdit>("Text6")->text(), QStringLiteral("1"));
    QCOMPARE(itemShown(), 1);

    typeNumber("33");
    QTest::keyClick(child<QLineEdit>("Text6"), Qt::Key_Return); // Enter presses Next
    QCOMPARE(dialogs->shown.last().text, u("پايان"));
    QCOMPARE(itemShown(), 33);
    QCOMPARE(child<QLineEdit>("Text6")->text(), QStringLiteral("33"));
}

void TestTestWindow::reopeningShowsStoredAnswers() {
    storeAnswer("1", 1, "5");
    storeAnswer("1", 2, "1");
    storeAnswer("1", 4, "4");
    prepare("1");
    start();
    const QList<int> expected{5, 1, 0, 4, 0};
    for (int item = 1; item <= 5; ++item) {
        QCOMPARE(itemShown(), item);
        for (int option = 1; option <= 5; ++option)
            QCOMPARE(child<QRadioButton>(qPrintable(QStringLiteral("Option%1").arg(option)))
                         ->isChecked(),
                     option == expected[item - 1]);
        QTest::mouseClick(child<QPushButton>("CmdNext"), Qt::LeftButton);
    }
}

void TestTestWindow::allAnswersOnlyInTheSubjectsRow() {
    prepare("2");
    start();
    QStringList given;
    for (int item = 1; item <= Tables::ItemCount; ++item) {
        const int option = 1 + (item * 7) % 5;
        choose(option);
        given << QString::number(option);
        QTest::mouseClick(child<QPushButton>("CmdNext"), Qt::LeftButton);
    }
    QTest::mouseClick(child<QPushButton>("Command5"), Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QCOMPARE(answers("2"), given);
    QCOMPARE(answers("1"), QStringList(Tables::ItemCount, QString()));
}

void TestTestWindow::closeBoxKeepsAnswersAndDetails() {
    prepare("1");
    start();
    choose(2);
    QLineEdit* name = child<QLineEdit>("Text3");
    name->selectAll();
    QTest::keyClicks(name, "Sara");
    window->close();
    QCOMPARE(answers("1").value(0), QStringLiteral("2"));
    QCOMPARE(Seed::text("SELECT \"FName\" FROM \"ide\" WHERE \"Code\"='1'"),
             QStringLiteral("Sara"));
    QCOMPARE(Seed::text("SELECT \"FName\" FROM \"ide\" WHERE \"Code\"='2'"), u("علي"));
}

// The mouse, Space, an arrow key and assistive technology's toggle action each store the chosen
// answer with one write; showing stored answers on the next items writes nothing.
void TestTestWindow::everyWayOfChoosingStoresOnce_data() {
    QTest::addColumn<QString>("way");
    for (const char* way : {"mouse", "space", "arrow", "accessible"})
        QTest::newRow(way) << QString::fromLatin1(way);
}

void TestTestWindow::everyWayOfChoosingStoresOnce() {
    QFETCH(QString, way);
    storeAnswer("1", 2, "4");
    prepare("1");
    start();
    auto option = [this](int n) {
        return child<QRadioButton>(qPrintable(QStringLiteral("Option%1").arg(n)));
    };
    if (way == "arrow") { // the arrow moves on from a chosen option, as a keyboard user does
        choose(2);
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        option(2)->setFocus();
    }
    const qint64 before = Database::stamp("Answer").table;
    if (way == "mouse") {
        choose(3);
    } else if (way == "space") {
        option(3)->setFocus();
        QTest::keyClick(option(3), Qt::Key_Space);
    } else if (way == "arrow") {
        QTest::keyClick(option(2), Qt::Key_Down);
    } else {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(option(3));
        QVERIFY(a && a->actionInterface());
        a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    }
    QVERIFY(option(3)->isChecked());
    QCOMPARE(answers("1").value(0), QStringLiteral("3"));
    QCOMPARE(Database::stamp("Answer").table, before + 1);

    const qint64 shown = Database::stamp("Answer").table;
    QTest::mouseClick(child<QPushButton>("CmdNext"), Qt::LeftButton); // item 2, answer 4 stored
    QVERIFY(option(4)->isChecked());
    QTest::mouseClick(child<QPushButton>("CmdBack"), Qt::LeftButton);
    QVERIFY(option(3)->isChecked());
    QCOMPARE(Database::stamp("Answer").table, shown);
    QCOMPARE(answers("1").mid(0, 3), (QStringList{"3", "4", ""}));
}

void TestTestWindow::escapeKeepsTheSubjectInTheTest() {
    prepare("1");
    start();
    const qsizetype boxes = dialogs->shown.size();
    for (const char* box : {"Text3", "Text5", "Option1", "CmdNext"})
        QTest::keyClick(child<QWidget>(box), Qt::Key_Escape);
    QVERIFY(window->isVisible());
    QCOMPARE(dialogs->shown.size(), boxes);
}

// Neither the close box nor Save and exit closes the window over a save that failed: the edit
// stays in its box and goes in once the file takes it.
void TestTestWindow::failedSaveKeepsWindowOpen_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("close box") << true;
    QTest::newRow("save and exit") << false;
}

void TestTestWindow::failedSaveKeepsWindowOpen() {
    QFETCH(bool, closeBox);
    prepare("1");
    start();
    QLineEdit* name = child<QLineEdit>("Text3");
    name->selectAll();
    QTest::keyClicks(name, "Sara");
    refuseWrites("UPDATE", "ide");
    auto leave = [&] {
        if (closeBox)
            window->close();
        else
            QTest::mouseClick(child<QPushButton>("Command5"), Qt::LeftButton);
    };
    leave();
    QVERIFY(window->isVisible());
    QCOMPARE(dialogs->shown.last().title, QStringLiteral("Error"));
    QCOMPARE(name->text(), QStringLiteral("Sara"));
    allowWrites("ide");
    leave();
    QVERIFY(!window->isVisible());
    QCOMPARE(Seed::text("SELECT \"FName\" FROM \"ide\" WHERE \"Code\"='1'"),
             QStringLiteral("Sara"));
}

void TestTestWindow::ageBoxTakesOnlyDigits() {
    prepare("1");
    start();
    QLineEdit* age = child<QLineEdit>("Text5");
    age->selectAll();
    QTest::keyClicks(age, "4x17");
    QCOMPARE(age->text(), QStringLiteral("417"));
    QCOMPARE(dialogs->beeps, 1);
    QCOMPARE(dialogs->shown.last().text, u("شما بايد عدد وارد كنيد"));
    window->close();
    QCOMPARE(Seed::text("SELECT \"Sen\" FROM \"ide\" WHERE \"Code\"='1'"), QStringLiteral("417"));
}

void TestTestWindow::windowTakesStoredTheme() {
    QSqlQuery(Database::connection()).exec("UPDATE \"Theme\" SET \"TH\"='3'");
    prepare("1");
    QCOMPARE(window->findChild<Skin*>("Skin1")->loadedFile(), QStringLiteral("galaxy.skn"));
}

VORN_TEST_MAIN(TestTestWindow)
#include "tst_testwindow.moc"
