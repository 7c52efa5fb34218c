#include "data/Database.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RealProgram.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
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

// The installer in folder (made a program folder), run as a clinic runs it; its exit code.
// leftover: an unpacking folder that an installer killed part way left, named as one with this
// installer's process number would name it.
int install(const QByteArray& installer, const QString& folder, const QString& base,
            QProcess* running = nullptr, bool leftover = false) {
    static int made = 0; // installers running at once each lie in a file of their own
    QDir().mkpath(QDir(folder).filePath("DBVORN"));
    const QString setup = QDir(folder).filePath(QStringLiteral("setup-VORN-%1.exe").arg(++made));
    QFile::remove(setup);
    QFile f(setup);
    if (!f.open(QIODevice::WriteOnly) || f.write(installer) != installer.size())
        return -1;
    f.close();
    QProcess own;
    QProcess& p = running ? *running : own;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QDir(base).filePath("home"));
    env.insert("XDG_DATA_HOME", QDir(base).filePath("data"));
    env.insert("TMPDIR", QDir(base).filePath("tmp")); // what a killed one leaves goes with base
    QDir().mkpath(QDir(base).filePath("home"));
    QDir().mkpath(QDir(base).filePath("tmp"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(base);
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (leftover) // exec keeps the process number
        p.start("sh", {"-c", "mkdir \"$TMPDIR/selfgz$$\" && exec sh \"$0\"", setup});
    else
        p.start("sh", {setup});
    if (running)
        return 0;
    const bool ended = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    if (!ended || p.exitCode() != 0) // what the installer said, for whoever reads the failure
        qWarning("installer in %s: %s", qPrintable(folder), p.readAll().constData());
    return ended ? p.exitCode() : -1;
}

// A desktop-entry value as a launcher reads it: the string escapes, then (for Exec) the one
// quoted argument with its escapes.
QString entryValue(const QString& entry, const QString& key, bool argument) {
    QString raw;
    for (const QString& line : entry.split('\n'))
        if (line.startsWith(key + '='))
            raw = line.mid(key.size() + 1);
    QString value;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            value += raw[i];
            continue;
        }
        const QChar c = raw[++i];
        value += c == 'n'   ? QChar('\n')
                 : c == 't' ? QChar('\t')
                 : c == 'r' ? QChar('\r')
                 : c == 's' ? QChar(' ')
                            : c;
    }
    if (!argument)
        return value;
    if (!value.startsWith('"') || !value.endsWith('"') || value.size() < 2)
        return "<not one quoted argument: " + value + ">";
    QString unquoted;
    for (qsizetype i = 1; i + 1 < value.size(); ++i) {
        if (value[i] == '\\' && i + 2 < value.size())
            unquoted += value[++i];
        else if (value[i] == '%' && value[i + 1] == '%')
            unquoted += value[i++];
        else if (value[i] == '"' || value[i] == '`' || value[i] == '$' || value[i] == '%')
            return "<unescaped " + QString(value[i]) + ">";
        else
            unquoted += value[i];
    }
    return unquoted;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void update_data();
    void update();
    void installerTakesAnyFolderName_data();
    void installerTakesAnyFolderName();
    void installersAtOnceOrKilledLeaveOneVersion();

private:
    QByteArray installer_;
};

void TestInstall::initTestCase() {
    installer_ = read(QStringLiteral(NEW_INSTALLER));
    QVERIFY2(!installer_.isEmpty(), "no installer of 2.12: ./vorn package 2.12 builds it");
}

// The installer and its signature as ./vorn package made them; the refused rows say what the
// user reads (a served script in place of the installer would run anything it likes).
void TestInstall::update_data() {
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("said");
    QTest::newRow("installer served directly") << "direct" << QString();
    QTest::newRow("installer behind a redirect") << "redirect" << QString();
    QTest::newRow("truncated installer") << "truncated" << QString::fromUtf8("سالم نیست");
    QTest::newRow("no signature") << "unsigned" << QString::fromUtf8("امضای سازنده برای آن");
    QTest::newRow("a signature changed") << "forged" << QString::fromUtf8("نمی‌خواند");
    QTest::newRow("a script in place of the installer")
        << "script" << QString::fromUtf8("نمی‌خواند");
}

void TestInstall::update() {
    QFETCH(QString, site);
    QFETCH(QString, said);
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
    HttpTestServer::Reply setup, signature;
    setup.body = site == "truncated" ? installer_.left(installer_.size() * 2 / 3) : installer_;
    if (site == "script")
        setup.body = "#!/bin/sh\ntouch \"$(dirname \"$0\")/SCRIPT-RAN\"\n";
    signature.body = read(QStringLiteral(NEW_INSTALLER) + ".sig");
    QCOMPARE(signature.body.size(), 64);
    if (site == "forged")
        signature.body[10] = char(signature.body[10] ^ 1);
    if (site != "unsigned")
        server.route("/Soft/VORN/setup-VORN.exe.sig", signature);
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
    if (!said.isEmpty()) {
        const QStringList box = vorn.waitFor("box", "Error");
        QVERIFY2(!box.isEmpty(), "the user was not told");
        QCOMPARE(box.value(0), QStringLiteral("VORNupdate"));
        QVERIFY2(box.value(3).contains(said), qPrintable(box.value(3)));
        QTest::qWait(1000);
        QVERIFY(!QFileInfo::exists(log));
        QVERIFY(!QFileInfo::exists(QDir(folder.path()).filePath("SCRIPT-RAN")));
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

// A folder's name is data: a name that is a sed command runs nothing, "|" or a line break does
// not stop the install half done, "&", "\", "\"", "%", "$" and "`" give a menu entry that
// starts the program in that folder.
void TestInstall::installerTakesAnyFolderName_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("a sed command") << "x;cd;touch SED-PWNED;#|e;s|y|z";
    QTest::newRow("a bar and a line break") << "clinic|b\nc";
    QTest::newRow("the characters an entry escapes") << "a&b\\c\"d%e$f`g h";
}

void TestInstall::installerTakesAnyFolderName() {
    QFETCH(QString, name);
    QTemporaryDir base;
    const QString folder = QDir(base.path()).filePath(name);
    QCOMPARE(install(installer_, folder, base.path()), 0);
    QVERIFY(QFileInfo(QDir(folder).filePath("VORN")).isExecutable());
    QDirIterator all(base.path(), QDir::AllEntries | QDir::Hidden | QDir::System,
                     QDirIterator::Subdirectories);
    while (all.hasNext())
        QVERIFY2(QFileInfo(all.next()).fileName() != "SED-PWNED", qPrintable(all.filePath()));
    const QString entry =
        QString::fromUtf8(read(QDir(base.path()).filePath("data/applications/vorn.desktop")));
    QCOMPARE(entryValue(entry, "Exec", true), QDir(folder).filePath("VORN"));
    QCOMPARE(entryValue(entry, "Path", false), folder);
    QCOMPARE(entryValue(entry, "Icon", false), QDir(folder).filePath("vorn.svg"));
}

// Two installers at once into one folder, or one killed and run again: the folder holds the
// two programs of one version, nothing of the installers' own is left, and a link planted at a
// temporary name of earlier installers is not written through.
void TestInstall::installersAtOnceOrKilledLeaveOneVersion() {
    QByteArray older = read(QDir::cleanPath(
        QFileInfo(QStringLiteral(NEW_INSTALLER)).absolutePath() + "/../build/setup-VORN.exe"));
    if (older.isEmpty())
        older = installer_; // the 2.11 installer is built by ./vorn test only
    QList<QByteArray> versions;
    for (const QByteArray& installer : {older, installer_}) {
        QTemporaryDir base;
        const QString folder = QDir(base.path()).filePath("VORN");
        QCOMPARE(install(installer, folder, base.path()), 0);
        versions << digest(QDir(folder).filePath("VORN")) +
                        digest(QDir(folder).filePath("VORNupdate"));
    }
    QTemporaryDir base;
    const QString folder = QDir(base.path()).filePath("VORN");
    QDir().mkpath(folder);
    const QString outside = QDir(base.path()).filePath("letter");
    QFile letter(outside);
    QVERIFY(letter.open(QIODevice::WriteOnly) && letter.write("the clinic's letter") > 0);
    letter.close();
    QVERIFY(QFile::link(outside, QDir(folder).filePath(".VORN.new")));
    for (int round = 0; round < 8; ++round) {
        QProcess first;
        install(round % 2 ? installer_ : older, folder, base.path(), &first);
        if (round % 4 == 3) { // killed part way, then run again
            QTest::qWait(round * 40);
            first.kill();
            first.waitForFinished(10000);
            QCOMPARE(install(installer_, folder, base.path(), nullptr, true), 0);
        } else {
            QProcess other;
            install(round % 2 ? older : installer_, folder, base.path(), &other);
            QVERIFY(first.waitForFinished(120000) && other.waitForFinished(120000));
            for (QProcess* p : {&first, &other})
                if (p->exitCode() != 0)
                    qWarning("installer at once: %s", p->readAll().constData());
            QCOMPARE(first.exitCode(), 0);
            QCOMPARE(other.exitCode(), 0);
        }
        QVERIFY(versions.contains(digest(QDir(folder).filePath("VORN")) +
                                  digest(QDir(folder).filePath("VORNupdate"))));
        QVERIFY(QDir(folder).entryList({".VORN-install.*"}, QDir::Hidden | QDir::Files).isEmpty());
        QCOMPARE(read(outside), QByteArray("the clinic's letter"));
    }
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
