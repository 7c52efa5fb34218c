#include "DataView.h"
#include "DesktopPlatform.h"
#include "Frm1.h"
#include "HttpTestServer.h"
#include "Inet.h"
#include "ScriptedDialogs.h"
#include "Skin.h"
#include "TempProgramFolder.h"
#include "TestMain.h"
#include "Version.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QToolButton>
#include <memory>

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

void setTheme(const QString& theme) {
    QSqlQuery q(Database::connection());
    q.prepare("UPDATE Theme SET TH=?");
    q.addBindValue(theme);
    QVERIFY(q.exec());
}

int subjects() {
    QSqlQuery q(Database::connection());
    q.exec("SELECT count(*) FROM ide");
    q.next();
    return q.value(0).toInt();
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

    void themeStep_data();
    void themeStep();
    void missingSkinFileLeavesDefaultLook();
    void everySkinFileIsItsOwn();

    void oneCopyPerProgramFolder();
    void loadSteps();
    void loadAppliesStoredTheme();
    void secondCopyIsRefused();
    void activationShowsPublishedVersion_data();
    void activationShowsPublishedVersion();
    void offlineActivationNeverFreezes();
    void replyAfterUnloadIsDropped();
    void unloadDropsUnsavedRegistration();
    void exitButtonClosesWindow();
    void hoverHelp();
    void calculator();
    void webLinks();

private:
    Frm1* loadMain();
    template <typename T> T* child(const char* name) {
        T* w = window ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        if (!w)
            qFatal("no control %s", name);
        return w;
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
    delete window;
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

VORN_TEST_MAIN(TestShell)
#include "tst_shell.moc"
