#include "core/Val.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "data/DataViewModel.h"
#include "data/Database.h"
#include "data/Module7.h"
#include "data/Registration.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/FieldBinding.h"
#include "tests/support/CraftedDatabase.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/Seed.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableView>
#include <memory>
#include <unistd.h>

namespace {

QByteArray fileHash(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestData : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nextCodeSkipsTakenOnes_data();
    void nextCodeSkipsTakenOnes();
    void registrationSavesOrSaysTheCodeIsTaken();

    void firstRunCreatesDeliveredDatabase();
    void foreignFileIsRefusedUntouched_data();
    void foreignFileIsRefusedUntouched();
    void craftedFileIsRefusedUntouched_data();
    void craftedFileIsRefusedUntouched();
    void fileWithoutIndexesGetsThemAndNothingElse();
    void pageCheckBesideHoldsEveryWrite_data();
    void pageCheckBesideHoldsEveryWrite();

    void pagesAreTrustedOnlyAsTheyWereLeft_data();
    void pagesAreTrustedOnlyAsTheyWereLeft();
    void readOnlyFileIsRefused();

    void init();
    void cleanup();
    void openTakesStoredOrderAndFirstRow();
    void namesIgnoreCase();
    void filterMatchesExactTextOnly();
    void filterWithoutMatchLeavesNoCurrentRow();
    void refreshDropsAddedRowAndShowsOtherCommits();
    void refreshSeesOtherConnections();
    void textsReachTheDatabaseAsTyped_data();
    void textsReachTheDatabaseAsTyped();
    void commitAllIsAllOrNothing();
    void commitWritesOnlyChangedFields();
    void commitWithoutChangeDoesNothing();
    void commitRefusesToOverwrite_data();
    void commitRefusesToOverwrite();
    void deleteOfARowDeletedElsewhere();
    void failedCommitWritesNothing();
    void deleteRemovesRow();
    void sortOrdersVisibleRows();
    void valuesAreStoredAndMatchedVerbatim_data();
    void valuesAreStoredAndMatchedVerbatim();
    void bindingShowsAndEditsCurrentRow();
    void comboBindingTakesOnlyUserChoices();
    void modelFollowsView();
    void viewReadsOnlyWhatIsLookedAt();
    void codeFilteredViewCommitsRefreshesAndConflicts_data();
    void codeFilteredViewCommitsRefreshesAndConflicts();
    void pagedGridShowsEveryRowOnceInStoredOrder();
    void namesThroughTheIndexAreEveryNameOnce();
    void escapedErrorIsShownAndProgramGoesOn();

private:
    std::unique_ptr<TempProgramFolder> folder;
};

void TestData::firstRunCreatesDeliveredDatabase() {
    NOT_ON_SERVER("about the database file");
    TempProgramFolder f;
    const Database::OpenResult first = f.openDatabase();
    QCOMPARE(first.status, Database::OpenResult::Created);
    QVERIFY(first.message.contains(QDir::toNativeSeparators(f.databasePath())));
    QVERIFY(QFile::exists(f.databasePath()));
    QVERIFY(!QFile::exists(f.databasePath() + ".new"));

    QCOMPARE(Seed::column("SELECT \"ID\" FROM \"QUS\" ORDER BY rowid").size(), Tables::ItemCount);
    QCOMPARE(Seed::column("SELECT \"ID\" FROM \"QUS\" ORDER BY rowid").first(),
             QStringLiteral("1"));
    QCOMPARE(Seed::column("SELECT \"QU\" FROM \"QUS\" WHERE \"ID\"='33'"),
             QStringList{Tables::itemTexts().back()});
    QCOMPARE(Seed::column("SELECT \"TH\" || '|' || \"Name\" || '|' || \"Adress\" FROM \"Theme\""),
             QStringList{QStringLiteral("1||")});
    QCOMPARE(Seed::column("SELECT count(*) FROM \"ide\""), QStringList{"0"});
    QCOMPARE(Seed::column("PRAGMA journal_mode"), QStringList{"delete"});
    QCOMPARE(Seed::column("SELECT name FROM pragma_table_info('Answer')").size(), 34);

    // The second start finds the file and says nothing.
    const Database::OpenResult second = f.openDatabase();
    QCOMPARE(second.status, Database::OpenResult::Opened);
    QVERIFY(second.message.isEmpty());
}

void TestData::foreignFileIsRefusedUntouched_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("sql");
    QTest::newRow("text file") << QByteArray("clinic notes\n") << QString();
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("other sqlite database") << QByteArray() << "CREATE TABLE notes (x TEXT)";
    QTest::newRow("three tables only")
        << QByteArray()
        << "CREATE TABLE \"ide\" (\"Code\", \"FName\", \"LName\", \"Jens\", \"Sen\", \"Taahol\", \"Tahsil\", \"Group\", \"Date\", "
           "\"Time\", \"KHalaghiyat\", \"Balidagi\", \"Taahod\"); CREATE TABLE \"QUS\" (\"ID\", \"QU\"); "
           "CREATE TABLE \"Theme\" (\"TH\", \"Name\", \"Adress\")";
    QTest::newRow("a field missing")
        << QByteArray()
        << "CREATE TABLE \"ide\" (\"Code\"); CREATE TABLE \"QUS\" (\"ID\", \"QU\"); CREATE TABLE \"Theme\" (\"TH\", \"Name\", "
           "\"Adress\"); CREATE TABLE \"Answer\" (\"Code\")";
}

void TestData::foreignFileIsRefusedUntouched() {
    NOT_ON_SERVER("about the database file");
    QFETCH(QByteArray, content);
    QFETCH(QString, sql);
    TempProgramFolder f;
    QDir().mkpath(QFileInfo(f.databasePath()).absolutePath());
    if (sql.isEmpty()) {
        QFile file(f.databasePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    } else {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "foreign");
        db.setDatabaseName(f.databasePath());
        QVERIFY(db.open());
        for (const QString& statement : sql.split(';'))
            QVERIFY(QSqlQuery(db).exec(statement));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("foreign");
    }
    const QByteArray before = fileHash(f.databasePath());

    const Database::OpenResult result = f.openDatabase();
    QCOMPARE(result.status, Database::OpenResult::Refused);
    QVERIFY(result.message.contains(QDir::toNativeSeparators(f.databasePath())));
    QVERIFY(!Database::isOpen());
    QCOMPARE(fileHash(f.databasePath()), before);
}

// Everything that is not exactly a whole VORN database is refused at start-up with a message
// that names the file, and the folder is left as it was: no write, no journal, no file made
// where a link points. A FIFO is refused without being opened (it would block for ever).
void TestData::craftedFileIsRefusedUntouched_data() {
    QTest::addColumn<QString>("kind");
    for (const QString& kind : Crafted::kinds())
        QTest::newRow(qPrintable(kind)) << kind;
}

void TestData::craftedFileIsRefusedUntouched() {
    NOT_ON_SERVER("about the database file");
    QFETCH(QString, kind);
    TempProgramFolder f;
    QVERIFY(Crafted::make(f.databasePath(), kind));
    const QString folder = QFileInfo(f.databasePath()).absolutePath();
    const QByteArray before = Crafted::folderState(folder);
    const Database::OpenResult result = f.openDatabase();
    QCOMPARE(result.status, Database::OpenResult::Refused);
    QVERIFY2(result.message.contains(QDir::toNativeSeparators(f.databasePath())),
             qPrintable(result.message));
    QVERIFY(!Database::isOpen());
    QCOMPARE(Crafted::folderState(folder), before);
    QVERIFY(!QFileInfo::exists(f.databasePath() + ".gone"));
    // The restore check refuses the same file.
    QVERIFY(!Database::checkFile(f.databasePath()).isEmpty());
}

// A file made before the program kept its indexes opens as it was and gets them; not one row
// or field changes.
void TestData::fileWithoutIndexesGetsThemAndNothingElse() {
    NOT_ON_SERVER("about the database file");
    TempProgramFolder f;
    QCOMPARE(f.openDatabase().status, Database::OpenResult::Created);
    QSqlQuery q(Database::connection());
    // An older file: no indexes, or only the ones on Code.
    for (const QString& name : Seed::column("SELECT name FROM sqlite_master WHERE type='index'"))
        QVERIFY(q.exec("DROP INDEX " + name));
    for (const char* sql : {"INSERT INTO \"ide\" (\"Code\", \"FName\") VALUES ('7', 'O''Neil')",
                            "INSERT INTO \"Answer\" (\"Code\", \"5\") VALUES ('7', '2')"})
        QVERIFY(q.exec(QString::fromLatin1(sql)));
    auto dump = [] {
        QStringList rows;
        for (const Tables::Table& t : Tables::all()) {
            QSqlQuery r(Database::connection());
            r.exec(QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(t.name));
            while (r.next()) {
                QStringList fields;
                for (int i = 0; i <= t.fields.size(); ++i)
                    fields << r.value(i).toString();
                rows << t.name + ':' + fields.join('|');
            }
        }
        return rows;
    };
    auto indexes = [] {
        return Seed::column("SELECT name FROM sqlite_master WHERE type='index' ORDER BY name");
    };
    const QStringList rows = dump();
    QCOMPARE(indexes(), QStringList());
    Database::close();
    QCOMPARE(f.openDatabase().status, Database::OpenResult::Opened);
    const QStringList all{"vorn_answer_code", "vorn_ide_code", "vorn_ide_fname", "vorn_ide_group",
                          "vorn_ide_lname"};
    QCOMPARE(indexes(), all);
    QCOMPARE(dump(), rows);
    for (const char* field : {"Code", "LName", "FName", "\"Group\""}) {
        QSqlQuery plan(Database::connection());
        QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN SELECT * FROM \"ide\" WHERE %1='7'")
                              .arg(field)) &&
                plan.next());
        QVERIFY2(plan.value(3).toString().contains("INDEX"), qPrintable(plan.value(3).toString()));
    }
}

// The check of every page runs beside the program; whatever is written waits for it, and a file
// it finds damaged gets nothing written, with the refusal instead.
void TestData::pageCheckBesideHoldsEveryWrite_data() {
    QTest::addColumn<QString>("kind"); // empty: a whole file
    QTest::newRow("whole") << QString();
    QTest::newRow("damaged late page") << "damaged late page";
}

void TestData::pageCheckBesideHoldsEveryWrite() {
    NOT_ON_SERVER("about the database file");
    QFETCH(QString, kind);
    TempProgramFolder f;
    if (kind.isEmpty()) {
        QCOMPARE(f.openDatabase().status, Database::OpenResult::Created);
        Database::close();
        QVERIFY(QFile::remove(f.databasePath() + ".checked")); // as after a session killed
    } else {
        QVERIFY(Crafted::make(f.databasePath(), kind));
    }
    const QString folder = QFileInfo(f.databasePath()).absolutePath();
    const QByteArray before = Crafted::folderState(folder);
    QCOMPARE(Database::open(f.path(), Database::PageCheck::Beside).status,
             Database::OpenResult::Opened);
    DataView theme;
    theme.open("Theme");
    QVERIFY(theme.hasCurrent()); // reading goes on meanwhile
    QString told = "not yet";
    QObject context;
    Database::whenPagesChecked(&context, [&](const QString& refusal) { told = refusal; });
    theme.setField("Name", "clinic");
    if (kind.isEmpty()) {
        theme.commit(); // waits for the check, then writes
        QTRY_COMPARE(told, QString());
        QCOMPARE(Seed::column("SELECT \"Name\" FROM \"Theme\""), QStringList{"clinic"});
        return;
    }
    try {
        theme.commit();
        QFAIL("written to a damaged file");
    } catch (const DataError& e) {
        QVERIFY2(e.message().contains(QDir::toNativeSeparators(f.databasePath())),
                 qPrintable(e.message()));
    }
    QVERIFY_THROWS_EXCEPTION(DataError, theme.deleteCurrent());
    QTRY_VERIFY(told.contains(QDir::toNativeSeparators(f.databasePath())));
    Database::close();
    QCOMPARE(Crafted::folderState(folder), before);
}

// The check of every page is skipped at a start only for the file as a clean close left it after
// a whole check within the week.
void TestData::pagesAreTrustedOnlyAsTheyWereLeft_data() {
    QTest::addColumn<QString>("since");
    QTest::addColumn<bool>("trusted");
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("killed in the middle of work") << "no record" << false;
    QTest::newRow("written by another program") << "touched" << false;
    QTest::newRow("replaced by a copy") << "copied" << false;
    QTest::newRow("a journal left") << "journal" << false;
    QTest::newRow("checked eight days ago") << "old" << false;
}

void TestData::pagesAreTrustedOnlyAsTheyWereLeft() {
    NOT_ON_SERVER("about the database file");
    QFETCH(QString, since);
    QFETCH(bool, trusted);
    TempProgramFolder f;
    QCOMPARE(f.openDatabase().status, Database::OpenResult::Created);
    Database::close();
    const QString db = f.databasePath(), record = db + ".checked";
    QVERIFY(QFile::exists(record));
    if (since == "no record") {
        QFile::remove(record);
    } else if (since == "touched") {
        QFile file(db);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(file.fileTime(QFileDevice::FileModificationTime).addSecs(1),
                                 QFileDevice::FileModificationTime));
    } else if (since == "copied") {
        QVERIFY(QFile::copy(db, db + ".copy") && QFile::remove(db) &&
                QFile::rename(db + ".copy", db));
    } else if (since == "journal") {
        QFile journal(db + "-journal");
        QVERIFY(journal.open(QIODevice::WriteOnly));
    } else if (since == "old") {
        QFile file(record);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromLatin1(file.readAll()).split('\n');
        file.close();
        lines[1] = QString::number(QDateTime::currentSecsSinceEpoch() - 8 * 24 * 3600);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lines.join('\n').toLatin1());
    }
    const Database::OpenResult opened = Database::open(f.path(), Database::PageCheck::Beside);
    QCOMPARE(opened.status, Database::OpenResult::Opened);
    QCOMPARE(opened.pagesTrusted, trusted);
    QCOMPARE(Database::pagesRefusal(), QString());
    QFile::remove(db + "-journal");
    Database::close();
    QVERIFY(QFile::exists(record));
    QCOMPARE(Database::open(f.path(), Database::PageCheck::Beside).pagesTrusted, true);
}

void TestData::readOnlyFileIsRefused() {
    NOT_ON_SERVER("about the database file");
    if (geteuid() == 0)
        QSKIP("root writes to any file");
    TempProgramFolder f;
    QCOMPARE(f.openDatabase().status, Database::OpenResult::Created);
    Database::close();
    QFile::setPermissions(f.databasePath(), QFileDevice::ReadOwner);
    const QByteArray before = fileHash(f.databasePath());
    const Database::OpenResult result = f.openDatabase();
    QCOMPARE(result.status, Database::OpenResult::Refused);
    QVERIFY(result.message.contains(QDir::toNativeSeparators(f.databasePath())));
    QCOMPARE(fileHash(f.databasePath()), before);
}

void TestData::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
}

void TestData::cleanup() {
    folder.reset();
}

void TestData::nextCodeSkipsTakenOnes_data() {
    QTest::addColumn<QString>("last");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("next");
    QTest::newRow("free") << "11" << QStringList{} << "12";
    QTest::newRow("two taken") << "11" << QStringList{"13", "12"} << "14";
    QTest::newRow("written otherwise is not taken") << "11" << QStringList{"012", "12.0"} << "12";
    QTest::newRow("nothing yet") << "" << QStringList{} << "1";
    QTest::newRow("a text code") << "A7" << QStringList{} << "1";
    QTest::newRow("a fraction") << "2.5" << QStringList{"3.5"} << "4.5";
    QTest::newRow("past 15 digits, no exponent")
        << "999999999999999" << QStringList{} << "1000000000000000";
}

void TestData::nextCodeSkipsTakenOnes() {
    QFETCH(QString, last);
    QFETCH(QStringList, taken);
    QFETCH(QString, next);
    QCOMPARE(Registration::skipTakenCode(last, taken), next);
}

// A free code saves both rows and is proposed past; a taken one writes nothing, and on a server
// (several desks) it asks for the next code to be offered.
void TestData::registrationSavesOrSaysTheCodeIsTaken() {
    DataView subjects, answers, numbering;
    for (DataView* v : {&subjects, &answers, &numbering})
        v->open(v == &answers ? "Answer" : "ide");
    subjects.addRow();
    subjects.setField("FName", "a");
    QCOMPARE(Registration::save(subjects, answers, numbering, "11"), Registration::Outcome::Saved);
    QCOMPARE(Registration::nextFreeCode(numbering), QStringLiteral("12"));
    subjects.addRow();
    subjects.setField("FName", "b");
    QCOMPARE(Registration::save(subjects, answers, numbering, "11"),
             folder->onServer() ? Registration::Outcome::TakenMeanwhile
                                : Registration::Outcome::Taken);
    DataView stored;
    stored.open("Answer");
    QCOMPARE(stored.rowCount(), 1);
}

void TestData::openTakesStoredOrderAndFirstRow() {
    DataView empty;
    empty.open("ide");
    QCOMPARE(empty.rowCount(), 0);
    QVERIFY(!empty.hasCurrent());
    QCOMPARE(empty.field("Code"), QString());

    Seed::row("ide", {"Code", "LName", "Group"}, {"9", "a", "B"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"10", "b", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"2", "c", "C"});
    DataView view;
    view.open("ide");
    QCOMPARE(view.rowCount(), 3);
    QCOMPARE(view.field("Code"), QStringLiteral("9"));
    view.moveLast();
    QCOMPARE(view.field("Code"), QStringLiteral("2"));
    QVERIFY_THROWS_EXCEPTION(DataError, view.open("NoSuchTable"));
}

void TestData::namesIgnoreCase() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"12", "x", "A"});
    DataView view;
    view.open("IDE");
    QCOMPARE(view.field("code"), QStringLiteral("12"));
    view.setFilter("CODE", "12");
    QCOMPARE(view.rowCount(), 1);
    view.setField("lname", "y");
    view.commit();
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\""), QStringList{"y"});
    QVERIFY_THROWS_EXCEPTION(DataError, view.setField("NoSuchField", "1"));
}

void TestData::filterMatchesExactTextOnly() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "x", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"12", "y", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {" 12", "z", "B"});
    // A file may hold a code twice; the server keeps codes unique.
    const int twelves = suiteOnServer() ? 1 : 2;
    Seed::row("ide", {"Code", "LName", "Group"}, {twelves == 2 ? "12" : "13", "w", "C"});
    DataView view;
    view.open("ide");
    view.setFilter("Code", "12");
    QCOMPARE(view.rowCount(), twelves);
    QCOMPARE(view.field("LName"), QStringLiteral("y"));
    view.moveLast();
    QCOMPARE(view.field("LName"), twelves == 2 ? QStringLiteral("w") : QStringLiteral("y"));

    // A new filter replaces the old one; refresh removes it.
    view.setFilter("Group", "B");
    QCOMPARE(view.rowCount(), 1);
    QCOMPARE(view.field("Code"), QStringLiteral(" 12"));
    view.refresh();
    QCOMPARE(view.rowCount(), 4);
    view.setFilter("Group", "a");
    QCOMPARE(view.rowCount(), 0);
}

void TestData::filterWithoutMatchLeavesNoCurrentRow() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"5", "x", "A"});
    DataView view;
    view.open("ide");
    QLineEdit box;
    FieldBinding binding(&box, &view, "LName");
    QCOMPARE(box.text(), QStringLiteral("x"));
    view.setFilter("Code", "6");
    QCOMPARE(view.rowCount(), 0);
    QVERIFY(!view.hasCurrent());
    QCOMPARE(box.text(), QString());
    QVERIFY_THROWS_EXCEPTION(DataError, view.setField("LName", "y"));
    view.refresh();
    QCOMPARE(view.rowCount(), 1);
    QCOMPARE(box.text(), QStringLiteral("x"));
}

void TestData::refreshDropsAddedRowAndShowsOtherCommits() {
    DataView registering, other;
    registering.open("ide");
    other.open("ide");
    registering.addRow();
    registering.setField("Code", "1");
    QCOMPARE(registering.rowCount(), 1);
    registering.refresh();
    QCOMPARE(registering.rowCount(), 0);
    QCOMPARE(Seed::column("SELECT count(*) FROM \"ide\""), QStringList{"0"});

    other.addRow();
    other.setField("Code", "7");
    other.commit();
    QCOMPARE(registering.rowCount(), 0); // its own snapshot
    registering.refresh();
    QCOMPARE(registering.rowCount(), 1);
    QCOMPARE(registering.field("Code"), QStringLiteral("7"));
    QCOMPARE(Seed::column("SELECT \"Code\" FROM \"ide\""), QStringList{"7"});
    QCOMPARE(Seed::column("SELECT count(*) FROM \"ide\" WHERE \"FName\" IS NULL"),
             QStringList{"1"});
}

void TestData::refreshSeesOtherConnections() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "a", "A"});
    DataView view;
    view.open("ide");
    view.refresh(); // nothing written since: the snapshot stays
    QCOMPARE(view.rowCount(), 1);
    {
        QSqlDatabase other = folder->openAnother("other");
        QVERIFY(other.isOpen());
        QVERIFY(QSqlQuery(other).exec("UPDATE \"ide\" SET \"LName\"='b'"));
        QVERIFY(QSqlQuery(other).exec("INSERT INTO \"ide\" (\"Code\") VALUES ('2')"));
        other.close();
    }
    QSqlDatabase::removeDatabase("other");
    view.refresh();
    QCOMPARE(view.rowCount(), 2);
    QCOMPARE(view.field("LName"), QStringLiteral("b"));

    // A statement of this connection outside any view.
    Seed::row("ide", {"Code", "LName", "Group"}, {"3", "c", "C"});
    view.refresh();
    QCOMPARE(view.rowCount(), 3);

    // A view's own delete that an enclosing transaction takes back.
    {
        Database::Transaction undone;
        view.deleteCurrent();
        QCOMPARE(view.rowCount(), 2);
    }
    view.refresh();
    QCOMPARE(view.rowCount(), 3);

    // A view that wrote to another table needs no new read, and still sees everything.
    DataView answers;
    answers.open("Answer");
    answers.addRow();
    answers.setField("Code", "1");
    answers.commit();
    view.refresh();
    answers.refresh();
    QCOMPARE(answers.rowCount(), 1);
    QCOMPARE(view.rowCount(), 3);
}

// On a server a statement's values travel inside its text: whatever a user types must arrive
// as typed, and be found and changed again, never read as SQL.
void TestData::textsReachTheDatabaseAsTyped_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("apostrophe") << "O'Neil";
    QTest::newRow("backslash") << "a\\b\\";
    QTest::newRow("question marks") << "? '?' \"?\"";
    QTest::newRow("statement") << "x'); DELETE FROM \"ide\"; --";
    QTest::newRow("parameter sign") << "$1 $$ E'\\x00'";
    QTest::newRow("persian") << QString::fromUtf8("نیک‌نام «ي» و «ك»");
}

void TestData::textsReachTheDatabaseAsTyped() {
    QFETCH(QString, text);
    Seed::row("ide", {"Code", "LName"}, {"1", "other"});
    DataView view;
    view.open("ide");
    view.addRow();
    view.setField("Code", "2");
    view.setField("LName", text);
    view.setField("FName", "?");
    view.commit();
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\" ORDER BY \"Code\""),
             (QStringList{"other", text}));
    QVERIFY(view.anyStored("LName", text));
    view.setFilter("LName", text);
    QCOMPARE(view.rowCount(), 1);
    view.setField("LName", text + text); // the stored text is what the change checks against
    view.commit();
    QCOMPARE(Seed::column("SELECT \"LName\" || \"FName\" FROM \"ide\" WHERE \"Code\"='2'"),
             QStringList{text + text + "?"});
}

void TestData::commitAllIsAllOrNothing() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "a", "A"});
    QSqlQuery(Database::connection()).exec("INSERT INTO \"Answer\" (\"Code\") VALUES ('1')");
    DataView subjects, answers, other;
    subjects.open("ide");
    answers.open("Answer");
    QCOMPARE(answers.field("1"), QString()); // what the window shows: the snapshot
    other.open("Answer");
    other.setField("1", "5");
    other.commit();

    subjects.addRow();
    subjects.setField("Code", "2");
    answers.setField("1", "3"); // conflicts with the other view's commit
    QVERIFY_THROWS_EXCEPTION(DataError, DataView::commitAll({&subjects, &answers}));
    QCOMPARE(Seed::column("SELECT \"Code\" FROM \"ide\""), QStringList{"1"});
    QCOMPARE(Seed::column("SELECT \"1\" FROM \"Answer\""), QStringList{"5"});
    QVERIFY(subjects.hasPendingChanges());

    answers.refresh();
    answers.addRow();
    answers.setField("Code", "2");
    DataView::commitAll({&subjects, &answers});
    QCOMPARE(Seed::column("SELECT \"Code\" FROM \"ide\" ORDER BY rowid"), (QStringList{"1", "2"}));
    QCOMPARE(Seed::column("SELECT \"Code\" FROM \"Answer\" ORDER BY rowid"),
             (QStringList{"1", "2"}));
    QVERIFY(!subjects.hasPendingChanges() && !answers.hasPendingChanges());
}

void TestData::commitWritesOnlyChangedFields() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"3", "old", "A"});
    DataView names, scores;
    names.open("ide");
    scores.open("ide");
    names.setField("LName", "new");
    scores.setField("KHalaghiyat", "3.18");
    scores.commit();
    names.commit(); // does not put back the score it never saw
    QCOMPARE(Seed::column("SELECT \"LName\" || '|' || \"KHalaghiyat\" FROM \"ide\""),
             QStringList{"new|3.18"});
}

void TestData::commitWithoutChangeDoesNothing() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"3", "same", "A"});
    DataView view, other;
    view.open("ide");
    QCOMPARE(view.field("LName"), QStringLiteral("same"));
    other.open("ide");
    other.setField("LName", "changed");
    other.commit();
    view.setField("LName", "same"); // equal to what it read: no change
    view.commit();
    QVERIFY(!view.hasPendingChanges());
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\""), QStringList{"changed"});
}

void TestData::commitRefusesToOverwrite_data() {
    QTest::addColumn<bool>("deleteMeanwhile");
    QTest::newRow("changed meanwhile") << false;
    QTest::newRow("deleted meanwhile") << true;
}

void TestData::commitRefusesToOverwrite() {
    QFETCH(bool, deleteMeanwhile);
    Seed::row("ide", {"Code", "LName", "Group"}, {"4", "first", "A"});
    DataView a, b;
    a.open("ide");
    QCOMPARE(a.field("LName"), QStringLiteral("first"));
    b.open("ide");
    if (deleteMeanwhile) {
        b.deleteCurrent();
    } else {
        b.setField("LName", "second");
        b.commit();
    }
    a.setField("LName", "third");
    QVERIFY_THROWS_EXCEPTION(DataError, a.commit());
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\""),
             deleteMeanwhile ? QStringList{} : QStringList{"second"});
    // The refused row shows what is stored now, so that saving again (closing the window) goes
    // through and writes nothing.
    QVERIFY(!a.hasPendingChanges());
    QCOMPARE(a.hasCurrent(), !deleteMeanwhile);
    QCOMPARE(a.field("LName"), deleteMeanwhile ? QString() : QStringLiteral("second"));
    a.commit();
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\""),
             deleteMeanwhile ? QStringList{} : QStringList{"second"});
    if (deleteMeanwhile)
        QVERIFY_THROWS_EXCEPTION(DataError, a.deleteCurrent());
}

void TestData::deleteOfARowDeletedElsewhere() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "a", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"2", "b", "A"});
    DataView view, other;
    view.open("ide");
    QCOMPARE(view.rowCount(), 2);
    other.open("ide");
    other.deleteCurrent();
    QVERIFY_THROWS_EXCEPTION(DataError, view.deleteCurrent());
    // The row is gone from the view too: the next delete takes the next one.
    QCOMPARE(view.rowCount(), 1);
    QCOMPARE(view.field("Code"), QStringLiteral("2"));
    view.deleteCurrent();
    QCOMPARE(Seed::column("SELECT count(*) FROM \"ide\""), QStringList{"0"});
}

void TestData::failedCommitWritesNothing() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "a", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"2", "b", "A"});
    DataView view, other;
    view.open("ide");
    QCOMPARE(view.rowCount(), 2);
    other.open("ide");
    other.moveLast();
    other.setField("LName", "taken");
    other.commit();
    view.addRow();
    view.setField("Code", "3");
    view.moveFirst();
    view.setField("LName", "A");
    view.setCurrentRow(1);
    view.setField("LName", "B"); // conflicts with the other view's commit
    QVERIFY_THROWS_EXCEPTION(DataError, view.commit());
    const QString stored = "SELECT \"Code\" || coalesce(\"LName\", '') FROM \"ide\" ORDER BY rowid";
    QCOMPARE(Seed::column(stored), (QStringList{"1a", "2taken"}));
    // Only the refused row takes what is stored; the other edits are saved at the next try.
    QCOMPARE(view.field("LName"), QStringLiteral("taken"));
    view.commit();
    QCOMPARE(Seed::column(stored), (QStringList{"1A", "2taken", "3"}));
}

void TestData::deleteRemovesRow() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "a", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"2", "b", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"3", "c", "A"});
    DataView view;
    view.open("ide");
    view.setFilter("Code", "2");
    view.deleteCurrent();
    QVERIFY(!view.hasCurrent());
    QCOMPARE(Seed::column("SELECT \"Code\" FROM \"ide\" ORDER BY rowid"), (QStringList{"1", "3"}));
    view.refresh();
    view.deleteCurrent();
    QCOMPARE(view.field("Code"), QStringLiteral("3")); // the next row becomes current
    view.addRow();
    view.deleteCurrent(); // never written: only leaves the view
    QCOMPARE(Seed::column("SELECT \"Code\" FROM \"ide\""), QStringList{"3"});
    view.moveLast();
    view.deleteCurrent();
    QVERIFY_THROWS_EXCEPTION(DataError, view.deleteCurrent());
}

void TestData::sortOrdersVisibleRows() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "x", "C"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"2", "x", "a"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"3", "x", "B"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"4", "x", "A"});
    DataView view;
    view.open("ide");
    view.sort("group");
    QStringList codes;
    for (int r = 0; r < view.rowCount(); ++r)
        codes << view.value(r, view.fieldIndex("Code"));
    QCOMPARE(codes, (QStringList{"2", "4", "3", "1"})); // stable, regardless of case
    QCOMPARE(view.field("Code"), QStringLiteral("2"));
    view.refresh();
    QCOMPARE(view.field("Code"), QStringLiteral("1"));
}

void TestData::valuesAreStoredAndMatchedVerbatim_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("apostrophe") << "O'Neil";
    QTest::newRow("quote") << "say \"hi\"";
    QTest::newRow("semicolon") << "a; DROP TABLE \"ide\"; --";
    QTest::newRow("injection") << "x' OR '1'='1";
    QTest::newRow("percent and underscore") << "100%_";
    QTest::newRow("backslash") << "C:\\new";
    QTest::newRow("newlines") << "line1\nline2\r\n";
    QTest::newRow("persian") << u("محمدي‌نژاد ك");
    QTest::newRow("long") << QString(5000, QChar(0x0628));
}

void TestData::valuesAreStoredAndMatchedVerbatim() {
    QFETCH(QString, value);
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "other", "A"});
    DataView writer, reader;
    writer.open("ide");
    writer.addRow();
    writer.setField("Code", "2");
    writer.setField("LName", value);
    writer.commit();
    reader.open("ide");
    reader.setFilter("LName", value);
    QCOMPARE(reader.rowCount(), 1);
    QCOMPARE(reader.field("LName"), value);
    QCOMPARE(reader.field("Code"), QStringLiteral("2"));
    reader.setFilter("Code", value);
    QCOMPARE(reader.rowCount(), 0);
    QCOMPARE(Seed::column("SELECT count(*) FROM \"ide\""), QStringList{"2"});
}

void TestData::bindingShowsAndEditsCurrentRow() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "first", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"2", "second", "B"});
    DataView view;
    view.open("ide");
    QLineEdit box;
    FieldBinding binding(&box, &view, "LName");
    QCOMPARE(box.text(), QStringLiteral("first"));
    view.moveLast();
    QCOMPARE(box.text(), QStringLiteral("second"));

    box.selectAll();
    QTest::keyClicks(&box, "typed");
    QCOMPARE(view.field("LName"), QStringLiteral("typed"));
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\" WHERE \"Code\"='2'"),
             QStringList{"second"});
    view.commit();
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\" WHERE \"Code\"='2'"),
             QStringList{"typed"});

    binding.bind(&view, "Group");
    QCOMPARE(box.text(), QStringLiteral("B"));
    view.setField("Group", "C");
    QCOMPARE(box.text(), QStringLiteral("C"));
}

void TestData::comboBindingTakesOnlyUserChoices() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "x", ""});
    DataView view;
    view.open("ide");
    QComboBox group;
    group.setEditable(true);
    FieldBinding binding(&group, &view, "Group");
    group.addItems({"A", "B", "C"}); // filling the list is no choice
    group.setEditText(QString());
    QCOMPARE(view.field("Group"), QString());
    QVERIFY(!view.hasPendingChanges());
    QTest::keyClicks(group.lineEdit(), "G");
    QCOMPARE(view.field("Group"), QStringLiteral("G"));
    Q_EMIT group.textActivated("B");
    QCOMPARE(view.field("Group"), QStringLiteral("B"));
}

void TestData::modelFollowsView() {
    Seed::row("ide", {"Code", "LName", "Group"}, {"1", "a", "A"});
    Seed::row("ide", {"Code", "LName", "Group"}, {"2", "b", "B"});
    DataView view;
    view.open("ide");
    DataViewModel model(&view, {"Code", "LName"}, {u("کد"), u("نام خانوادگي")});
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), u("نام خانوادگي"));
    QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("b"));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    view.setFilter("Group", "B");
    QCOMPARE(reset.count(), 1);
    QCoreApplication::processEvents(); // from a server, once the handler is done
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("2"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    view.setField("LName", "z");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("z"));
}

namespace {
// Subjects 1..count stored in another order than their codes: every third one first.
void manySubjects(int count) {
    Database::Transaction all;
    for (int pass = 0; pass < 2; ++pass)
        for (int n = 1; n <= count; ++n)
            if ((n % 3 == 0) == (pass == 0))
                Seed::row("ide", {"Code", "LName", "Group"},
                          {QString::number(n), QStringLiteral("name %1").arg(n % 50),
                           QString(QChar(u'A' + n % 7))});
    all.commit();
}
} // namespace

// Nothing is read at open; the current row costs a page; a filter reads its matching rows only.
void TestData::viewReadsOnlyWhatIsLookedAt() {
    manySubjects(1000);
    DataView view;
    view.open("ide");
    QCOMPARE(view.readRowCount(), 0);
    QVERIFY(view.canReadMore());
    QCOMPARE(view.field("Code"), QStringLiteral("3")); // the first stored
    QVERIFY(view.readRowCount() > 0 && view.readRowCount() < 100);
    view.setFilter("Code", "500");
    QCOMPARE(view.readRowCount(), 0); // until something of it is asked for
    QVERIFY(view.hasCurrent());
    QVERIFY(!view.canReadMore());
    QCOMPARE(view.readRowCount(), 1);
    view.setFilter("LName", "name 7");
    QVERIFY(view.hasCurrent() && view.readRowCount() == 20);
    QCOMPARE(view.rowCount(), 20);
    QCOMPARE(view.value(19, view.fieldIndex("LName")), QStringLiteral("name 7"));
    QVERIFY(!view.isEmpty());
    view.refresh();
    QCOMPARE(view.readRowCount(), 0);
    QCOMPARE(view.rowCount(), 1000);
    QCOMPARE(view.lastStored("Code"), QStringLiteral("1000"));
    QVERIFY(view.anyStored("Code", "999") && !view.anyStored("Code", "1001"));
    QStringList names = view.distinctStored("LName");
    QCOMPARE(names.size(), 50);

    // A view first read after another one committed starts from what that one wrote.
    DataView late, other;
    late.open("ide");
    other.open("ide");
    other.setFilter("Code", "3");
    other.setField("LName", "changed");
    other.commit();
    QCOMPARE(late.field("LName"), QStringLiteral("changed"));
    late.setField("LName", "again");
    late.commit();
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\" WHERE \"Code\"='3'"),
             QStringList{"again"});
}

// A view filtered by code holds that subject's row alone, and behaves as the whole view did.
void TestData::codeFilteredViewCommitsRefreshesAndConflicts_data() {
    QTest::addColumn<bool>("changedMeanwhile");
    QTest::newRow("alone") << false;
    QTest::newRow("changed meanwhile") << true;
}

void TestData::codeFilteredViewCommitsRefreshesAndConflicts() {
    QFETCH(bool, changedMeanwhile);
    manySubjects(300);
    DataView view, other;
    view.open("ide");
    view.setFilter("Code", "200");
    QVERIFY(view.hasCurrent());
    QCOMPARE(view.readRowCount(), 1);
    QVERIFY(!view.canReadMore());
    if (changedMeanwhile) {
        other.open("ide");
        other.setFilter("Code", "200");
        other.setField("LName", "other desk");
        other.commit();
    }
    view.setField("LName", "mine");
    if (changedMeanwhile) {
        QVERIFY_THROWS_EXCEPTION(DataError, view.commit());
        QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\" WHERE \"Code\"='200'"),
                 QStringList{"other desk"});
        // Its filter kept, the view shows what the other wrote.
        QVERIFY(!view.hasPendingChanges());
        QCOMPARE(view.rowCount(), 1);
        QCOMPARE(view.field("LName"), QStringLiteral("other desk"));
        return;
    }
    view.commit();
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\" WHERE \"Code\"='200'"),
             QStringList{"mine"});
    QCOMPARE(Seed::column("SELECT count(*) FROM \"ide\" WHERE \"LName\"='mine'"), QStringList{"1"});
    // Pending edits keep the whole snapshot: a filter then looks at it in memory.
    view.setField("LName", "pending");
    view.setFilter("Group", view.field("Group"));
    QVERIFY(view.rowCount() > 1);
    view.setFilter("Code", "200");
    QCOMPARE(view.field("LName"), QStringLiteral("pending"));
    view.commit();
    QCOMPARE(Seed::column("SELECT \"LName\" FROM \"ide\" WHERE \"Code\"='200'"),
             QStringList{"pending"});
    view.refresh();
    QCOMPARE(view.rowCount(), 300);
}

// The grid gets its rows a page at a time as it scrolls: each row once, in stored order, the
// row added in the view last; one committed meanwhile is not read again.
void TestData::pagedGridShowsEveryRowOnceInStoredOrder() {
    manySubjects(500);
    DataView view;
    view.open("ide");
    DataViewModel model(&view, {"Code", "LName"});
    QTableView grid;
    grid.setModel(&model);
    grid.resize(300, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QVERIFY(model.rowCount() < 500);
    view.addRow();
    view.setField("Code", "added");
    view.commit();
    QCOMPARE(view.readRowCount(), model.rowCount());
    for (int turn = 0; turn < 100 && model.canFetchMore({}); ++turn) {
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
    }
    QVERIFY(!model.canFetchMore({}));
    QStringList shown;
    for (int r = 0; r < model.rowCount(); ++r)
        shown << model.index(r, 0).data().toString();
    QCOMPARE(shown, Seed::column("SELECT \"Code\" FROM \"ide\" ORDER BY rowid"));
    QCOMPARE(shown.size(), 501);
    QCOMPARE(grid.verticalHeader()->count(), 501); // the grid was told of every page
}

// The records window's lists, a seek of the index for each name, hold what reading every row
// holds: case, blanks and long names that share the server index's prefix told apart.
void TestData::namesThroughTheIndexAreEveryNameOnce() {
    const QString prefix(600, QChar(0x0628));
    const QStringList names{"x",      "X",          "",           " x",  u("علي"),
                            u("علي"), prefix + "a", prefix + "b", prefix};
    QList<QVariantList> rows{{"0", QVariant()}};
    for (qsizetype i = 0; i < names.size(); ++i)
        rows << QVariantList{QString::number(i + 1), names[i]};
    Seed::rows("ide", {"Code", "LName"}, rows);
    DataView view;
    view.open("ide");
    QStringList through = view.distinctStored("LName", true), read = view.distinctStored("LName");
    std::sort(through.begin(), through.end());
    std::sort(read.begin(), read.end());
    QCOMPARE(through, read);
    QCOMPARE(through.size(), 7);
}

void TestData::escapedErrorIsShownAndProgramGoesOn() {
    ScriptedDialogs dialogs;
    DataView view;
    view.open("ide");
    QPushButton button("save");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++clicks;
        view.setField("Code", "1"); // no current row: the layer throws
    });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown[0].title, QStringLiteral("Error"));
    QVERIFY(!dialogs.shown[0].text.isEmpty());
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 2);
    QCOMPARE(dialogs.shown.size(), 2);
}

VORN_TEST_MAIN(TestData)
#include "tst_data.moc"
