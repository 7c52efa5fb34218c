#include "data/Database.h"
#include "tests/support/CraftedDatabase.h"
#include "tests/support/RealProgram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The real program on the folder (its home too), the records window's export chosen to path in
// the file dialog.
void exportFromRecords(RealProgram& vorn, const QString& folder, const QString& path) {
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder);
    vorn.environment.insert("HOME", folder);
    vorn.start();
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty());
    vorn.send("press Frm1 Command4");
    QVERIFY(!vorn.waitFor("shown", "FrmCode").isEmpty());
    vorn.send("press FrmCode CmdExport");
    QVERIFY(!vorn.waitFor([](const QStringList& l) {
                     return l.value(1) == "shown" && l.value(2).contains("FileDialog");
                 })
                 .isEmpty());
    vorn.send("choose " + path);
}

} // namespace

// The real VORN, as a clinic starts it: no test platform, no scripted boxes.
class TestProgram : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void damagedDatabaseIsRefusedOnScreen_data();
    void damagedDatabaseIsRefusedOnScreen();
    void lockThatCannotBeTakenIsSaid();
    void wholeDatabaseOpens();
    void exportReadByPspp();
    void recordsOfManySubjects();
    void exitDuringAnExportWaitsForIt();
};

// The program says which file it refuses and why, advises the backup, ends, and the folder is
// as it was: not a byte written, no journal left, nothing made where a link points.
void TestProgram::damagedDatabaseIsRefusedOnScreen_data() {
    QTest::addColumn<QString>("kind");
    for (const char* kind :
         {"damaged page", "damaged late page", "truncated", "trigger", "ide a view", "fifo",
          "dangling link", "wal", "damaged after a clean close"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestProgram::damagedDatabaseIsRefusedOnScreen() {
    QFETCH(QString, kind);
    QTemporaryDir folder;
    const QString database = Database::filePath(folder.path());
    QVERIFY(Crafted::make(database, kind));
    const QByteArray before = Crafted::folderState(QFileInfo(database).absolutePath());

    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder.path());
    vorn.environment.insert("VORN_EYES_ACCEPT", "1");
    vorn.start();
    const QStringList box = vorn.waitFor("box", QDir::toNativeSeparators(database));
    QVERIFY2(!box.isEmpty(), "no message named the file");
    QCOMPARE(box.value(2), QStringLiteral("VORN"));
    QVERIFY(box.value(3).contains(QString::fromUtf8("پایگاه داده باز نشد")));
    QVERIFY(box.value(3).contains(QString::fromUtf8("نسخهٔ پشتیبان")));
    QVERIFY(vorn.waitForExit());
    QCOMPARE(vorn.exitCode(), 1);
    // The main window never came up, or (damage that only the check of every page finds, which
    // runs once the window is up) it came up and nothing was written meanwhile.
    if (kind != "damaged late page" && kind != "damaged after a clean close")
        QVERIFY(vorn.waitFor("shown", "Frm1", 0).isEmpty());
    QCOMPARE(Crafted::folderState(QFileInfo(database).absolutePath()), before);
    QVERIFY(!QFileInfo::exists(database + ".gone"));
}

void TestProgram::lockThatCannotBeTakenIsSaid() {
    QTemporaryDir folder;
    QFile notAFolder(folder.filePath("tmp-is-a-file"));
    QVERIFY(notAFolder.open(QIODevice::WriteOnly));
    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder.path());
    vorn.environment.insert("VORN_EYES_ACCEPT", "1");
    vorn.environment.insert("TMPDIR", notAFolder.fileName());
    vorn.start();
    const QStringList box = vorn.waitFor("box", "tmp-is-a-file");
    QVERIFY2(!box.isEmpty(), "no message about the lock");
    QVERIFY(!box.value(3).contains(QString::fromUtf8("برنامه در حال اجراست")));
    QVERIFY(vorn.waitForExit());
    QVERIFY(!QFileInfo::exists(Database::filePath(folder.path()))); // nothing was created
}

// The counterpart: a whole database (made by the program itself) opens to the main window.
void TestProgram::wholeDatabaseOpens() {
    QTemporaryDir folder;
    QVERIFY(Database::createFile(Database::filePath(folder.path())).isEmpty());
    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder.path());
    vorn.start();
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty());
    vorn.send("text Frm1 SkinLabel7");
    QCOMPARE(vorn.waitFor("text", "SkinLabel7").value(4), QStringLiteral("VORN 2.11"));
}

// The records window's export, chosen in the real file dialog, read back by PSPP.
void TestProgram::exportReadByPspp() {
    QTemporaryDir folder;
    const QString database = Database::filePath(folder.path());
    QVERIFY(Database::createFile(database).isEmpty());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(database);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QString::fromUtf8(
            "INSERT INTO ide (Code, FName, \"Group\", KHalaghiyat) VALUES ('5', 'مریم', 'C', '3.18')")));
        QVERIFY(q.exec("INSERT INTO Answer (Code, \"1\", \"2\") VALUES ('5', '4', '2')"));
        db.close();
    }
    QSqlDatabase::removeDatabase("fill");
    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_EYES_ACCEPT", "1");
    const QString sav = QDir(folder.path()).filePath("clinic subjects.sav");
    exportFromRecords(vorn, folder.path(), sav);
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(vorn.waitFor("chosen", {}).value(2), sav);
    QVERIFY(!vorn.waitFor("box", QString::fromUtf8("1 آزمودنی")).isEmpty());
    QTRY_VERIFY(QFileInfo::exists(sav));
    QProcess pspp;
    pspp.start("pspp-convert", {sav, QDir(folder.path()).filePath("read.csv")});
    QVERIFY(pspp.waitForFinished(60000) && pspp.exitCode() == 0);
    QFile csv(QDir(folder.path()).filePath("read.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QVERIFY(lines.value(0).startsWith("code,fname,lname,sex,age"));
    QVERIFY2(lines.value(1).startsWith(QString::fromUtf8("5,مریم,").toUtf8()),
             lines.value(1).constData());
    QVERIFY(lines.value(1).contains("3.18"));
}

// Thousands of subjects in the real program: the records grid shows its first rows at once and
// the rest as the user scrolls, each once in stored order; a search finds exactly the subjects
// with that name.
void TestProgram::recordsOfManySubjects() {
    QTemporaryDir folder;
    const QString database = Database::filePath(folder.path());
    QVERIFY(Database::createFile(database).isEmpty());
    QStringList stored, found;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(database);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("BEGIN"));
        q.prepare("INSERT INTO ide (Code, FName, LName, \"Group\") VALUES (?, ?, ?, 'A')");
        for (int i = 0; i < 3000; ++i) {
            const QString code = QString::number((i * 7919) % 3000 + 1); // not in code order
            const bool named = i % 500 == 7;
            q.addBindValue(code);
            q.addBindValue(QStringLiteral("name"));
            q.addBindValue(named ? QString::fromUtf8("بهاری") : QStringLiteral("family %1").arg(i));
            QVERIFY(q.exec());
            stored << code;
            if (named)
                found << code;
        }
        QVERIFY(q.exec("INSERT INTO Answer (Code) SELECT Code FROM ide"));
        QVERIFY(q.exec("COMMIT"));
        db.close();
    }
    QSqlDatabase::removeDatabase("fill");
    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder.path());
    vorn.start();
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty());
    vorn.send("press Frm1 Command4");
    QVERIFY(!vorn.waitFor("shown", "FrmCode").isEmpty());
    auto grid = [&vorn] {
        vorn.send("text FrmCode DataGrid1");
        const QString text = vorn.waitFor("text", "DataGrid1").value(4);
        return text.section(' ', 1).split(',', Qt::SkipEmptyParts);
    };
    QStringList rows = grid();
    QVERIFY2(!rows.isEmpty() && rows.size() < 3000, qPrintable(QString::number(rows.size())));
    QCOMPARE(rows, stored.mid(0, rows.size()));
    for (int turn = 0; turn < 200 && rows.size() < 3000; ++turn) {
        vorn.send("scroll FrmCode DataGrid1");
        QVERIFY(!vorn.waitFor("scrolled", "DataGrid1").isEmpty());
        rows = grid();
    }
    QCOMPARE(rows, stored);
    vorn.send(QString::fromUtf8("type FrmCode DataCombo1 بهاری"));
    QVERIFY(!vorn.waitFor("typed", "DataCombo1").isEmpty());
    QCOMPARE(grid(), found);
}

// A long export in the real program, and meanwhile a screen reader presses the records window's
// exit button and the window is closed: the press is refused, the close waits for the file, the
// program lives on and the file is whole.
void TestProgram::exitDuringAnExportWaitsForIt() {
    QTemporaryDir folder;
    const QString database = Database::filePath(folder.path());
    QVERIFY(Database::createFile(database).isEmpty());
    constexpr int Subjects = 100000;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(database);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                      "FROM n WHERE i < %1) INSERT INTO ide (Code, FName) "
                                      "SELECT i, 'name ' || i FROM n")
                           .arg(Subjects)));
        QVERIFY(q.exec("INSERT INTO Answer (Code) SELECT Code FROM ide"));
        db.close();
    }
    QSqlDatabase::removeDatabase("fill");
    RealProgram vorn(QStringLiteral(VORN_EXE));
    const QString csv = QDir(folder.path()).filePath("all.csv");
    exportFromRecords(vorn, folder.path(), csv);
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(!vorn.waitFor("shown", "ExportProgress").isEmpty());
    vorn.send("act FrmCode Command6");
    QCOMPARE(vorn.waitFor("acted", "Command6").value(4), QStringLiteral("refused"));
    vorn.send("close FrmCode");
    QVERIFY(!vorn.waitFor("box", QString::number(Subjects)).isEmpty()); // "… written"
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty()); // the held close, carried out
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count('\n'), Subjects + 1);
    vorn.send("text Frm1 SkinLabel7"); // still running and answering
    QCOMPARE(vorn.waitFor("text", "SkinLabel7").value(4), QStringLiteral("VORN 2.11"));
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
