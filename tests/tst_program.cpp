#include "CraftedDatabase.h"
#include "Database.h"
#include "RealProgram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// The real VORN, as a clinic starts it: no test platform, no scripted boxes.
class TestProgram : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void damagedDatabaseIsRefusedOnScreen_data();
    void damagedDatabaseIsRefusedOnScreen();
    void lockThatCannotBeTakenIsSaid();
    void wholeDatabaseOpens();
};

// The program says which file it refuses and why, advises the backup, ends, and the folder is
// as it was: not a byte written, no journal left, nothing made where a link points.
void TestProgram::damagedDatabaseIsRefusedOnScreen_data() {
    QTest::addColumn<QString>("kind");
    for (const char* kind :
         {"damaged page", "truncated", "trigger", "ide a view", "fifo", "dangling link", "wal"})
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
    QVERIFY(vorn.waitFor("shown", "Frm1", 0).isEmpty()); // the main window never came up
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

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
