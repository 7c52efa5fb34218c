// The earlier program's databases brought into VORN: every cell of the fixtures, the refusals,
// a helper that crashes or hangs, and the real program at start-up.
#include "data/Database.h"
#include "legacy/Legacy.h"
#include "tests/support/RealProgram.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kFixtures = QStringLiteral(LEGACY_FIXTURES);

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// RFC 4180 as the expected files write it: quotes only where needed, CRLF after every record.
QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                cell += text[++i];
            else if (c == '"')
                quoted = false;
            else
                cell += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << cell;
            cell.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row << cell;
            rows << row;
            row.clear();
            cell.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    return rows;
}

// A table of a VORN database file, header first, in stored order, NULL as an empty text.
QList<QStringList> tableOf(const QString& path, const QString& table, const QStringList& fields) {
    QList<QStringList> rows{fields};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "read");
        db.setDatabaseName(path);
        db.open();
        QStringList quoted;
        for (const QString& f : fields)
            quoted << '"' + f + '"';
        QSqlQuery q(db);
        q.exec(QString("SELECT %1 FROM \"%2\" ORDER BY rowid").arg(quoted.join(','), table));
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < fields.size(); ++i)
                row << q.value(i).toString();
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase("read");
    return rows;
}

} // namespace

class TestLegacy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyCellComesOver_data();
    void everyCellComesOver();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void realProgramBringsInTheEarlierDatabase_data();
    void realProgramBringsInTheEarlierDatabase();

private:
    QTemporaryDir work_;
};

void TestLegacy::everyCellComesOver_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("said");
    QTest::newRow("the clinic's database") << "clinic.mdb" << QString::fromUtf8("60 آزمودنی");
    QTest::newRow("its backup") << "clinic.mdbB" << QString::fromUtf8("نمره‌های 27");
    QTest::newRow("no subjects yet") << "empty.mdb" << QString::fromUtf8("0 آزمودنی");
    QTest::newRow("the later format") << "access2007.accdb" << QString::fromUtf8("60 آزمودنی");
    QTest::newRow("another table beside") << "extra-table.mdb"
                                          << "Notes";
    QTest::newRow("two settings rows") << "two-theme-rows.mdb" << QString::fromUtf8("ردیف نخست");
    QTest::newRow("a code twice")
        << "duplicate-codes.mdb"
        << QString::fromUtf8("شدند؛ آن‌ها را از هم جدا کنید: 9");
}

void TestLegacy::everyCellComesOver() {
    QFETCH(QString, file);
    QFETCH(QString, said);
    const QString source = QDir(kFixtures).filePath(file);
    QVERIFY(Legacy::isEarlierFormat(source));
    const QByteArray before = read(source);
    const QString target = work_.filePath(file + ".vorn");
    const Legacy::Conversion result = Legacy::convert(source, target);
    QVERIFY2(result.problem.isEmpty(), qPrintable(result.problem));
    QVERIFY2(result.summary.contains(said), qPrintable(result.summary));
    QCOMPARE(read(source), before);
    for (const char* table : {"ide", "Answer", "QUS", "Theme"}) {
        QList<QStringList> expected = parseCsv(QString::fromUtf8(
            read(QDir(kFixtures).filePath(QString("expected/%1/%2.csv").arg(file, table)))));
        QVERIFY(!expected.isEmpty());
        if (file == "two-theme-rows.mdb" && QLatin1String(table) == "Theme")
            expected = expected.mid(0, 2); // the header and the first row, as the program read
        QCOMPARE(tableOf(target, table, expected.front()), expected);
    }
}

// A file that is not the earlier program's, or that is damaged, and a helper that crashes or
// hangs: the reason is said, and no converted file is left.
void TestLegacy::refusalsChangeNothing_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("helper");
    QTest::addColumn<QString>("said");
    QTest::newRow("another program's tables") << "foreign.mdb"
                                              << "" << QString::fromUtf8("برنامهٔ دیگری");
    QTest::newRow("a column missing") << "wrong-columns.mdb"
                                      << "" << QString::fromUtf8("ستون Taahod");
    QTest::newRow("cut in half") << "truncated.mdb"
                                 << "" << QString::fromUtf8("آسیب دیده");
    QTest::newRow("a text file") << "text"
                                 << "" << QString::fromUtf8("خوانا نیست");
    QTest::newRow("a helper that crashes") << "clinic.mdb"
                                           << "kill -ABRT $$" << QString::fromUtf8("از کار افتاد");
    QTest::newRow("a helper that hangs") << "clinic.mdb"
                                         << "exec sleep 60" << QString::fromUtf8("به پایان نرسید");
}

void TestLegacy::refusalsChangeNothing() {
    QFETCH(QString, file);
    QFETCH(QString, helper);
    QFETCH(QString, said);
    QString source = QDir(kFixtures).filePath(file);
    if (file == "text") {
        source = work_.filePath("notes.mdb");
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("not a database\n") > 0);
    }
    Legacy::Helper fake;
    if (!helper.isEmpty()) {
        fake.program = work_.filePath("helper.sh");
        QFile script(fake.program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n" + helper.toUtf8() + "\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        fake.seconds = 2;
    }
    const QString target = work_.filePath("converted.mdb");
    const Legacy::Conversion result = Legacy::convert(source, target, fake);
    QVERIFY2(result.problem.contains(said) &&
                 result.problem.contains(QDir::toNativeSeparators(source)),
             qPrintable(result.problem));
    QVERIFY(!QFile::exists(target));
}

// The real program on a folder holding the earlier program's database: asked, it converts and
// keeps the original beside it byte for byte; told No, it ends with the folder as it was; a
// damaged file is named and nothing changes.
void TestLegacy::realProgramBringsInTheEarlierDatabase_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("answer");
    QTest::newRow("yes") << "clinic.mdb"
                         << "yes";
    QTest::newRow("no") << "clinic.mdb"
                        << "no";
    QTest::newRow("yes to a damaged file") << "truncated.mdb"
                                           << "yes";
}

void TestLegacy::realProgramBringsInTheEarlierDatabase() {
    QFETCH(QString, file);
    QFETCH(QString, answer);
    QTemporaryDir folder;
    const QString database = Database::filePath(folder.path());
    QVERIFY(QDir().mkpath(QFileInfo(database).absolutePath()));
    QVERIFY(QFile::copy(QDir(kFixtures).filePath(file), database));
    const QByteArray original = read(database);
    auto listing = [&] {
        return QDir(QFileInfo(database).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    };
    const QStringList before = listing();

    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder.path());
    vorn.start();
    QVERIFY(!vorn.waitFor("box", QString::fromUtf8("برنامهٔ پیشین است")).isEmpty());
    vorn.send("reply " + answer);
    if (answer == "no" || file == "truncated.mdb") {
        if (file == "truncated.mdb") {
            QVERIFY(!vorn.waitFor("box", QString::fromUtf8("آسیب دیده")).isEmpty());
            vorn.send("reply ok");
        }
        QVERIFY(vorn.waitForExit());
        QCOMPARE(listing(), before);
        QCOMPARE(read(database), original);
        return;
    }
    const QStringList summary = vorn.waitFor("box", QString::fromUtf8("60 آزمودنی"));
    QVERIFY(!summary.isEmpty());
    vorn.send("reply ok");
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty());
    const QStringList kept =
        QDir(QFileInfo(database).absolutePath()).entryList({"DBVORN-earlier-*.mdb"});
    QCOMPARE(kept.size(), 1);
    QVERIFY(summary.join(' ').contains(kept[0]));
    QCOMPARE(read(QDir(QFileInfo(database).absolutePath()).filePath(kept[0])), original);
    QCOMPARE(Database::checkFile(database), QString());
    // The records window shows the 60 subjects in the order the earlier program stored them.
    QStringList stored;
    for (const QStringList& row : tableOf(database, "ide", {"Code"}).mid(1))
        stored << row[0];
    QCOMPARE(stored.size(), 60);
    QCOMPARE(stored.first(), QStringLiteral("19"));
    vorn.send("press Frm1 Command4");
    QVERIFY(!vorn.waitFor("shown", "FrmCode").isEmpty());
    QStringList rows;
    for (int turn = 0; turn < 20 && rows.size() < 60; ++turn) {
        if (turn > 0) {
            vorn.send("scroll FrmCode DataGrid1");
            QVERIFY(!vorn.waitFor("scrolled", "DataGrid1").isEmpty());
        }
        vorn.send("text FrmCode DataGrid1");
        rows = vorn.waitFor("text", "DataGrid1")
                   .value(4)
                   .section(' ', 1)
                   .split(',', Qt::SkipEmptyParts);
    }
    QCOMPARE(rows, stored);
    vorn.send("close FrmCode");
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty());
    // A subject the earlier program left unscored is scored, and its sheet printed.
    auto scoresOf30 = [&] {
        QList<QStringList> all =
            tableOf(database, "ide", {"Code", "KHalaghiyat", "Balidagi", "Taahod"});
        for (const QStringList& row : all)
            if (row[0] == "30")
                return row.mid(1).join('/');
        return QString();
    };
    QCOMPARE(scoresOf30(), QStringLiteral("//"));
    vorn.send("press Frm1 Command3");
    QVERIFY(!vorn.waitFor("shown", "FrmkLID").isEmpty());
    vorn.send("press FrmkLID Command1");
    QVERIFY(!vorn.waitFor("shown", "QInputDialog").isEmpty());
    vorn.send("answer 30");
    QTRY_VERIFY_WITH_TIMEOUT(scoresOf30() != "//", 10000);
    vorn.send("press FrmkLID Command6");
    QVERIFY(!vorn.waitFor("shown", "QPrintPreviewDialog").isEmpty());
}

VORN_TEST_MAIN(TestLegacy)
#include "tst_legacy.moc"
