#include "Database.h"
#include "HttpTestServer.h"
#include "RealProgram.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(HttpTestServer::Reply)

// An update as a clinic meets it: the real VORN 2.11 in its program folder with the clinic's
// database, a web site on 127.0.0.1 that publishes 2.12 and its real installer, the update
// button, the updater, the installer; afterwards the new program in the same folder and the
// database byte for byte as it was.
namespace {

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray digest(const QString& path) {
    return QCryptographicHash::hash(read(path), QCryptographicHash::Sha256).toHex();
}

// A 2.11 program folder as the installer of 2.11 leaves it, with three subjects.
bool makeProgramFolder(const QString& folder) {
    const QString built = QFileInfo(QStringLiteral(VORN_EXE)).absolutePath();
    for (const QFileInfo& f : QDir(built).entryInfoList({"VORN", "VORNupdate", "*.skn"}))
        if (!QFile::copy(f.filePath(), QDir(folder).filePath(f.fileName())))
            return false;
    const QString database = Database::filePath(folder);
    if (!Database::createFile(database).isEmpty())
        return false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "clinic");
        db.setDatabaseName(database);
        if (!db.open())
            return false;
        QSqlQuery q(db);
        for (int code = 1; code <= 3; ++code) {
            q.exec(
                QStringLiteral("INSERT INTO ide (Code, FName) VALUES ('%1', 'name %1')").arg(code));
            q.exec(QStringLiteral("INSERT INTO Answer (Code, \"1\") VALUES ('%1', '4')").arg(code));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("clinic");
    return true;
}

bool waitForFile(const QString& path, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(path) && clock.elapsed() < ms)
        QTest::qWait(100);
    return QFileInfo::exists(path);
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void update_data();
    void update();

private:
    QByteArray installer_;
};

void TestInstall::initTestCase() {
    installer_ = read(QStringLiteral(NEW_INSTALLER));
    QVERIFY2(!installer_.isEmpty(), "no installer of 2.12: ./vorn package 2.12 builds it");
}

void TestInstall::update_data() {
    QTest::addColumn<QString>("site");
    QTest::newRow("installer served directly") << "direct";
    QTest::newRow("installer behind a redirect") << "redirect";
    QTest::newRow("truncated installer") << "truncated";
}

void TestInstall::update() {
    QFETCH(QString, site);
    QTemporaryDir folder, home;
    // Whatever the row leaves running from the folder (an updater waiting on a box) goes too.
    struct Leftovers {
        QString folder;
        ~Leftovers() { QProcess::execute("pkill", {"-f", folder + "/VORN"}); }
    } leftovers{folder.path()};
    QVERIFY(makeProgramFolder(folder.path()));
    const QString database = Database::filePath(folder.path());
    const QByteArray before = digest(database);
    const QByteArray oldProgram = digest(QDir(folder.path()).filePath("VORN"));

    HttpTestServer server;
    HttpTestServer::Reply version;
    version.body = "2.12\r\n";
    server.route("/Soft/VORN/LastVersion.txt", version);
    HttpTestServer::Reply setup;
    setup.body = site == "truncated" ? installer_.left(installer_.size() * 2 / 3) : installer_;
    if (site == "redirect") {
        HttpTestServer::Reply moved;
        moved.status = 302;
        moved.reason = "Found";
        moved.headers = {{"Location", "/downloads/setup-VORN-2.12.exe"}};
        server.route("/Soft/VORN/setup-VORN.exe", moved);
        server.route("/downloads/setup-VORN-2.12.exe", setup);
    } else {
        server.route("/Soft/VORN/setup-VORN.exe", setup);
    }

    RealProgram vorn(QDir(folder.path()).filePath("VORN"));
    vorn.environment.insert("VORN_SITE_URL", server.url(""));
    vorn.environment.insert("HOME", home.path());
    vorn.environment.remove("XDG_DATA_HOME");
    vorn.environment.insert("VORN_EYES_ACCEPT", "1");
    vorn.start();
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty());
    vorn.send("press Frm1 Cmdupdate");
    QVERIFY(!vorn.waitFor("shown", "FrmUpdate").isEmpty());
    vorn.send("press FrmUpdate Command1");
    if (!vorn.waitForExit(30000)) {
        for (const QStringList& line : vorn.lines)
            qWarning("%s", qPrintable(line.join(" | ")));

        QFAIL("VORN did not end after starting the updater");
    }
    QVERIFY(!vorn.waitFor("shown", "Progress").isEmpty()); // the updater's window
    vorn.send("press Progress cmdUpdate", "VORNupdate");

    const QString log = QDir(folder.path()).filePath("install.log");
    if (site == "truncated") {
        const QStringList box = vorn.waitFor("box", "Error");
        QVERIFY2(!box.isEmpty(), "the user was not told");
        QCOMPARE(box.value(0), QStringLiteral("VORNupdate"));
        QVERIFY(box.value(3).contains(QString::fromUtf8("سالم نیست")));
        QTest::qWait(1000);
        QVERIFY(!QFileInfo::exists(log));
        QCOMPARE(digest(QDir(folder.path()).filePath("VORN")), oldProgram);
        QVERIFY(!QFileInfo::exists(QDir(folder.path()).filePath("setup-VORN.exe")));
        vorn.send("press Progress Command1", "VORNupdate");
    } else {
        QVERIFY(!vorn.waitFor("box", "Success").isEmpty());
        QVERIFY2(waitForFile(log, 60000), "the installer did not run");
        QVERIFY(read(log).contains("VORN 2.12 was installed in " + folder.path().toUtf8()));
        QVERIFY(digest(QDir(folder.path()).filePath("VORN")) != oldProgram);
        QVERIFY(QFileInfo::exists(home.filePath(".local/share/applications/vorn.desktop")));
        QVERIFY(read(home.filePath(".local/share/applications/vorn.desktop"))
                    .contains("Exec=\"" + folder.path().toUtf8() + "/VORN\""));
        QVERIFY(!QFileInfo::exists(home.filePath("VORN"))); // not put anywhere else

        RealProgram updated(QDir(folder.path()).filePath("VORN"));
        updated.environment.insert("VORN_SITE_URL", server.url(""));
        updated.start();
        if (updated.waitFor("shown", "Frm1").isEmpty()) {
            for (const QStringList& line : updated.lines)
                qWarning("%s", qPrintable(line.join(" | ")));
            QFAIL("the new VORN did not show its main window");
        }
        updated.send("text Frm1 SkinLabel7");
        QCOMPARE(updated.waitFor("text", "SkinLabel7").value(4), QStringLiteral("VORN 2.12"));
    }
    QCOMPARE(digest(database), before);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
