#include "data/Content.h"
#include "records/FrmCode.h"
#include "scoring/FrmkLID.h"
#include "shell/Frm1.h"
#include "shell/exitpro.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>
#include <memory>

// What assistive technology does to the windows: the same as the mouse and the keys, and
// nothing that breaks the program.
namespace {

int ideRows() {
    QSqlQuery q(Database::connection());
    q.exec("SELECT COUNT(*) FROM ide");
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestAccess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void exitPressedWhileNoticeIsUp_data();
    void exitPressedWhileNoticeIsUp();
    void listChoice_data();
    void listChoice();
    void exitDuringAnExport_data();
    void exitDuringAnExport();

private:
    std::unique_ptr<TempProgramFolder> folder;
};

void TestAccess::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    qputenv("VORN_SITE_URL", "http://127.0.0.1:9"); // nobody listens: the fetch fails at once
    QSqlQuery q(Database::connection());
    for (const char* sql :
         {"INSERT INTO ide (Code, FName, LName, \"Group\") VALUES ('1', 'Sara', 'Amini', 'B')",
          "INSERT INTO ide (Code, FName, LName, \"Group\") VALUES ('2', 'Reza', 'Karimi', 'A')",
          "INSERT INTO Answer (Code) VALUES ('1')", "INSERT INTO Answer (Code) VALUES ('2')"})
        QVERIFY(q.exec(QString::fromLatin1(sql)));
}

void TestAccess::cleanup() {
    deleteAllWindows();
    folder.reset();
}

// The real self-closing notice is up; a screen reader presses the window's exit button, which
// no mouse or key could reach. The notice closes first, then the window goes as its exit does.
void TestAccess::exitPressedWhileNoticeIsUp_data() {
    QTest::addColumn<QString>("window");
    QTest::newRow("main window, registration notice") << "main";
    QTest::newRow("scoring window") << "scoring";
    QTest::newRow("records window") << "records";
}

void TestAccess::exitPressedWhileNoticeIsUp() {
    QFETCH(QString, window);
    QPointer<QWidget> w;
    QPushButton* noticeButton = nullptr;
    QPushButton* exitButton = nullptr;
    if (window == "main") {
        w = Frm1::load();
        QTest::mouseClick(w->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        w->findChild<QLineEdit*>("Text11")->clear(); // the save stops at the missing code
        noticeButton = w->findChild<QPushButton*>("Command8");
        exitButton = w->findChild<QPushButton*>("Command6");
    } else if (window == "scoring") {
        w = new FrmkLID;
        noticeButton = w->findChild<QPushButton*>("Command6"); // print with nobody chosen
        exitButton = w->findChild<QPushButton*>("Command4");
    } else {
        w = new FrmCode;
        noticeButton = w->findChild<QPushButton*>("Command1"); // print with no group
        exitButton = w->findChild<QPushButton*>("Command6");
    }
    w->show();
    QVERIFY(noticeButton && exitButton);
    bool noticeWasUp = false;
    QTimer::singleShot(150, [&] {
        noticeWasUp = QApplication::activeModalWidget() &&
                      QApplication::activeModalWidget()->objectName() == "notice";
        pressThroughAccessibility(exitButton);
    });
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(noticeButton, Qt::LeftButton); // returns when the notice has closed
    QVERIFY(noticeWasUp);
    QVERIFY2(timer.elapsed() < 900, "the notice closed at the press, not by its timer");
    if (window == "main")
        QTRY_VERIFY(shownWindow<exitpro>()); // the exit question, as after the exit button
    else
        QTRY_VERIFY(w.isNull() && shownWindow<Frm1>()); // the main window back
    QCOMPARE(ideRows(), 2);
}

// Choosing an item of an editable list through its accessible item view (a selection, as a
// screen reader or switch access makes it) is choosing it: the registration takes it, the
// records window searches for it.
void TestAccess::listChoice_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QStringList>("grid");
    QTest::newRow("registration sex") << "main"
                                      << "Combo2" << u("زن") << QStringList();
    QTest::newRow("registration marital") << "main"
                                          << "Combo1" << u("متأهل") << QStringList();
    QTest::newRow("registration group") << "main"
                                        << "Combo3"
                                        << "C" << QStringList();
    QTest::newRow("records last name") << "records"
                                       << "DataCombo1"
                                       << "Karimi" << QStringList{"2"};
    QTest::newRow("records first name") << "records"
                                        << "DataCombo6"
                                        << "Sara" << QStringList{"1"};
    QTest::newRow("records group") << "records"
                                   << "Combo3"
                                   << "B" << QStringList{"1"};
}

void TestAccess::listChoice() {
    QFETCH(QString, window);
    QFETCH(QString, list);
    QFETCH(QString, item);
    QFETCH(QStringList, grid);
    ScriptedDialogs dialogs;
    QPointer<QWidget> w;
    if (window == "main") {
        w = Frm1::load();
        QTest::mouseClick(w->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    } else {
        w = new FrmCode;
        w->show();
        QCoreApplication::processEvents(); // the name lists come once the window is up
    }
    auto* combo = control<QComboBox>(w, list);
    const int row = combo->findText(item);
    QVERIFY(row >= 0);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(combo);
    QVERIFY(a);
    QAccessibleInterface* items = a->child(0);
    QVERIFY(items && items->tableInterface());
    QVERIFY(items->tableInterface()->selectRow(row));
    QCOMPARE(combo->currentIndex(), row);
    QCOMPARE(combo->currentText(), item);
    if (window == "records") {
        const QAbstractItemModel* model = control<QTableView>(w, "DataGrid1")->model();
        QStringList codes;
        for (int r = 0; r < model->rowCount(); ++r)
            codes << model->index(r, 0).data().toString();
        QCOMPARE(codes, grid);
    }
    // The mouse's hovering over the open popup still decides nothing until the click.
    combo->showPopup();
    QVERIFY(combo->view()->isVisible());
    combo->view()->selectionModel()->select(combo->model()->index(row == 0 ? 1 : 0, 0),
                                            QItemSelectionModel::ClearAndSelect);
    QCOMPARE(combo->currentIndex(), row);
    combo->hidePopup();
}

// The export lets the window's events run; what reaches the window meanwhile leaves the
// program whole: a press of its exit button is refused, a close waits until the file is
// written, then the window goes.
void TestAccess::exitDuringAnExport_data() {
    QTest::addColumn<bool>("close");
    QTest::newRow("exit button pressed through its accessibility action") << false;
    QTest::newRow("window closed") << true;
}

void TestAccess::exitDuringAnExport() {
    QFETCH(bool, close);
    QSqlQuery q(Database::connection());
    q.exec("BEGIN");
    for (int i = 10; i < 1010; ++i)
        q.exec(QStringLiteral("INSERT INTO ide (Code) VALUES ('%1')").arg(i));
    q.exec("COMMIT");
    ScriptedDialogs dialogs;
    const QString path = QDir(folder->path()).filePath("out.csv");
    dialogs.answer(path);
    QPointer<QWidget> w = new FrmCode;
    w->show();
    auto* exitButton = w->findChild<QPushButton*>("Command6");
    bool reached = false, stayedMeanwhile = false;
    QTimer::singleShot(0, [&] { // runs inside the export, at its first progress
        reached = true;
        if (close)
            w->close();
        else
            pressThroughAccessibility(exitButton);
        QCoreApplication::processEvents();
        stayedMeanwhile = !w.isNull() && w->isVisible();
    });
    QTest::mouseClick(w->findChild<QPushButton*>("CmdExport"), Qt::LeftButton);
    QVERIFY(reached && stayedMeanwhile);
    QFile csv(path);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().count('\n'), 1003); // the header, the two subjects and 1000 more
    if (close)
        QTRY_VERIFY(w.isNull() && shownWindow<Frm1>());
    else
        QVERIFY(!w.isNull() && w->isVisible() && exitButton->isEnabled());
}

VORN_TEST_MAIN(TestAccess)
#include "tst_access.moc"
