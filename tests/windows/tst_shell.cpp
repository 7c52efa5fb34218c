#include "core/Version.h"
#include "data/DataView.h"
#include "data/Module7.h"
#include "shell/Frm1.h"
#include "shell/seams/DesktopPlatform.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/Skin.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/Seed.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"
#include "update/transfer/Inet.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

namespace {

void setTheme(const QString& theme) {
    QSqlQuery q(Database::connection());
    q.prepare("UPDATE \"Theme\" SET \"TH\"=?");
    q.addBindValue(theme);
    QVERIFY(q.exec());
}

int subjects() {
    return Seed::value("SELECT count(*) FROM \"ide\"").toInt();
}

void storeCodes(const QStringList& codes) {
    for (const QString& code : codes) {
        QSqlQuery q(Database::connection());
        q.prepare("INSERT INTO \"ide\" (\"Code\") VALUES (?)");
        q.addBindValue(code);
        QVERIFY(q.exec());
        q.prepare("INSERT INTO \"Answer\" (\"Code\") VALUES (?)");
        q.addBindValue(code);
        QVERIFY(q.exec());
    }
}

// Runs a step while a modal box is open, then clicks the box's OK.
void whileModal(int afterMs, const std::function<void(QMessageBox*)>& step) {
    QTimer::singleShot(afterMs, [step] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            step(box);
    });
}

// Types text key by key, also characters that the test library's key table does not know.
void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(widget, c.toLatin1());
        } else {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(widget, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(widget, &release);
        }
    }
}

void moveMouseOver(QWidget* widget) {
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void handlerErrorsAreCaughtInTheSlot_data();
    void handlerErrorsAreCaughtInTheSlot();

    void themeStep_data();
    void themeStep();
    void missingSkinFileLeavesDefaultLook();
    void everySkinFileIsItsOwn();

    void oneCopyPerProgramFolder();
    void loadSteps();
    void loadAppliesStoredTheme();
    void secondCopyIsRefused();
    void lockThatCannotBeTakenIsSaidPlainly();
    void activationShowsPublishedVersion_data();
    void activationShowsPublishedVersion();
    void offlineActivationNeverFreezes();
    void loadFetchesVersionWithoutActivation();
    void replyAfterUnloadIsDropped();
    void unloadDropsUnsavedRegistration();
    void exitButtonClosesWindow();
    void hoverHelp();
    void calculator();
    void webLinks();

    void noticeClosesItself();
    void noticeClosedByUserLeavesNextAlone();
    void quickSecondNoticeSharesTimer();
    void fileDialogFilters_data();
    void fileDialogFilters();

    void openingRegistration();
    void codeProposal_data();
    void codeProposal();
    void ageBoxTakesOnlyDigits_data();
    void ageBoxTakesOnlyDigits();
    void refusedSave_data();
    void refusedSave();
    void duplicateCodeIsRefused_data();
    void duplicateCodeIsRefused();
    void savedSubjectHasBothRows();
    void cancelAndOtherButtonsWriteNothing_data();
    void cancelAndOtherButtonsWriteNothing();
    void labelsAreBuddies();

private:
    Frm1* loadMain();
    void openRegistration();
    void fillRegistration(const QString& code);
    template <typename T> T* child(const char* name) {
        return control<T>(window.data(), QString::fromLatin1(name));
    }

    std::unique_ptr<TempProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<HttpTestServer> server;
    QPointer<Frm1> window;
};

void TestShell::init() {
    folder = std::make_unique<TempProgramFolder>();
    const Database::OpenResult db = folder->openDatabase();
    QVERIFY2(db.status == Database::OpenResult::Created, qPrintable(db.message));
    dialogs = std::make_unique<ScriptedDialogs>();
    server = std::make_unique<HttpTestServer>();
    qputenv("VORN_SITE_URL", server->url("").toUtf8());
    qputenv("VORN_SHOP_URL", "http://shop.test");
}

void TestShell::cleanup() {
    deleteAllWindows(); // the main window and the exit question it leaves behind
    server.reset();
    dialogs.reset();
    folder.reset();
}

Frm1* TestShell::loadMain() {
    window = Frm1::load();
    return window;
}

void TestShell::themeStep_data() {
    QTest::addColumn<QString>("theme");
    QTest::addColumn<bool>("updateTable");
    QTest::addColumn<QString>("file");
    QTest::newRow("1") << "1" << false << "chizh.skn";
    QTest::newRow("7") << "7" << false << "O-Universe.skn";
    QTest::newRow("11") << "11" << false << "office2007.skn";
    QTest::newRow("blank before number") << " 2" << false << "Green.skn";
    QTest::newRow("12 is the update window's only") << "12" << false << "";
    QTest::newRow("0") << "0" << false << "";
    QTest::newRow("14") << "14" << true << "";
    QTest::newRow("fraction") << "3.5" << false << "";
    QTest::newRow("no number") << "abc" << false << "";
    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("huge") << "1e300" << false << "";
    QTest::newRow("update 7") << "7" << true << "TopSecret.skn";
    QTest::newRow("update 12") << "12" << true << "OrionNext.skn";
    QTest::newRow("update 13") << "13" << true << "Retro.skn";
}

void TestShell::themeStep() {
    QFETCH(QString, theme);
    QFETCH(bool, updateTable);
    QFETCH(QString, file);
    QWidget w;
    w.setStyleSheet("QWidget { color: red; }");
    Skin skin;
    skin.applyTheme(&w, theme, updateTable ? Skin::updateFiles() : Skin::standardFiles());
    QCOMPARE(skin.loadedFile(), file);
    if (file.isEmpty()) {
        QCOMPARE(w.styleSheet(), QString()); // applied in every case: the default look
    } else {
        QFile f(QDir(folder->path()).filePath(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(w.styleSheet(), QString::fromUtf8(f.readAll()));
    }
}

void TestShell::missingSkinFileLeavesDefaultLook() {
    QVERIFY(QFile::remove(QDir(folder->path()).filePath("Green.skn")));
    QWidget w;
    Skin skin;
    skin.applyTheme(&w, "1");
    QVERIFY(!w.styleSheet().isEmpty());
    skin.applyTheme(&w, "2");
    QCOMPARE(skin.loadedFile(), QString());
    QCOMPARE(w.styleSheet(), QString());
    QPushButton* b = new QPushButton("x", &w);
    w.show();
    QTest::mouseClick(b, Qt::LeftButton); // still usable
}

void TestShell::everySkinFileIsItsOwn() {
    QSet<QString> files(Skin::standardFiles().cbegin(), Skin::standardFiles().cend());
    for (const QString& f : Skin::updateFiles())
        files.insert(f);
    QCOMPARE(files.size(), 14);
    QSet<QByteArray> contents;
    for (const QString& name : files) {
        QFile f(QDir(folder->path()).filePath(name));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
        contents.insert(f.readAll());
    }
    QCOMPARE(contents.size(), 14);
}

void TestShell::oneCopyPerProgramFolder() {
    QTemporaryDir first, second;
    qputenv("VORN_PROGRAM_FOLDER", first.path().toUtf8());
    DesktopPlatform running, starting;
    QVERIFY(!running.anotherCopyRunning());
    QVERIFY(starting.anotherCopyRunning());
    QVERIFY(!running.anotherCopyRunning()); // asking again does not lose the lock
    qputenv("VORN_PROGRAM_FOLDER", second.path().toUtf8());
    DesktopPlatform elsewhere;
    QVERIFY(!elsewhere.anotherCopyRunning());
    QVERIFY(elsewhere.singleCopyProblem().isEmpty());
    // A folder for the lock that is a file: no copy runs, and the problem is named.
    const QByteArray tmp = qgetenv("TMPDIR");
    QFile blocker(second.filePath("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    qputenv("TMPDIR", blocker.fileName().toUtf8());
    DesktopPlatform cannot;
    QVERIFY(!cannot.anotherCopyRunning());
    QVERIFY(cannot.singleCopyProblem().contains("not-a-folder"));
    tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
    qunsetenv("VORN_PROGRAM_FOLDER");
}

void TestShell::loadSteps() {
    QVERIFY(loadMain());
    QCOMPARE(window->windowTitle(), QStringLiteral("VORN"));
    QVERIFY(window->isVisible());
    QCOMPARE(child<QLabel>("SkinLabel7")->text(), QStringLiteral("VORN 2.11"));
    QCOMPARE(child<QLabel>("SkinLabel9")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLabel>("SkinLabel8")->text(), u("ورژن نرم افزار شما"));
    QCOMPARE(child<QLabel>("SkinLabel10")->text(), u("آخرين ورژن نرم افزار"));
    QCOMPARE(child<QLineEdit>("Text3")->text(), QStringLiteral("2"));
    for (const char* panel : {"Frame6", "Frame8", "Frame9", "Frame10"})
        QVERIFY2(!child<QGroupBox>(panel)->isVisible(), panel);
    QVERIFY(!child<QLabel>("SkinLabel2")->isVisible());
    const QList<QPair<const char*, const char*>> menu{
        {"Command1", "ثبت نام آزمودني"},
        {"Command2", "اجراي تست"},
        {"Command3", "کليد گذاري"},
        {"Command4", "نمايش کد آزمودني"},
        {"Command5", "ماشين حساب"},
        {"Command9", "تنظيمات"},
        {"Command11", "معرفي پرسشنامه"},
        {"Command12", "درباره ما"},
        {"Cmdupdate", "بروز رساني"},
        {"Command6", "خروج"},
        {"Command14", "دانلود ليست نرم افزارهاي موجود"}};
    for (const auto& [name, text] : menu)
        QCOMPARE(child<QPushButton>(name)->text(), u(text));
    QCOMPARE(child<QToolButton>("CmdHelp")->text(), QStringLiteral("Help"));
    QCOMPARE(child<QToolButton>("CmdHelp")->toolTip(),
             u("براي مشاهده اين قسمت بايد به اينترنت کانکت شويد"));
    QCOMPARE(child<QToolButton>("Picture1")->toolTip(), u("جهت ورود به سايت کليک کنيد"));
    // Placed 2340 by 765 twips from the screen's corner (156 by 51 pixels at 96 dpi), unless
    // that would push it off a small screen.
    const QRect screen = window->screen()->availableGeometry();
    QCOMPARE(window->pos(), QPoint(qMax(0, qMin(156, screen.right() - window->width())), 51));
    QVERIFY(window->minimumSizeHint().width() <= 1366);
    QVERIFY(window->minimumSizeHint().height() <= 700);
    QVERIFY(dialogs->shown.isEmpty());
}

void TestShell::loadAppliesStoredTheme() {
    setTheme("5");
    QVERIFY(loadMain());
    QCOMPARE(window->findChild<Skin*>("Skin1")->loadedFile(), QStringLiteral("B-Studio.skn"));
    QVERIFY(window->styleSheet().contains("B-Studio"));
}

void TestShell::secondCopyIsRefused() {
    folder->platform.anotherCopy = true;
    QVERIFY(!loadMain());
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].text, u("برنامه در حال اجراست"));
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("Warnnig"));
    QCOMPARE(dialogs->shown[0].icon, Dialogs::Icon::Information);
    QCOMPARE(folder->platform.endedNow, 1);
}

void TestShell::lockThatCannotBeTakenIsSaidPlainly() {
    folder->platform.lockProblem = u("قفل ساخته نشد");
    QVERIFY(!loadMain());
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].text, u("قفل ساخته نشد"));
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("VORN"));
    QCOMPARE(dialogs->shown[0].icon, Dialogs::Icon::Critical);
    QCOMPARE(folder->platform.endedNow, 1);
}

void TestShell::activationShowsPublishedVersion_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("shown");
    QTest::newRow("newer with line end") << QByteArray("2.12\r\n") << 200 << "2.12";
    QTest::newRow("leading blanks") << QByteArray("  \n3") << 200 << "3";
    QTest::newRow("empty") << QByteArray() << 200 << "0";
    QTest::newRow("html page") << QByteArray("<html>2.2</html>") << 200 << "0";
    QTest::newRow("missing file") << QByteArray("404") << 404 << "0";
}

void TestShell::activationShowsPublishedVersion() {
    QFETCH(QByteArray, file);
    QFETCH(int, status);
    QFETCH(QString, shown);
    HttpTestServer::Reply reply;
    reply.status = status;
    reply.body = file;
    server->route("/Soft/VORN/LastVersion.txt", reply);
    QVERIFY(loadMain());
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(window, &activate);
    QVERIFY(child<Inet>("Inet1")->isFetching());
    QTRY_VERIFY(!child<Inet>("Inet1")->isFetching());
    QCOMPARE(child<QLabel>("SkinLabel9")->text(), shown);
    QCOMPARE(server->requests.size(), 1);
    QCOMPARE(server->requests[0].path, QByteArray("/Soft/VORN/LastVersion.txt"));
}

void TestShell::offlineActivationNeverFreezes() {
    HttpTestServer::Reply silent;
    silent.neverAnswer = true;
    server->route("/Soft/VORN/LastVersion.txt", silent);
    QVERIFY(loadMain());
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 3; ++i) {
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(window, &activate);
    }
    QTest::mouseClick(child<QPushButton>("Command14"), Qt::LeftButton);
    QVERIFY(timer.elapsed() < 500);
    QCOMPARE(folder->platform.openedUrls.size(), 1);
    QTRY_COMPARE(server->requests.size(), 1); // one fetch in flight, however often activated
    QTest::qWait(100);
    QCOMPARE(server->requests.size(), 1);
    QCOMPARE(child<QLabel>("SkinLabel9")->text(), QStringLiteral("0"));
}

// No window manager activates the window: the load's own activation steps fetch the version,
// and the window system's activation that follows at once fetches nothing more.
void TestShell::loadFetchesVersionWithoutActivation() {
    HttpTestServer::Reply reply;
    reply.body = "2.12\n";
    server->route("/Soft/VORN/LastVersion.txt", reply);
    QVERIFY(loadMain());
    QTRY_COMPARE(child<QLabel>("SkinLabel9")->text(), QStringLiteral("2.12"));
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::qWait(100);
    QCOMPARE(server->requests.size(), 1);
}

void TestShell::replyAfterUnloadIsDropped() {
    HttpTestServer::Reply slow;
    slow.body = "9";
    slow.delayMs = 200;
    server->route("/Soft/VORN/LastVersion.txt", slow);
    QVERIFY(loadMain());
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(window, &activate);
    QTRY_COMPARE(server->requests.size(), 1);
    window->close();
    QTRY_VERIFY(window.isNull()); // deleted on close
    QTest::qWait(400);            // the reply comes to nobody
}

void TestShell::unloadDropsUnsavedRegistration() {
    QVERIFY(loadMain());
    auto* registration = window->findChild<DataView*>("Adodc2");
    QVERIFY(registration);
    registration->addRow();
    registration->setField("Code", "1");
    window->close();
    QCOMPARE(subjects(), 0);
}

void TestShell::exitButtonClosesWindow() {
    QVERIFY(loadMain());
    child<QGroupBox>("Frame10")->show();
    QTest::mouseClick(child<QPushButton>("Command6"), Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
}

void TestShell::hoverHelp() {
    QVERIFY(loadMain());
    auto* help = child<QLabel>("SkinLabel2");
    moveMouseOver(child<QPushButton>("Command1"));
    QVERIFY(help->isVisible());
    QCOMPARE(help->text(), u(" شما بايد هر آزمودني را ابتدا ثبت نام کرده و سپس روي دکمه اجراي "
                             "تست کليک کرده و کد آزمودني را وارد کنيد"));
    moveMouseOver(child<QPushButton>("Command4"));
    QCOMPARE(help->text(), u(" درصورتيکه کد آزمودني را فراموش کرده ايد با کليک بر روي  اين "
                             "قسمت مي توانيد آن را بدست بياوريد"));
    moveMouseOver(child<QPushButton>("Command5")); // no help of its own: the text stays
    QVERIFY(help->isVisible());
    moveMouseOver(child<QWidget>("Frame7"));
    QVERIFY(!help->isVisible());
    QCOMPARE(help->text(), QString());
    moveMouseOver(child<QPushButton>("Command2"));
    QCOMPARE(help->text(), u(" جهت جواب دادن به سؤالها روي اين دکمه کليک کنيد و کد آزمودني "
                             "مورد نظر را وارد کنيد "));
    moveMouseOver(window);
    QVERIFY(!help->isVisible());
}

void TestShell::calculator() {
    QVERIFY(loadMain());
    child<QGroupBox>("Frame9")->show();
    QTest::mouseClick(child<QPushButton>("Command5"), Qt::LeftButton);
    QVERIFY(!child<QGroupBox>("Frame9")->isVisible()); // panels closed first
    QCOMPARE(folder->platform.started.size(), 0);
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].icon, Dialogs::Icon::Exclamation);

    folder->platform.calculatorPath = "/usr/bin/some-calculator";
    QTest::mouseClick(child<QPushButton>("Command5"), Qt::LeftButton);
    QCOMPARE(folder->platform.started.size(), 1);
    QCOMPARE(folder->platform.started[0].program, QStringLiteral("/usr/bin/some-calculator"));
    QCOMPARE(folder->platform.started[0].style, Platform::WindowStyle::Minimized);
    QCOMPARE(dialogs->shown.size(), 1);
}

void TestShell::webLinks() {
    QVERIFY(loadMain());
    QTest::mouseClick(child<QToolButton>("CmdHelp"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("Command14"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>("Picture1"), Qt::LeftButton);
    const QString site = server->url("");
    QCOMPARE(folder->platform.openedUrls,
             (QStringList{site + "/software/software-settings.html", site + "/Soft/soft-list2.pdf",
                          site + "/", "http://shop.test/"}));
}

void TestShell::noticeClosesItself() {
    QWidget owner;
    owner.show();
    QtDialogs real;
    QString title, text;
    bool noIcon = false, okOnly = false;
    whileModal(50, [&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        noIcon = box->icon() == QMessageBox::NoIcon;
        okOnly = box->standardButtons() == QMessageBox::Ok;
        QCOMPARE(box->parentWidget(), &owner);
    });
    QElapsedTimer timer;
    timer.start();
    real.notice(&owner, u("شما بايد عدد وارد كنيد"), 400);
    QVERIFY(timer.elapsed() >= 350); // coarse timers may fire a little early
    QVERIFY(timer.elapsed() < 3000);
    QCOMPARE(title, u("پيام"));
    QCOMPARE(text, u("شما بايد عدد وارد كنيد"));
    QVERIFY(noIcon);
    QVERIFY(okOnly);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestShell::noticeClosedByUserLeavesNextAlone() {
    QWidget owner;
    owner.show();
    QtDialogs real;
    whileModal(30, [](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
    QElapsedTimer timer;
    timer.start();
    real.notice(&owner, "first", 600);
    QVERIFY(timer.elapsed() < 400);
    QTest::qWait(300);
    timer.restart();
    real.notice(&owner, "second", 600); // the first one's timer must not cut it short
    QVERIFY2(timer.elapsed() >= 500, qPrintable(QString::number(timer.elapsed())));
}

// The file dialogs' types as Qt reads them: each pattern shown once.
void TestShell::fileDialogFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("shown");
    QTest::newRow("backup") << "Database Backup |*.mdbB"
                            << "Database Backup (*.mdbB)";
    QTest::newRow("export") << "SPSS (*.sav)|*.sav|CSV (UTF-8)|*.csv"
                            << "SPSS (*.sav);;CSV (UTF-8) (*.csv)";
}

void TestShell::fileDialogFilters() {
    QFETCH(QString, filter);
    QFETCH(QString, shown);
    QCOMPARE(QtDialogs::qtFilter(filter), shown);
}

void TestShell::quickSecondNoticeSharesTimer() {
    QWidget owner;
    owner.show();
    QtDialogs real;
    QElapsedTimer timer;
    qint64 innerDone = -1;
    QTimer::singleShot(200, [&] {
        real.notice(&owner, "second", 500);
        innerDone = timer.elapsed();
    });
    timer.start();
    real.notice(&owner, "first", 500);
    const qint64 outerDone = timer.elapsed();
    QVERIFY(innerDone >= 0);
    // The second start replaced the timer: both close together, 500 ms after the second.
    QVERIFY2(outerDone >= 600 && outerDone < 3000, qPrintable(QString::number(outerDone)));
    QVERIFY(!QApplication::activeModalWidget());
}

void TestShell::openRegistration() {
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
}

void TestShell::fillRegistration(const QString& code) {
    auto type = [this](const char* box, const QString& text) {
        QLineEdit* edit = child<QLineEdit>(box);
        edit->selectAll();
        typeText(edit, text);
    };
    child<QLineEdit>("Text11")->clear();
    type("Text11", code);
    type("Text6", u("مريم"));
    type("Text4", u("احمدي"));
    child<QComboBox>("Combo2")->setCurrentIndex(1);
    type("Text5", "34");
    child<QComboBox>("Combo1")->setCurrentIndex(0);
    type("Text7", u("کارشناسي"));
    child<QComboBox>("Combo3")->setCurrentIndex(1);
}

void TestShell::openingRegistration() {
    folder->platform.clock = QDateTime(QDate(2023, 7, 31), QTime(14, 5, 9));
    storeCodes({"1"});
    QVERIFY(loadMain());
    openRegistration();
    QVERIFY(child<QGroupBox>("Frame10")->isVisible());
    QVERIFY(!child<QPushButton>("Command1")->isEnabled());
    QCOMPARE(child<QLineEdit>("Text8")->text(), QStringLiteral("1402/05/09"));
    QCOMPARE(child<QLineEdit>("Text9")->text(), Module7::ClockText(QTime(14, 5, 9)));
    QCOMPARE(child<QLineEdit>("Text11")->text(), QStringLiteral("2"));
    for (const char* box : {"Text6", "Text4", "Text5", "Text7"})
        QCOMPARE(child<QLineEdit>(box)->text(), QString());
    QCOMPARE(child<QComboBox>("Combo2")->currentText(), QString());
    QCOMPARE(child<QComboBox>("Combo2")->lineEdit()->placeholderText(), u("جنسيت را انتخاب كنيد"));
    QCOMPARE(child<QComboBox>("Combo1")->lineEdit()->placeholderText(),
             u("وضعيت تأهل خود را مشخص کنيد"));
    QCOMPARE(child<QComboBox>("Combo3")->count(), 7);
    QVERIFY(child<QLineEdit>("Text9")->isReadOnly());
    QCOMPARE(child<QLineEdit>("Text5")->maxLength(), 2);
}

void TestShell::codeProposal_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("deleted");
    QTest::addColumn<QString>("proposal");
    QTest::newRow("no subject") << QStringList{} << QStringList{} << "";
    QTest::newRow("1 2 5") << QStringList{"1", "2", "5"} << QStringList{} << "6";
    QTest::newRow("5 deleted") << QStringList{"1", "2", "3", "4", "5"} << QStringList{"5"} << "5";
    QTest::newRow("100 typed after 5")
        << QStringList{"1", "2", "3", "4", "5", "100"} << QStringList{} << "101";
    QTest::newRow("7 last after 8") << QStringList{"8", "7"} << QStringList{} << "9";
    QTest::newRow("a run of taken codes")
        << QStringList{"2", "3", "4", "5", "1"} << QStringList{} << "6";
    QTest::newRow("no number") << QStringList{"abc"} << QStringList{} << "1";
    QTest::newRow("leading number") << QStringList{"12x"} << QStringList{} << "13";
}

void TestShell::codeProposal() {
    QFETCH(QStringList, stored);
    QFETCH(QStringList, deleted);
    QFETCH(QString, proposal);
    storeCodes(stored);
    for (const QString& code : deleted) {
        QSqlQuery q(Database::connection());
        q.prepare("DELETE FROM \"ide\" WHERE \"Code\"=?");
        q.addBindValue(code);
        QVERIFY(q.exec());
    }
    QVERIFY(loadMain());
    openRegistration();
    QCOMPARE(child<QLineEdit>("Text11")->text(), proposal);
}

void TestShell::ageBoxTakesOnlyDigits_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("refused");
    QTest::newRow("digits") << "34"
                            << ""
                            << "34" << 0;
    QTest::newRow("third digit") << "345"
                                 << ""
                                 << "34" << 0;
    QTest::newRow("letter") << "a"
                            << ""
                            << "" << 1;
    QTest::newRow("letter between") << "3x4"
                                    << ""
                                    << "34" << 1;
    QTest::newRow("point and minus") << ".-"
                                     << ""
                                     << "" << 2;
    QTest::newRow("persian digits") << u("۴۵") << ""
                                    << "45" << 0;
    QTest::newRow("paste digits") << ""
                                  << "27"
                                  << "27" << 0;
    QTest::newRow("paste three digits") << ""
                                        << "271"
                                        << "27" << 0;
    QTest::newRow("paste letters") << ""
                                   << "2a"
                                   << "" << 0;
}

void TestShell::ageBoxTakesOnlyDigits() {
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, text);
    QFETCH(int, refused);
    QVERIFY(loadMain());
    openRegistration();
    QLineEdit* age = child<QLineEdit>("Text5");
    typeText(age, typed);
    if (!pasted.isEmpty()) {
        QApplication::clipboard()->setText(pasted);
        age->paste();
    }
    QTest::keyClick(age, Qt::Key_Return); // Enter is accepted silently
    QCOMPARE(age->text(), text);
    QCOMPARE(dialogs->beeps, refused);
    QCOMPARE(dialogs->shown.size(), refused);
    for (const auto& shown : dialogs->shown) {
        QCOMPARE(shown.kind, QStringLiteral("notice"));
        QCOMPARE(shown.text, u("شما بايد عدد وارد كنيد"));
    }
    QTest::keyClick(age, Qt::Key_Backspace);
    QCOMPARE(age->text(), text.left(text.size() - 1));
}

void TestShell::refusedSave_data() {
    QTest::addColumn<QStringList>("emptied");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("focus");
    QTest::newRow("code") << QStringList{"Text11"} << u("کد آزمودني را وارد کنيد") << "Text11";
    QTest::newRow("code of blanks")
        << QStringList{"Text11="} << u("کد آزمودني را وارد کنيد") << "Text11";
    QTest::newRow("first name") << QStringList{"Text6"} << u("نام آزمودني را وارد کنيد") << "Text6";
    QTest::newRow("last name before sex")
        << QStringList{"Combo2", "Text4"} << u("نام خانوادگي آزمودني را وارد کنيد") << "Text4";
    QTest::newRow("sex at its prompt")
        << QStringList{"Combo2"} << u("جنسيت آزمودني را مشخص کنيد") << "Combo2";
    QTest::newRow("age") << QStringList{"Text5"} << u("سن آزمودني را وارد کنيد") << "Text5";
    QTest::newRow("marital status")
        << QStringList{"Combo1"} << u("وضعيت تاهل آزمودني را مشخص کنيد") << "Combo1";
    QTest::newRow("group before education")
        << QStringList{"Text7", "Combo3"} << u("گروه را مشخص کنيد") << "Combo3";
    QTest::newRow("education") << QStringList{"Text7"} << u("ميزان تحصيلات آزمودني را وارد کنيد")
                               << "Text7";
}

void TestShell::refusedSave() {
    QFETCH(QStringList, emptied);
    QFETCH(QString, notice);
    QFETCH(QString, focus);
    QVERIFY(loadMain());
    openRegistration();
    fillRegistration("5");
    for (const QString& name : emptied) {
        if (name == "Text11=") {
            child<QLineEdit>("Text11")->selectAll();
            QTest::keyClicks(child<QLineEdit>("Text11"), "   ");
        } else if (auto* list = window->findChild<QComboBox*>(name)) {
            list->setCurrentIndex(-1);
        } else {
            child<QLineEdit>(qPrintable(name))->selectAll();
            QTest::keyClick(child<QLineEdit>(qPrintable(name)), Qt::Key_Delete);
        }
    }
    QTest::mouseClick(child<QPushButton>("Command8"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].kind, QStringLiteral("notice"));
    QCOMPARE(dialogs->shown[0].text, notice);
    QCOMPARE(dialogs->shown[0].owner.data(), window.data());
    QWidget* focused = window->focusWidget();
    QVERIFY(focused);
    if (auto* list = qobject_cast<QComboBox*>(focused->parentWidget()))
        focused = list; // an editable list's own line edit
    QCOMPARE(focused->objectName(), focus);
    QVERIFY(child<QGroupBox>("Frame10")->isVisible());
    QCOMPARE(subjects(), 0);
    QCOMPARE(Seed::value("SELECT count(*) FROM \"Answer\"").toInt(), 0);
}

void TestShell::duplicateCodeIsRefused_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("same code") << "12";
    QTest::newRow("with blanks around") << " 12 ";
}

void TestShell::duplicateCodeIsRefused() {
    QFETCH(QString, typed);
    storeCodes({"12"});
    QVERIFY(loadMain());
    openRegistration();
    fillRegistration(typed);
    QTest::mouseClick(child<QPushButton>("Command8"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), 1);
    // On a server the code was likely given at another desk meanwhile: the next is offered.
    if (folder->onServer()) {
        QCOMPARE(dialogs->shown[0].text, u("فردديگري با اين کد ثبت شده\nکد بعدی پیشنهاد شد؛ "
                                           "دوباره ذخیره کنید."));
        QCOMPARE(child<QLineEdit>("Text11")->text(), QStringLiteral("13"));
    } else {
        QCOMPARE(dialogs->shown[0].text, u("فردديگري با اين کد ثبت شده"));
        QCOMPARE(child<QLineEdit>("Text11")->text(), typed);
    }
    QVERIFY(child<QGroupBox>("Frame10")->isVisible());
    QCOMPARE(child<QLineEdit>("Text6")->text(), u("مريم"));
    QCOMPARE(child<QLineEdit>("Text5")->text(), QStringLiteral("34"));
    QCOMPARE(subjects(), 1);
    QCOMPARE(Seed::value("SELECT count(*) FROM \"Answer\"").toInt(), 1);

    // Corrected, the same panel saves.
    child<QLineEdit>("Text11")->selectAll();
    QTest::keyClicks(child<QLineEdit>("Text11"), "13");
    QTest::mouseClick(child<QPushButton>("Command8"), Qt::LeftButton);
    QCOMPARE(subjects(), 2);
    QCOMPARE(Seed::value("SELECT count(*) FROM \"Answer\" WHERE \"Code\"='13'").toInt(), 1);
}

void TestShell::savedSubjectHasBothRows() {
    folder->platform.clock = QDateTime(QDate(2024, 3, 20), QTime(9, 5, 0));
    QVERIFY(loadMain());
    openRegistration();
    fillRegistration("  7 ");
    QTest::mouseClick(child<QPushButton>("Command8"), Qt::LeftButton);
    QVERIFY(dialogs->shown.isEmpty());
    QVERIFY(!child<QGroupBox>("Frame10")->isVisible());
    QVERIFY(child<QPushButton>("Command1")->isEnabled());

    QSqlQuery q(Database::connection());
    q.exec(
        "SELECT \"Code\", \"FName\", \"LName\", \"Jens\", \"Sen\", \"Taahol\", \"Tahsil\", \"Group\", \"Date\", \"Time\", "
        "\"KHalaghiyat\", \"Balidagi\", \"Taahod\" FROM \"ide\"");
    QVERIFY(q.next());
    const QStringList expected{"7",
                               u("مريم"),
                               u("احمدي"),
                               u("زن"),
                               "34",
                               u("مجرد"),
                               u("کارشناسي"),
                               "B",
                               "1403/01/01",
                               Module7::ClockText(QTime(9, 5, 0)),
                               "",
                               "",
                               ""};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(q.value(i).toString(), expected[i]);
    QVERIFY(!q.next());
    q.exec("SELECT * FROM \"Answer\"");
    QVERIFY(q.next());
    QCOMPARE(q.value("Code").toString(), QStringLiteral("7"));
    for (int item = 1; item <= 33; ++item)
        QCOMPARE(q.value(QString::number(item)).toString(), QString());
    QVERIFY(!q.next());

    // The next registration proposes the next code, and the code just saved is taken.
    openRegistration();
    QCOMPARE(child<QLineEdit>("Text11")->text(), QStringLiteral("8"));
    fillRegistration("7");
    QTest::mouseClick(child<QPushButton>("Command8"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), 1);
    QVERIFY(dialogs->shown[0].text.startsWith(u("فردديگري با اين کد ثبت شده")));
    QCOMPARE(subjects(), 1);
}

void TestShell::cancelAndOtherButtonsWriteNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("cancel") << "Command10";
    QTest::newRow("calculator") << "Command5";
}

void TestShell::cancelAndOtherButtonsWriteNothing() {
    QFETCH(QString, button);
    storeCodes({"1"});
    QVERIFY(loadMain());
    openRegistration();
    fillRegistration("2");
    QTest::mouseClick(child<QPushButton>(qPrintable(button)), Qt::LeftButton);
    QVERIFY(!child<QGroupBox>("Frame10")->isVisible());
    QVERIFY(child<QPushButton>("Command1")->isEnabled());
    QCOMPARE(subjects(), 1);
    QCOMPARE(Seed::value("SELECT count(*) FROM \"Answer\"").toInt(), 1);
    openRegistration();
    QCOMPARE(child<QLineEdit>("Text11")->text(), QStringLiteral("2"));
    QCOMPARE(child<QLineEdit>("Text6")->text(), QString());
}

void TestShell::labelsAreBuddies() {
    QVERIFY(loadMain());
    const QList<QPair<const char*, const char*>> pairs{
        {"Label11", "Text11"}, {"Label6", "Text6"},   {"Label4", "Text4"}, {"Label16", "Combo2"},
        {"Label5", "Text5"},   {"Label15", "Combo1"}, {"Label7", "Text7"}, {"Label17", "Combo3"},
        {"Label8", "Text8"},   {"Label9", "Text9"}};
    for (const auto& [label, box] : pairs) {
        QCOMPARE(child<QLabel>(label)->buddy(), child<QWidget>(box));
        QVERIFY(child<QLabel>(label)->text().startsWith(" :"));
    }
}

// What a handler throws is shown in the "Error" box from inside the slot: a click called
// directly (no event, so no notify() to catch it) returns normally.
void TestShell::handlerErrorsAreCaughtInTheSlot_data() {
    QTest::addColumn<bool>("dataError");
    QTest::newRow("the data layer's failure") << true;
    QTest::newRow("any other exception") << false;
}

void TestShell::handlerErrorsAreCaughtInTheSlot() {
    QFETCH(bool, dataError);
    QWidget window;
    auto* button = new QPushButton(&window);
    struct Handler : QObject {
        bool dataError = true;
        void click() {
            if (dataError)
                throw DataError(QString::fromUtf8("پایگاه داده پاسخ نداد"));
            throw std::runtime_error("out of memory");
        }
    } handler;
    handler.dataError = dataError;
    connectHandler(button, &QPushButton::clicked, &handler, &Handler::click);
    button->click();
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].title, QStringLiteral("Error"));
    QCOMPARE(dialogs->shown[0].text, dataError ? QString::fromUtf8("پایگاه داده پاسخ نداد")
                                               : QStringLiteral("out of memory"));
}

VORN_TEST_MAIN(TestShell)
#include "tst_shell.moc"
