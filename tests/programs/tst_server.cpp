#include "backup/Frmbackup.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "data/Database.h"
#include "data/Server.h"
#include "research/Export.h"
#include "shell/FrmServer.h"
#include "tests/support/CraftedDatabase.h"
#include "tests/support/DelayProxy.h"
#include "tests/support/RealProgram.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <future>
#include <thread>

// The clinic's database on a real PostgreSQL server: the private cluster the test run starts
// (its socket folder is in the file named by VORN_TEST_PG_STATE).
class TestServer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void emptyDatabaseGetsTablesAndContentOnFirstUse();
    void foreignDatabaseIsRefusedUntouched_data();
    void foreignDatabaseIsRefusedUntouched();
    void problemsAreSaidPlainly_data();
    void problemsAreSaidPlainly();
    void viewRulesHoldOnTheServer();
    void theServerKeepsCodesUnique();
    void registrationOffersTheNextCodeWhenAnotherDeskTookIt();
    void lostConnectionLeavesNothingHalfDoneAndReconnects();
    void backupAndRestoreAcrossKinds();
    void backupWindowOnTheServer();
    void settingsPanelWritesTheFileAndTriesTheServer_data();
    void settingsPanelWritesTheFileAndTriesTheServer();
    void realProgramWorksOnTheServer();
    void twoWorkstationsOnOneServer();
    void twoWorkstationsAnswerForOneSubject();
    void realProgramSaysTheServerCannotBeReached();
    void anythingInADatabaseMakesItNotEmpty_data();
    void anythingInADatabaseMakesItNotEmpty();
    void frozenServerOrHeldLockIsSaidWithinTheDeadline_data();
    void frozenServerOrHeldLockIsSaidWithinTheDeadline();
    void idleDeskGoesOnAfterARestart_data();
    void idleDeskGoesOnAfterARestart();
    void refusalsSayWhatTheServerSaid_data();
    void refusalsSayWhatTheServerSaid();
    void connectionProblemsAreNamed_data();
    void connectionProblemsAreNamed();
    void rolesAndEncodingAreCheckedAtStart_data();
    void rolesAndEncodingAreCheckedAtStart();
    void realProgramOffersTheFileWhenTheServerFails();
    void serverSetUpFromTheReadme();
    void exportReadsOneMomentWhileAnotherDeskRegisters_data();
    void exportReadsOneMomentWhileAnotherDeskRegisters();
    void restoreRefusesWhatTheServerCannotHold_data();
    void restoreRefusesWhatTheServerCannotHold();
    void longTextsAreStoredAndFound_data();
    void longTextsAreStoredAndFound();

private:
    class OwnCluster;
    QString socket_;
    QString database_;
    std::unique_ptr<QTemporaryDir> folder_;
    ServerSettings settings() const;
    QStringList query(const QString& sql, const QString& database = {}); // first column
    QString state();                                                     // tables, rows
    void startDesks(RealProgram& desk, RealProgram& other, const QString& otherFolder);
};

namespace {
int databases = 0;
}

ServerSettings TestServer::settings() const {
    ServerSettings s;
    s.host = socket_;
    s.database = database_;
    s.user = QStringLiteral("postgres");
    s.sslMode = QStringLiteral("disable");
    return s;
}

// Through a connection of the test's own, as another workstation or the administrator.
QStringList TestServer::query(const QString& sql, const QString& database) {
    QStringList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "admin");
        db.setHostName(socket_);
        db.setDatabaseName(database.isEmpty() ? database_ : database);
        db.setUserName("postgres");
        if (!db.open()) {
            qWarning("%s", qPrintable(db.lastError().text()));
        } else {
            QSqlQuery q(db);
            if (!q.exec(sql))
                qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
            while (q.next())
                values << q.value(0).toString();
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase("admin");
    return values;
}

QString TestServer::state() {
    QString all;
    for (const QString& t : query("SELECT table_name FROM information_schema.tables WHERE "
                                  "table_schema = 'public' ORDER BY table_name"))
        all += t + ':' + query(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(t)).join("") + ' ';
    return all;
}

void TestServer::initTestCase() {
    QFile state(qEnvironmentVariable("VORN_TEST_PG_STATE"));
    QVERIFY2(state.open(QIODevice::ReadOnly), "the test run starts the server (pg-cluster)");
    socket_ = QString::fromUtf8(state.readAll()).trimmed();
    QVERIFY(QSqlDatabase::isDriverAvailable("QPSQL"));
}

void TestServer::init() {
    database_ = QStringLiteral("vorn_test_%1").arg(++databases);
    query("CREATE DATABASE " + database_, "postgres");
    folder_ = std::make_unique<QTemporaryDir>();
    QCOMPARE(Server::write(folder_->path(), settings()), QString());
}

void TestServer::cleanup() {
    Database::close();
    folder_.reset();
    query("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)", "postgres");
}

void TestServer::emptyDatabaseGetsTablesAndContentOnFirstUse() {
    Database::OpenResult first = Database::open(folder_->path());
    QCOMPARE(first.status, Database::OpenResult::Created);
    QCOMPARE(Database::kind(), Database::Kind::Server);
    QVERIFY(first.message.contains(database_));
    Database::close();
    QCOMPARE(query("SELECT count(*) FROM \"QUS\""), QStringList{"33"});
    QCOMPARE(query("SELECT \"TH\" FROM \"Theme\""), QStringList{Tables::DefaultTheme});
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Opened);
    DataView items;
    items.open("qus");
    QCOMPARE(items.rowCount(), 33);
    QCOMPARE(items.field("QU"), Tables::itemTexts()[0]);
}

void TestServer::foreignDatabaseIsRefusedUntouched_data() {
    QTest::addColumn<QStringList>("sql");
    QTest::newRow("another program's table")
        << QStringList{"CREATE TABLE notes (x text)", "INSERT INTO notes VALUES ('a')"};
    QTest::newRow("ide a view") << QStringList{"CREATE VIEW ide AS SELECT 1 AS x"};
    QTest::newRow("extra column") << QStringList{"ALTER TABLE ide ADD COLUMN note text"};
    QTest::newRow("trigger") << QStringList{
        "CREATE FUNCTION wipe() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN DELETE FROM "
        "\"Answer\"; RETURN NULL; END $$",
        "CREATE TRIGGER wipe AFTER INSERT ON ide EXECUTE FUNCTION wipe()"};
    // Crafted to look like the program's own, each with what it would do.
    const QString wipe = "CREATE FUNCTION wipe() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                         "DELETE FROM \"Answer\"; RETURN NULL; END $$";
    QTest::newRow("a trigger named as the program's")
        << QStringList{wipe, "CREATE TRIGGER vorn_count_x AFTER INSERT ON ide EXECUTE "
                             "FUNCTION wipe()"};
    QTest::newRow("a rule") << QStringList{
        "CREATE RULE also AS ON INSERT TO ide DO ALSO DELETE FROM \"Answer\""};
    QTest::newRow("the counter's function rewritten")
        << QStringList{"CREATE OR REPLACE FUNCTION vorn_count() RETURNS trigger LANGUAGE "
                       "plpgsql AS $$ BEGIN DELETE FROM \"Answer\"; RETURN NULL; END $$"};
    QTest::newRow("a default that calls a function")
        << QStringList{"CREATE FUNCTION gone() RETURNS text LANGUAGE sql AS 'SELECT NULL'",
                       "ALTER TABLE ide ALTER COLUMN \"FName\" SET DEFAULT gone()"};
    QTest::newRow("the unique code constraint dropped")
        << QStringList{"ALTER TABLE ide DROP CONSTRAINT vorn_ide_code_unique"};
    QTest::newRow("a search index on the whole field") << QStringList{
        "DROP INDEX vorn_ide_lname", "CREATE INDEX vorn_ide_lname ON ide (\"LName\", vorn_row)"};
    QTest::newRow("a table unlogged") << QStringList{"ALTER TABLE \"Answer\" SET UNLOGGED"};
    QTest::newRow("a check constraint")
        << QStringList{"ALTER TABLE ide ADD CONSTRAINT c CHECK (\"Code\" <> '0')"};
    QTest::newRow("a cascading foreign key")
        << QStringList{"ALTER TABLE \"Answer\" ADD CONSTRAINT fk FOREIGN KEY (vorn_row) "
                       "REFERENCES ide (vorn_row) ON DELETE CASCADE"};
    QTest::newRow("a row-level policy") << QStringList{"ALTER TABLE ide ENABLE ROW LEVEL SECURITY",
                                                       "CREATE POLICY none ON ide USING (false)"};
    QTest::newRow("an inherited table in another schema")
        << QStringList{"CREATE SCHEMA other", "CREATE TABLE other.more () INHERITS (ide)",
                       "INSERT INTO other.more (\"Code\") VALUES ('1')"};
}

void TestServer::foreignDatabaseIsRefusedUntouched() {
    QFETCH(QStringList, sql);
    if (!sql.front().contains("VIEW") && !sql.front().contains("notes")) {
        QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
        Database::close();
    }
    for (const QString& statement : sql)
        query(statement);
    const QString before = state();
    const Database::OpenResult result = Database::open(folder_->path());
    QCOMPARE(result.status, Database::OpenResult::Refused);
    QVERIFY2(result.message.contains(database_) && result.message.contains("VORN"),
             qPrintable(result.message));
    QVERIFY(!Database::isOpen());
    QCOMPARE(state(), before);
    bool usable = true; // the settings panel's try says the same
    QVERIFY(!Database::testServer(settings(), &usable).isEmpty() && !usable);
}

void TestServer::problemsAreSaidPlainly_data() {
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("said");
    QTest::newRow("no server there") << "host" << QString::fromUtf8("سرور در دسترس نیست");
    QTest::newRow("no such database")
        << "database" << QString::fromUtf8("پایگاه داده‌ای به این نام");
    QTest::newRow("no such user") << "user" << QString::fromUtf8("پذیرفته نشد");
    QTest::newRow("damaged connection file") << "file" << QString::fromUtf8("درست نیست");
}

void TestServer::problemsAreSaidPlainly() {
    QFETCH(QString, problem);
    QFETCH(QString, said);
    ServerSettings s = settings();
    if (problem == "host")
        s.host = folder_->path(); // a folder with no server's socket in it
    if (problem == "database")
        s.database = "no_such_database";
    if (problem == "user")
        s.user = "nobody_here";
    QCOMPARE(Server::write(folder_->path(), s), QString());
    if (problem == "file") {
        QFile f(Server::settingsPath(folder_->path()));
        QVERIFY(f.open(QIODevice::Append));
        f.write("port = many\n");
    }
    const Database::OpenResult result = Database::open(folder_->path());
    QCOMPARE(result.status, Database::OpenResult::Refused);
    QVERIFY2(result.message.contains(said), qPrintable(result.message));
    QVERIFY(!QFile::exists(Database::filePath(folder_->path()))); // no file made instead
}

// Snapshot, bound values, optimistic commit and the change counter, with another workstation.
void TestServer::viewRulesHoldOnTheServer() {
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    DataView subjects;
    subjects.open("ide");
    QVERIFY(subjects.isEmpty());
    const QString odd = QString::fromUtf8("O'Neil; DROP TABLE ide; -- محمدي");
    for (const char* code : {"1", "2", "3"}) {
        subjects.addRow();
        subjects.setField("Code", code);
        subjects.setField("LName", odd);
    }
    subjects.commit();
    QCOMPARE(query("SELECT \"Code\" FROM ide ORDER BY vorn_row"), (QStringList{"1", "2", "3"}));
    QCOMPARE(query("SELECT DISTINCT \"LName\" FROM ide"), QStringList{odd});

    DataView one;
    one.open("IDE");
    one.setFilter("code", "2");
    QVERIFY(one.hasCurrent());
    QCOMPARE(one.readRowCount(), 1);
    one.setField("FName", "mine");
    // Another workstation changes the same subject first.
    query("UPDATE ide SET \"FName\" = 'theirs' WHERE \"Code\" = '2'");
    QVERIFY_THROWS_EXCEPTION(DataError, one.commit());
    QCOMPARE(query("SELECT \"FName\" FROM ide WHERE \"Code\" = '2'"), QStringList{"theirs"});
    one.refresh(); // the counter says the table changed: read again
    one.setFilter("Code", "2");
    QCOMPARE(one.field("FName"), QStringLiteral("theirs"));
    one.setField("FName", "mine");
    one.commit();
    QCOMPARE(query("SELECT \"FName\" FROM ide WHERE \"Code\" = '2'"), QStringList{"mine"});

    // A subject added elsewhere is seen after a refresh, not before.
    QCOMPARE(subjects.rowCount(), 3);
    query("INSERT INTO ide (\"Code\") VALUES ('4')");
    QCOMPARE(subjects.rowCount(), 3);
    subjects.refresh();
    QCOMPARE(subjects.rowCount(), 4);
    subjects.moveLast();
    QCOMPARE(subjects.field("Code"), QStringLiteral("4"));
    subjects.deleteCurrent();
    QCOMPARE(query("SELECT count(*) FROM ide"), QStringList{"3"});
    QCOMPARE(subjects.lastStored("Code"), QStringLiteral("3"));
    QVERIFY(subjects.anyStored("LName", odd) && !subjects.anyStored("Code", "4"));

    // All or nothing across tables.
    DataView answers;
    answers.open("Answer");
    subjects.addRow();
    subjects.setField("Code", "5");
    answers.addRow();
    answers.setField("Code", "5");
    answers.setField("1", "4");
    DataView::commitAll({&subjects, &answers});
    QCOMPARE(query("SELECT \"1\" FROM \"Answer\" WHERE \"Code\" = '5'"), QStringList{"4"});
}

// Two desks registering at the same moment: the server takes the first code, refuses the second.
void TestServer::theServerKeepsCodesUnique() {
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    query("INSERT INTO ide (\"Code\") VALUES ('7')"); // the other desk, a moment earlier
    DataView desk, answers;
    desk.open("ide");
    answers.open("Answer");
    desk.addRow();
    desk.setField("Code", "7");
    answers.addRow();
    answers.setField("Code", "7");
    try {
        DataView::commitAll({&desk, &answers});
        QFAIL("a second subject with code 7");
    } catch (const DataError& e) {
        QVERIFY2(e.message().contains(QString::fromUtf8("کسی دیگر")), qPrintable(e.message()));
    }
    QCOMPARE(query("SELECT count(*) FROM ide"), QStringList{"1"});
    QCOMPARE(query("SELECT count(*) FROM \"Answer\""), QStringList{"0"}); // nothing half-done
    QVERIFY(desk.hasPendingChanges());
    desk.setField("Code", "8");
    DataView::commitAll({&desk, &answers});
    QCOMPARE(query("SELECT \"Code\" FROM ide ORDER BY vorn_row"), (QStringList{"7", "8"}));
}

// The registration panel proposes a code; another desk saves a subject with it first. The save
// is refused by the server, the user is told and the next code proposed; nothing is written.
void TestServer::registrationOffersTheNextCodeWhenAnotherDeskTookIt() {
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    query("INSERT INTO ide (\"Code\", \"FName\") VALUES ('1', 'first')");
    ScriptedDialogs dialogs;
    QPointer<Frm1> main = Frm1::load();
    QVERIFY(main);
    QTest::mouseClick(control<QPushButton>(main, "Command1"), Qt::LeftButton);
    auto* code = control<QLineEdit>(main, "Text11");
    QCOMPARE(code->text(), QStringLiteral("2"));
    for (const auto& [box, text] :
         {std::pair{"Text6", "Sara"}, {"Text4", "Karimi"}, {"Text5", "30"}, {"Text7", "BA"}}) {
        auto* edit = control<QLineEdit>(main, box);
        edit->setText(QString::fromLatin1(text));
        Q_EMIT edit->textEdited(edit->text());
    }
    for (const char* list : {"Combo2", "Combo1", "Combo3"}) {
        auto* combo = control<QComboBox>(main, list);
        combo->setCurrentIndex(1);
        Q_EMIT combo->textActivated(combo->currentText());
    }
    // The other desk saves code 2 at the same moment: its transaction is open when this desk
    // checks the code (and does not see it yet), and commits while this desk's save waits.
    std::promise<void> begun;
    std::thread otherDesk([this, &begun] {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "desk");
            db.setHostName(socket_);
            db.setDatabaseName(database_);
            db.setUserName("postgres");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("BEGIN"));
            QVERIFY(q.exec("INSERT INTO ide (\"Code\", \"FName\") VALUES ('2', 'other desk')"));
            begun.set_value();
            QThread::msleep(700);
            QVERIFY(q.exec("COMMIT"));
            db.close();
        }
        QSqlDatabase::removeDatabase("desk");
    });
    begun.get_future().wait();
    QTest::mouseClick(control<QPushButton>(main, "Command8"), Qt::LeftButton);
    otherDesk.join();
    QVERIFY(!dialogs.shown.isEmpty());
    QVERIFY2(dialogs.shown.back().text.contains(QString::fromUtf8("کد بعدی")),
             qPrintable(dialogs.shown.back().text));
    QCOMPARE(code->text(), QStringLiteral("3"));
    QCOMPARE(query("SELECT count(*) FROM \"Answer\""), QStringList{"0"});
    QTest::mouseClick(control<QPushButton>(main, "Command8"), Qt::LeftButton);
    QCOMPARE(query("SELECT \"Code\" || ' ' || \"FName\" FROM ide ORDER BY vorn_row"),
             (QStringList{"1 first", "2 other desk", "3 Sara"}));
    QCOMPARE(query("SELECT \"Code\" FROM \"Answer\""), QStringList{"3"});
    main->findChild<QLineEdit*>("Text3")->setText("1"); // no exit question
    main->close();
}

// The server stops while the program runs: the save fails at once with a plain message and
// nothing half-written; once the server is back, the next action reconnects and saves.
// A server of the test's own, for what would fail the suites running beside it on the run's
// server (stopping or freezing it, its access rules). The test's database is made on it and the
// connection file names it; everything is put back when it goes.
class TestServer::OwnCluster {
public:
    explicit OwnCluster(TestServer* test) : test_(test) {
        started_ = run("start");
        QFile state(dir_.filePath("state"));
        if (started_ && state.open(QIODevice::ReadOnly))
            runSocket_ =
                std::exchange(test_->socket_, QString::fromUtf8(state.readAll()).trimmed());
        test_->query("CREATE DATABASE " + test_->database_, "postgres");
        Server::write(test_->folder_->path(), test_->settings());
    }
    ~OwnCluster() {
        Database::close();
        run("thaw");
        run("stop");
        if (!runSocket_.isEmpty())
            test_->socket_ = runSocket_;
    }
    bool started() const { return started_; }
    bool run(const char* what, const QString& line = {}) {
        QProcess script;
        QStringList arguments{what, dir_.filePath("state")};
        if (!line.isEmpty())
            arguments << line;
        script.start(QStringLiteral(PG_CLUSTER), arguments);
        return script.waitForFinished(60000) && script.exitCode() == 0;
    }

private:
    TestServer* test_;
    QTemporaryDir dir_;
    QString runSocket_;
    bool started_ = false;
};

void TestServer::lostConnectionLeavesNothingHalfDoneAndReconnects() {
    OwnCluster own(this);
    QVERIFY(own.started());
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    DataView subjects, answers;
    subjects.open("ide");
    answers.open("Answer");
    QVERIFY(subjects.isEmpty() && answers.isEmpty());
    // The backup window, twice: the copy's own message each time, its buttons back, no file
    // left behind.
    {
        ScriptedDialogs dialogs;
        auto* window = new Frmbackup;
        const QPointer<Frmbackup> guard(window);
        window->show();
        QVERIFY(own.run("pause"));
        const QString target = QDir(folder_->path()).filePath("b.mdbB");
        window->findChild<QLineEdit*>("Text1")->setText(target);
        auto* backup = window->findChild<QPushButton*>("VisualButtonEx2");
        for (int i = 0; i < 2; ++i) {
            QTest::mouseClick(backup, Qt::LeftButton);
            QVERIFY(!dialogs.shown.isEmpty());
            QVERIFY2(dialogs.shown.last().text.startsWith(
                         QString::fromUtf8("اشکال در ايجاد نسخه پشتيباني")),
                     qPrintable(dialogs.shown.last().text));
            QVERIFY(backup->isEnabled());
            QVERIFY(window->findChild<QPushButton*>("VisualButtonEx3")->isEnabled());
        }
        QVERIFY(!QFile::exists(target) && !QFile::exists(target + ".new"));
        delete guard.data();
    }
    subjects.addRow();
    subjects.setField("Code", "9");
    answers.addRow();
    answers.setField("Code", "9");
    QElapsedTimer timer;
    timer.start();
    try {
        DataView::commitAll({&subjects, &answers});
        QFAIL("saved with the server stopped");
    } catch (const DataError& e) {
        QVERIFY2(e.message().contains(QString::fromUtf8("سرور")), qPrintable(e.message()));
    }
    QVERIFY(timer.elapsed() < 15000);
    QVERIFY_THROWS_EXCEPTION(DataError, DataView::commitAll({&subjects, &answers})); // still gone
    QVERIFY(own.run("resume"));
    DataView::commitAll({&subjects, &answers});
    QCOMPARE(query("SELECT count(*) FROM ide"), QStringList{"1"});
    QCOMPARE(query("SELECT count(*) FROM \"Answer\""), QStringList{"1"});
    subjects.refresh();
    QCOMPARE(subjects.rowCount(), 1);
}

namespace {
// The codes of a file database, in stored order, through a connection of the test's own.
QStringList fileCodes(const QString& path, const char* table = "ide") {
    QStringList codes;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "file");
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT \"Code\" FROM \"%1\" ORDER BY rowid").arg(table));
        while (q.next())
            codes << q.value(0).toString();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("file");
    return codes;
}

bool fileRun(const QString& path, const QStringList& sql) {
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "file");
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString& statement : sql)
            ok = ok && q.exec(statement);
        db.close();
    }
    QSqlDatabase::removeDatabase("file");
    return ok;
}
} // namespace

// A backup of the server is a whole VORN file of one moment; a backup of either kind restores
// into the server all or nothing, and a backup of the server into a file database.
void TestServer::backupAndRestoreAcrossKinds() {
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    for (const char* code : {"5", "3", "9"}) {
        query(QStringLiteral("INSERT INTO ide (\"Code\", \"LName\") VALUES ('%1', 'O''Neil')")
                  .arg(code));
        query(QStringLiteral("INSERT INTO \"Answer\" (\"Code\", \"1\") VALUES ('%1', '4')")
                  .arg(code));
    }
    QTemporaryDir files;
    const QString backup = files.filePath("server.mdbB");
    QCOMPARE(Database::backupServer(backup), QString());
    QCOMPARE(Database::checkFile(backup), QString());
    QCOMPARE(fileCodes(backup), (QStringList{"5", "3", "9"}));
    QCOMPARE(fileCodes(backup, "Answer"), (QStringList{"5", "3", "9"}));
    QCOMPARE(fileCodes(backup, "QUS").size(), 33); // the items, once each
    QVERIFY(!QFile::exists(backup + ".new"));

    // A file database's backup replaces the server's rows.
    const QString fromFile = files.filePath("file.mdbB");
    QCOMPARE(Database::createFile(fromFile), QString());
    QVERIFY(fileRun(fromFile, {"INSERT INTO ide (\"Code\") VALUES ('21')",
                               "INSERT INTO ide (\"Code\") VALUES ('22')",
                               "INSERT INTO \"Answer\" (\"Code\") VALUES ('21')"}));
    QCOMPARE(Database::restoreServer(fromFile), QString());
    QCOMPARE(query("SELECT \"Code\" FROM ide ORDER BY vorn_row"), (QStringList{"21", "22"}));
    QCOMPARE(query("SELECT count(*) FROM \"QUS\""), QStringList{"33"});
    QCOMPARE(query("SELECT count(*) FROM \"Theme\""), QStringList{"1"});

    // Refused, and the server left as it was: a damaged file, two subjects with one code.
    const QString before = state();
    const QString damaged = files.filePath("damaged.mdbB");
    QVERIFY(Crafted::make(damaged, "damaged page"));
    QVERIFY(!Database::restoreServer(damaged).isEmpty());
    const QString twice = files.filePath("twice.mdbB");
    QCOMPARE(Database::createFile(twice), QString());
    QVERIFY(fileRun(twice, {"INSERT INTO ide (\"Code\") VALUES ('1')",
                            "INSERT INTO ide (\"Code\") VALUES ('1')"}));
    const QString refused = Database::restoreServer(twice);
    QVERIFY2(refused.contains(QString::fromUtf8("یک کد")), qPrintable(refused));
    QCOMPARE(state(), before);
    QCOMPARE(query("SELECT \"Code\" FROM ide ORDER BY vorn_row"), (QStringList{"21", "22"}));

    // The server's backup opens as the database of a program folder that uses the file.
    Database::close();
    QTemporaryDir other;
    QVERIFY(QDir().mkpath(other.filePath("DBVORN")));
    QVERIFY(QFile::copy(backup, Database::filePath(other.path())));
    QCOMPARE(Database::open(other.path()).status, Database::OpenResult::Opened);
    QCOMPARE(Database::kind(), Database::Kind::File);
    DataView subjects;
    subjects.open("ide");
    QCOMPARE(subjects.rowCount(), 3);
    QCOMPARE(subjects.field("LName"), QStringLiteral("O'Neil"));
}

// The backup window on the server: the backup button writes the server's backup, the restore
// button puts it back, each with the message it gives for the file.
void TestServer::backupWindowOnTheServer() {
    TempProgramFolder program; // the test platform: the program's end is only counted
    QCOMPARE(Server::write(program.path(), settings()), QString());
    QCOMPARE(Database::open(program.path()).status, Database::OpenResult::Created);
    query("INSERT INTO ide (\"Code\") VALUES ('5')");
    ScriptedDialogs dialogs;
    auto* window = new Frmbackup;
    window->show();
    QTemporaryDir files;
    const QString target = files.filePath("day.mdbB");
    control<QLineEdit>(window, "Text1")->setText(target);
    QTest::mouseClick(control<QPushButton>(window, "VisualButtonEx2"), Qt::LeftButton);
    QCOMPARE(dialogs.shown.last().text, QString::fromUtf8("نسخه پشتيبان تهيه گرديد"));
    QCOMPARE(fileCodes(target), QStringList{"5"});
    QCOMPARE(program.platform.endedNow, 1);
    query("DELETE FROM ide");
    control<QLineEdit>(window, "Text2")->setText(target);
    dialogs.answer(Dialogs::Yes);
    QTest::mouseClick(control<QPushButton>(window, "VisualButtonEx3"), Qt::LeftButton);
    QCOMPARE(dialogs.shown.last().text, QString::fromUtf8("بازيابي اطلاعات انجام شد"));
    QCOMPARE(query("SELECT \"Code\" FROM ide"), QStringList{"5"});
    QVERIFY(!QFile::exists(program.databasePath())); // the file was never made nor copied
    delete window;
}

void TestServer::settingsPanelWritesTheFileAndTriesTheServer_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("said");
    QTest::newRow("empty database") << "empty" << QString::fromUtf8("خالی است");
    QTest::newRow("VORN database") << "vorn" << QString::fromUtf8("پایگاه دادهٔ VORN است");
    QTest::newRow("another program's") << "foreign" << QString::fromUtf8("از VORN نیست");
    QTest::newRow("no server there") << "nowhere" << QString::fromUtf8("سرور در دسترس نیست");
    QTest::newRow("unknown user") << "user" << QString::fromUtf8("پذیرفته نشد");
}

// The panel tries a server without changing anything, saves the connection file, and removes it
// to go back to this computer's file.
void TestServer::settingsPanelWritesTheFileAndTriesTheServer() {
    QFETCH(QString, server);
    QFETCH(QString, said);
    if (server == "vorn") {
        QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
        Database::close();
    }
    if (server == "foreign")
        query("CREATE TABLE notes (x text)");
    const QString before = state();
    TempProgramFolder program;
    ScriptedDialogs dialogs;
    FrmServer panel;
    panel.show();
    ServerSettings s = settings();
    if (server == "nowhere")
        s.host = program.path();
    if (server == "user")
        s.user = "nobody_here";
    control<QLineEdit>(&panel, "TxtHost")->setText(s.host);
    control<QSpinBox>(&panel, "SpnPort")->setValue(s.port);
    control<QLineEdit>(&panel, "TxtDatabase")->setText(s.database);
    control<QLineEdit>(&panel, "TxtUser")->setText(s.user);
    auto* ssl = control<QComboBox>(&panel, "CmbSsl");
    ssl->setCurrentIndex(ssl->findData(QStringLiteral("disable")));
    QTest::mouseClick(control<QPushButton>(&panel, "CmdTest"), Qt::LeftButton);
    QTRY_VERIFY(!dialogs.shown.isEmpty());
    QVERIFY2(dialogs.shown.last().text.contains(said), qPrintable(dialogs.shown.last().text));
    QCOMPARE(state(), before); // trying changes nothing on the server
    QVERIFY(!QFile::exists(Server::settingsPath(program.path())));

    // A setting that does not work is saved only when the user confirms the risk it names.
    if (server != "empty" && server != "vorn") {
        const qsizetype asked = dialogs.shown.size() + 1;
        QTest::mouseClick(control<QPushButton>(&panel, "CmdSave"), Qt::LeftButton);
        QTRY_COMPARE(dialogs.shown.size(), asked);
        QVERIFY(dialogs.shown.last().text.contains(QString::fromUtf8("باز نمی‌شود")));
        QVERIFY(!QFile::exists(Server::settingsPath(program.path())));
        dialogs.answer(Dialogs::Yes);
    }
    QTest::mouseClick(control<QPushButton>(&panel, "CmdSave"), Qt::LeftButton);
    QTRY_COMPARE(Server::read(program.path()).settings, std::optional<ServerSettings>(s));
    QTest::mouseClick(control<QPushButton>(&panel, "CmdFile"), Qt::LeftButton);
    QVERIFY(!QFile::exists(Server::settingsPath(program.path())));
    QVERIFY(!Server::read(program.path()).settings);
    // Nothing typed: told, nothing written.
    control<QLineEdit>(&panel, "TxtHost")->clear();
    QTest::mouseClick(control<QPushButton>(&panel, "CmdSave"), Qt::LeftButton);
    QVERIFY(!QFile::exists(Server::settingsPath(program.path())));
}

// The real program, on the server named by its connection file: it shows a subject that
// another workstation registered.
// Reached over TCP through a proxy that counts the round trips, each of which a clinic's network
// makes the user wait for: the start to the main window and the records window with its grid
// cost few (the client library's own greeting is five of the start's).
void TestServer::realProgramWorksOnTheServer() {
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    Database::close();
    query("INSERT INTO ide (\"Code\", \"FName\") VALUES ('41', 'desk')");
    query("INSERT INTO \"Answer\" (\"Code\") VALUES ('41')");
    const DelayProxy proxy(QDir(socket_).filePath(".s.PGSQL.5432"), 0);
    ServerSettings s = settings();
    s.host = "127.0.0.1";
    s.port = proxy.port();
    QCOMPARE(Server::write(folder_->path(), s), QString());
    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder_->path());
    vorn.start();
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty());
    QVERIFY2(proxy.roundTrips() <= 8, qPrintable(QString::number(proxy.roundTrips())));
    const long started = proxy.roundTrips();
    vorn.send("press Frm1 Command4");
    QVERIFY(!vorn.waitFor("shown", "FrmCode").isEmpty());
    vorn.send("text FrmCode DataGrid1");
    QCOMPARE(vorn.waitFor("text", "DataGrid1").value(4), QStringLiteral("1 41"));
    const long records = proxy.roundTrips() - started;
    QVERIFY2(records <= 5, qPrintable(QString::number(records)));
    QVERIFY(!QFile::exists(Database::filePath(folder_->path())));
}

// Two real programs on one server, as the reception desk and the office: what one registers
// the other finds; both propose the same code, the second to save is told, offered the next
// code, and saves that.
void TestServer::twoWorkstationsOnOneServer() {
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    Database::close();
    query("INSERT INTO ide (\"Code\", \"FName\") VALUES ('1', 'earlier')");
    query("INSERT INTO \"Answer\" (\"Code\") VALUES ('1')");
    QTemporaryDir office;
    QCOMPARE(Server::write(office.path(), settings()), QString());
    RealProgram desk(QStringLiteral(VORN_EXE)), other(QStringLiteral(VORN_EXE));
    startDesks(desk, other, office.path());
    if (QTest::currentTestFailed())
        return;
    auto registerSubject = [](RealProgram& p, const char* name, bool save) {
        p.send("press Frm1 Command1");
        QVERIFY(!p.waitFor("pressed", "Command1").isEmpty());
        for (const auto& [box, text] :
             {std::pair{"Text6", name}, {"Text4", "family"}, {"Text5", "30"}, {"Text7", "BA"}}) {
            p.send(QStringLiteral("type Frm1 %1 %2").arg(box, text));
            QVERIFY(!p.waitFor("typed", box).isEmpty());
        }
        for (const char* list : {"Combo2", "Combo1", "Combo3"}) {
            p.send(QStringLiteral("pick Frm1 %1 1").arg(list));
            QVERIFY(!p.waitFor("picked", list).isEmpty());
        }
        if (save) {
            p.send("press Frm1 Command8");
            QVERIFY(!p.waitFor("pressed", "Command8").isEmpty());
        }
    };
    // Both open the registration panel: both propose code 2.
    registerSubject(desk, "first", false);
    registerSubject(other, "second", false);
    for (RealProgram* p : {&desk, &other}) {
        p->send("text Frm1 Text11");
        QCOMPARE(p->waitFor("text", "Text11").value(4), QStringLiteral("2"));
    }
    desk.send("press Frm1 Command8");
    QTRY_COMPARE(query("SELECT \"Code\" || ' ' || \"FName\" FROM ide ORDER BY vorn_row"),
                 (QStringList{"1 earlier", "2 first"}));
    other.send("press Frm1 Command8");
    QVERIFY(!other.waitFor("box", QString::fromUtf8("کد بعدی پیشنهاد شد")).isEmpty());
    QCOMPARE(query("SELECT count(*) FROM ide"), QStringList{"2"});
    other.send("text Frm1 Text11");
    QCOMPARE(other.waitFor("text", "Text11").value(4), QStringLiteral("3"));
    other.send("press Frm1 Command8");
    QTRY_COMPARE(query("SELECT \"Code\" || ' ' || \"FName\" FROM ide ORDER BY vorn_row"),
                 (QStringList{"1 earlier", "2 first", "3 second"}));
    QCOMPARE(query("SELECT \"Code\" FROM \"Answer\" ORDER BY vorn_row"),
             (QStringList{"1", "2", "3"}));
    // The desk's records window finds the office's subject.
    desk.send("press Frm1 Command4");
    QVERIFY(!desk.waitFor("shown", "FrmCode").isEmpty());
    desk.send("text FrmCode DataGrid1");
    QCOMPARE(desk.waitFor("text", "DataGrid1").value(4), QStringLiteral("3 1,2,3"));
}

// Two real programs on the server, each in a program folder of its own, their main windows up.
void TestServer::startDesks(RealProgram& desk, RealProgram& other, const QString& otherFolder) {
    desk.environment.insert("VORN_PROGRAM_FOLDER", folder_->path());
    other.environment.insert("VORN_PROGRAM_FOLDER", otherFolder);
    for (RealProgram* p : {&desk, &other}) {
        p->environment.insert("VORN_EYES_ACCEPT", "1");
        p->start();
        QVERIFY(!p->waitFor("shown", "Frm1").isEmpty());
    }
}

// The testing room and the office both open subject 1's test and give item 1 an answer. The
// first is stored; the second desk is told on screen that the subject changed meanwhile, nothing
// of the first is overwritten, and its window shows the stored answer and can be closed. Opened
// again, it takes a change.
void TestServer::twoWorkstationsAnswerForOneSubject() {
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    Database::close();
    query("INSERT INTO ide (\"Code\", \"FName\") VALUES ('1', 'Sara')");
    query("INSERT INTO \"Answer\" (\"Code\") VALUES ('1')");
    QTemporaryDir office;
    QCOMPARE(Server::write(office.path(), settings()), QString());
    RealProgram room(QStringLiteral(VORN_EXE)), desk(QStringLiteral(VORN_EXE));
    startDesks(room, desk, office.path());
    if (QTest::currentTestFailed())
        return;
    auto openTest = [](RealProgram& p) {
        p.send("press Frm1 Command2");
        QVERIFY(!p.waitFor("shown", "QInputDialog").isEmpty());
        p.send("answer 1");
        QVERIFY(!p.waitFor("shown", "FrmTest").isEmpty());
        p.send("press FrmTest Command1");
        QVERIFY(!p.waitFor("pressed", "Command1").isEmpty());
    };
    for (RealProgram* p : {&room, &desk}) {
        openTest(*p);
        if (QTest::currentTestFailed())
            return;
    }
    const QString firstAnswer = "SELECT \"1\" FROM \"Answer\"";
    room.send("press FrmTest Option3");
    QTRY_COMPARE(query(firstAnswer), QStringList{"3"});
    desk.send("press FrmTest Option5");
    const QStringList box = desk.waitFor("box", QString::fromUtf8("پس از خوانده شدن"));
    QVERIFY2(!box.isEmpty(), "the second desk was not told of the change");
    QCOMPARE(query(firstAnswer), QStringList{"3"});
    // The desk's window now shows the room's answer, and closes at once.
    for (const char* option : {"Option3", "Option5"}) {
        desk.send(QStringLiteral("text FrmTest %1").arg(option));
        QCOMPARE(desk.waitFor("text", option).value(5),
                 QString::fromLatin1(option) == "Option3" ? "checked" : "unchecked");
    }
    desk.send("press FrmTest Command5");
    QVERIFY(!desk.waitFor("pressed", "Command5").isEmpty());
    desk.send("text FrmTest Option3");
    QVERIFY2(!desk.waitFor("missing", "FrmTest").isEmpty(), "the test window stayed open");
    // Opened again, it takes the desk's change.
    openTest(desk);
    if (QTest::currentTestFailed())
        return;
    desk.send("press FrmTest Option5");
    QTRY_COMPARE(query(firstAnswer), QStringList{"5"});
    QCOMPARE(query("SELECT count(*) FROM \"Answer\""), QStringList{"1"});
}

// The real program whose connection file names a server that is not there: it says so on screen
// and ends, and makes no database file instead.
void TestServer::realProgramSaysTheServerCannotBeReached() {
    ServerSettings s = settings();
    s.host = folder_->path(); // no server's socket in it
    QCOMPARE(Server::write(folder_->path(), s), QString());
    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder_->path());
    vorn.environment.insert("VORN_EYES_ACCEPT", "1");
    vorn.start();
    const QStringList box = vorn.waitFor("box", QString::fromUtf8("سرور در دسترس نیست"));
    QVERIFY2(!box.isEmpty(), "no message said the server cannot be reached");
    QVERIFY(vorn.waitForExit());
    QCOMPARE(vorn.exitCode(), 1);
    QVERIFY(vorn.waitFor("shown", "Frm1", 0).isEmpty());
    QVERIFY(!QFile::exists(Database::filePath(folder_->path())));
}

// Another program's schema, or only a sequence, a function or a type: not an empty database, so
// VORN makes nothing in it.
void TestServer::anythingInADatabaseMakesItNotEmpty_data() {
    QTest::addColumn<QStringList>("sql");
    QTest::newRow("another schema")
        << QStringList{"CREATE SCHEMA app", "CREATE TABLE app.invoices (x int)"};
    QTest::newRow("a sequence") << QStringList{"CREATE SEQUENCE numbers"};
    QTest::newRow("a function") << QStringList{
        "CREATE FUNCTION one() RETURNS int LANGUAGE sql AS 'SELECT 1'"};
    QTest::newRow("a type") << QStringList{"CREATE TYPE mood AS ENUM ('sad', 'happy')"};
}

void TestServer::anythingInADatabaseMakesItNotEmpty() {
    QFETCH(QStringList, sql);
    for (const QString& statement : sql)
        query(statement);
    const Database::OpenResult result = Database::open(folder_->path());
    QCOMPARE(result.status, Database::OpenResult::Refused);
    QCOMPARE(query("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"), {"0"});
    bool usable = true;
    QVERIFY(!Database::testServer(settings(), &usable).contains(QString::fromUtf8("خالی است")));
    QVERIFY(!usable);
}

// A server whose processes are all stopped, or a lock another session holds: the save gives up
// within the deadline with a Persian message, nothing is half-written, and the next action
// works once the server answers. The settings panel's try does not freeze its window either.
void TestServer::frozenServerOrHeldLockIsSaidWithinTheDeadline_data() {
    QTest::addColumn<bool>("frozen");
    QTest::newRow("every server process stopped") << true;
    QTest::newRow("a lock another session holds") << false;
}

void TestServer::frozenServerOrHeldLockIsSaidWithinTheDeadline() {
    QFETCH(bool, frozen);
    std::unique_ptr<OwnCluster> own;
    if (frozen) {
        own = std::make_unique<OwnCluster>(this);
        QVERIFY(own->started());
    }
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    DataView subjects;
    subjects.open("ide");
    QSqlDatabase locker = QSqlDatabase::addDatabase("QPSQL", "locker");
    const auto unlock = qScopeGuard([&] {
        locker.close();
        locker = {};
        QSqlDatabase::removeDatabase("locker");
    });
    if (!frozen) {
        locker.setHostName(socket_);
        locker.setDatabaseName(database_);
        locker.setUserName("postgres");
        QVERIFY(locker.open());
        QSqlQuery lock(locker);
        QVERIFY(lock.exec("BEGIN") && lock.exec("LOCK TABLE ide IN ACCESS EXCLUSIVE MODE"));
    } else {
        QVERIFY(own->run("freeze"));
    }
    subjects.addRow();
    subjects.setField("Code", "5");
    QElapsedTimer timer;
    timer.start();
    const QString said = QString::fromUtf8(frozen ? "پاسخ نداد" : "میز دیگری");
    try {
        subjects.commit();
        QFAIL("saved past a frozen server or a held lock");
    } catch (const DataError& e) {
        QVERIFY2(e.message().contains(said), qPrintable(e.message()));
    }
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    if (frozen) {
        ScriptedDialogs dialogs;
        FrmServer panel;
        panel.show();
        panel.findChild<QLineEdit*>("TxtHost")->setText(socket_);
        panel.findChild<QLineEdit*>("TxtDatabase")->setText(database_);
        panel.findChild<QLineEdit*>("TxtUser")->setText("postgres");
        QTest::mouseClick(panel.findChild<QPushButton*>("CmdTest"), Qt::LeftButton);
        QVERIFY(!panel.findChild<QPushButton*>("CmdTest")->isEnabled()); // trying, window alive
        QTRY_VERIFY_WITH_TIMEOUT(!dialogs.shown.isEmpty(), 20000);
        QVERIFY(panel.findChild<QPushButton*>("CmdTest")->isEnabled());
        QVERIFY(own->run("thaw"));
    } else {
        locker.rollback();
        locker.close();
    }
    subjects.commit();
    QCOMPARE(query("SELECT \"Code\" FROM ide"), QStringList{"5"});
}

// After a nightly restart, or with its session ended by the administrator, an idle desk's next
// action works the first time.
void TestServer::idleDeskGoesOnAfterARestart_data() {
    QTest::addColumn<bool>("restart");
    QTest::newRow("server restarted") << true;
    QTest::newRow("session terminated") << false;
}

void TestServer::idleDeskGoesOnAfterARestart() {
    QFETCH(bool, restart);
    OwnCluster own(this);
    QVERIFY(own.started());
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    DataView subjects;
    subjects.open("ide");
    if (restart)
        QVERIFY(own.run("restart"));
    else
        query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
              database_ + "' AND pid <> pg_backend_pid()");
    subjects.refresh();
    subjects.addRow();
    subjects.setField("Code", "8");
    subjects.commit();
    QCOMPARE(query("SELECT \"Code\" FROM ide"), QStringList{"8"});
}

// The server's access rules, a password file others may read, a password written into the
// connection file: each named, and a password never shown.
void TestServer::refusalsSayWhatTheServerSaid_data() {
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("said");
    QTest::newRow("access rules") << "hba"
                                  << "pg_hba.conf";
    QTest::newRow("password file readable by others") << "pgpass"
                                                      << "chmod 600";
    QTest::newRow("password in the connection file") << "conf"
                                                     << "~/.pgpass";
}

void TestServer::refusalsSayWhatTheServerSaid() {
    QFETCH(QString, problem);
    QFETCH(QString, said);
    OwnCluster own(this);
    QVERIFY(own.started());
    ServerSettings s = settings();
    QTemporaryDir home;
    const QString pgpass = home.filePath("pgpass");
    const auto unset = qScopeGuard([] { qunsetenv("PGPASSFILE"); });
    if (problem == "hba") {
        QVERIFY(own.run("hba", "local " + database_ + " all reject"));
    } else if (problem == "pgpass") {
        query("CREATE ROLE clerk LOGIN PASSWORD 'sesame-3'");
        QVERIFY(own.run("hba", "local all clerk scram-sha-256"));
        QFile file(pgpass);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("*:*:*:clerk:sesame-3\n");
        file.close();
        QFile::setPermissions(pgpass, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther);
        qputenv("PGPASSFILE", QFile::encodeName(pgpass));
        s.user = "clerk";
    }
    QCOMPARE(Server::write(folder_->path(), s), QString());
    if (problem == "conf") {
        QFile f(Server::settingsPath(folder_->path()));
        QVERIFY(f.open(QIODevice::Append));
        f.write("password = sesame-3\n");
    }
    const Database::OpenResult result = Database::open(folder_->path());
    QCOMPARE(result.status, Database::OpenResult::Refused);
    QVERIFY2(result.message.contains(said), qPrintable(result.message));
    QVERIFY(!result.message.contains("sesame"));
    QVERIFY(result.server);
}

// What the client library says of TLS and certificates (no server of the run offers TLS).
void TestServer::connectionProblemsAreNamed_data() {
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("said");
    const QString at = "connection to server at \"db.clinic\" (10.0.0.5), port 5432 failed: ";
    QTest::newRow("TLS not offered") << at + "server does not support SSL, but SSL was required"
                                     << "TLS";
    QTest::newRow("no authority file")
        << at + "root certificate file \"/home/u/.postgresql/root.crt\" does not exist\n"
                "Either provide the file or change sslmode to disable server certificate "
                "verification."
        << "root.crt";
    QTest::newRow("certificate for another name")
        << at + "server certificate for \"other.clinic\" does not match host name \"db.clinic\""
        << QString::fromUtf8("نام دیگری");
    QTest::newRow("certificate not trusted")
        << at + "SSL error: certificate verify failed" << QString::fromUtf8("پذیرفته نشد");
    QTest::newRow("nothing listening")
        << at + "Connection refused\n\tIs the server running on that host and accepting TCP/IP "
                "connections?"
        << QString::fromUtf8("در دسترس نیست");
}

void TestServer::connectionProblemsAreNamed() {
    QFETCH(QString, library);
    QFETCH(QString, said);
    const QString plain = Database::connectionProblem(library);
    QVERIFY2(plain.contains(said), qPrintable(plain));
    if (said != QString::fromUtf8("در دسترس نیست"))
        QVERIFY(!plain.contains(QString::fromUtf8("در دسترس نیست")));
}

// A role that may only connect, a role without rights on VORN's tables, a database that is not
// UTF-8: refused at start in Persian, with what the administrator must do, nothing touched.
void TestServer::rolesAndEncodingAreCheckedAtStart_data() {
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("said");
    QTest::newRow("may only connect") << "connect"
                                      << "ALTER DATABASE";
    QTest::newRow("no rights on the tables") << "tables"
                                             << "GRANT SELECT";
    QTest::newRow("not UTF-8") << "latin1"
                               << "UTF8";
}

void TestServer::rolesAndEncodingAreCheckedAtStart() {
    QFETCH(QString, problem);
    QFETCH(QString, said);
    ServerSettings s = settings();
    if (problem == "latin1") {
        query("DROP DATABASE " + database_, "postgres");
        query("CREATE DATABASE " + database_ +
                  " ENCODING 'LATIN1' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0",
              "postgres");
    } else {
        if (problem == "tables") {
            QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
            Database::close();
        }
        query("DO $$ BEGIN CREATE ROLE vorn_clerk LOGIN; EXCEPTION WHEN duplicate_object THEN "
              "NULL; END $$",
              "postgres");
        s.user = "vorn_clerk";
        QCOMPARE(Server::write(folder_->path(), s), QString());
    }
    const QString before = state();
    const Database::OpenResult result = Database::open(folder_->path());
    QCOMPARE(result.status, Database::OpenResult::Refused);
    QVERIFY2(result.message.contains(said), qPrintable(result.message));
    QVERIFY(!result.message.contains("vorn_stamp"));
    QCOMPARE(state(), before);
}

// The real program on a connection file naming no server: it names the file and, asked to,
// goes on with the file on this computer, the connection file kept under another name.
void TestServer::realProgramOffersTheFileWhenTheServerFails() {
    ServerSettings s = settings();
    s.host = folder_->path(); // no server's socket in it
    QCOMPARE(Server::write(folder_->path(), s), QString());
    const QByteArray written = [&] {
        QFile f(Server::settingsPath(folder_->path()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    RealProgram vorn(QStringLiteral(VORN_EXE));
    vorn.environment.insert("VORN_PROGRAM_FOLDER", folder_->path());
    vorn.start();
    QVERIFY(!vorn.waitFor("box", "server.conf").isEmpty());
    vorn.send("reply yes");
    QVERIFY(!vorn.waitFor("box", "server.conf.off").isEmpty()); // set aside, and said so
    vorn.send("reply ok");
    QVERIFY(!vorn.waitFor("box", QString::fromUtf8("نخستین اجرا")).isEmpty());
    vorn.send("reply ok");
    QVERIFY(!vorn.waitFor("shown", "Frm1").isEmpty());
    QVERIFY(QFile::exists(Database::filePath(folder_->path())));
    QVERIFY(!QFile::exists(Server::settingsPath(folder_->path())));
    QFile aside(Server::settingsPath(folder_->path()) + ".off");
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), written);
}

// The administrator guide's set-up, its server commands run as written (as the postgres user, on a
// cluster of the test's own): VORN's role makes the tables at first use, another role granted as
// the guide says reads and writes them, and a dump restored into a new database opens with its
// subjects.
void TestServer::serverSetUpFromTheReadme() {
    OwnCluster own(this);
    QVERIFY(own.started());
    QFile readme(QStringLiteral(README));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    QList<QStringList> steps; // the commands of each marked block
    bool inside = false;
    for (const QString& line : QString::fromUtf8(readme.readAll()).split('\n')) {
        if (line.startsWith("<!-- server set-up -->")) {
            inside = true;
            steps.append(QStringList());
        } else if (line.startsWith("<!-- end -->"))
            inside = false;
        else if (inside && line.startsWith("sudo -u postgres "))
            steps.last() << line.mid(17).replace("--pwprompt ", ""); // trust: no password
    }
    QCOMPARE(steps.size(), 3);
    QTemporaryDir work;
    auto runStep = [&](int step) {
        for (const QString& command : steps[step]) {
            QProcess shell;
            shell.setWorkingDirectory(work.path());
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("PGHOST", socket_);
            env.insert("PGUSER", "postgres");
            shell.setProcessEnvironment(env);
            shell.start("bash", {"-c", command});
            if (!shell.waitForFinished(60000) || shell.exitCode() != 0)
                return QString(command + ": " + shell.readAllStandardError());
        }
        return QString();
    };
    auto openAs = [&](const char* user, const char* database) {
        ServerSettings s = settings();
        s.user = user;
        s.database = database;
        Server::write(folder_->path(), s);
        return Database::open(folder_->path()).status;
    };
    QCOMPARE(runStep(0), QString());
    QCOMPARE(openAs("vorn", "vorn"), Database::OpenResult::Created);
    DataView subjects;
    subjects.open("ide");
    subjects.addRow();
    subjects.setField("Code", "31");
    subjects.commit();
    Database::close();
    QCOMPARE(runStep(1), QString());
    QCOMPARE(openAs("clerk", "vorn"), Database::OpenResult::Opened);
    subjects.refresh();
    subjects.addRow();
    subjects.setField("Code", "32");
    subjects.commit();
    Database::close();
    QCOMPARE(runStep(2), QString());
    QCOMPARE(openAs("vorn", "vorn_restored"), Database::OpenResult::Opened);
    subjects.refresh();
    QCOMPARE(subjects.rowCount(), 2);
}

// Another desk registers while the export runs: the file holds the subjects of one moment, as
// many as it announces, in every format.
void TestServer::exportReadsOneMomentWhileAnotherDeskRegisters_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"a.sav", "a.csv", "a.xlsx"})
        QTest::newRow(name) << QString(name);
}

void TestServer::exportReadsOneMomentWhileAnotherDeskRegisters() {
    QFETCH(QString, name);
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    query("INSERT INTO ide (\"Code\") SELECT g::text FROM generate_series(1, 1000) g");
    const QString path = QDir(folder_->path()).filePath(name);
    int registered = 0;
    const Export::Result r = Export::write(path, *Export::formatOf(path), {}, [&](qint64, qint64) {
        query(QStringLiteral("INSERT INTO ide (\"Code\") VALUES ('x%1')").arg(++registered));
        return true;
    });
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.rows, 1000);
    QVERIFY(registered > 0);
    QCOMPARE(query("SELECT count(*) FROM ide"), {QString::number(1000 + registered)});
}

// A backup whose file holds bytes, a NUL or text that is not UTF-8: refused with the subject
// and the field named, and the server left as it was (no value changed on the way).
void TestServer::restoreRefusesWhatTheServerCannotHold_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("said");
    QTest::newRow("bytes") << "X'00FF41'" << QString::fromUtf8("متن نیستند");
    QTest::newRow("a NUL") << "CAST(X'410042' AS TEXT)" << QString::fromUtf8("NUL");
    QTest::newRow("not UTF-8") << "CAST(X'41FF42' AS TEXT)" << QString::fromUtf8("UTF-8");
}

void TestServer::restoreRefusesWhatTheServerCannotHold() {
    QFETCH(QString, value);
    QFETCH(QString, said);
    const QString backup = QDir(folder_->path()).filePath("crafted.mdbB");
    QCOMPARE(Database::createFile(backup), QString());
    QVERIFY(fileRun(backup, {"INSERT INTO ide (Code, FName) VALUES ('1', 'plain')",
                             "INSERT INTO ide (Code, LName) VALUES ('77', " + value + ")"}));
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    query("INSERT INTO ide (\"Code\") VALUES ('5')");
    const QString before = state();
    const QString refusal = Database::restoreServer(backup);
    QVERIFY2(refusal.contains(said) && refusal.contains("LName") && refusal.contains("77"),
             qPrintable(refusal));
    QCOMPARE(state(), before);
    QCOMPARE(query("SELECT \"Code\" FROM ide"), QStringList{"5"});
}

// A text of any length the file takes (40,000 bytes of letters in no repeating order, so that
// the server cannot compress it) is saved, found by its exact value and kept unique as a code,
// and a backup holding it is restored; a database an earlier version made has its indexes
// replaced at the start.
void TestServer::longTextsAreStoredAndFound_data() {
    QTest::addColumn<bool>("earlier");
    QTest::newRow("made now") << false;
    QTest::newRow("made by an earlier version") << true;
}

void TestServer::longTextsAreStoredAndFound() {
    QFETCH(bool, earlier);
    QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
    if (earlier) {
        Database::close();
        query("ALTER TABLE ide DROP CONSTRAINT vorn_ide_code_unique");
        query("DROP INDEX vorn_ide_code");
        query("CREATE UNIQUE INDEX vorn_ide_code ON ide (\"Code\")");
        for (const char* index : {"answer_code Answer Code", "ide_lname ide LName",
                                  "ide_fname ide FName", "ide_group ide Group"}) {
            const QStringList part = QString(index).split(' ');
            query("DROP INDEX vorn_" + part[0]);
            query(QString("CREATE INDEX vorn_%1 ON \"%2\" (\"%3\", vorn_row)")
                      .arg(part[0], part[1], part[2]));
        }
        QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Opened);
    }
    QString name;
    quint32 seed = 7;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        name += QChar(0x0628 + int(seed >> 16) % 20);
    }
    DataView desk;
    desk.open("ide");
    desk.addRow();
    desk.setField("Code", name);
    desk.setField("LName", name);
    desk.commit();
    DataView found;
    found.open("ide");
    found.setFilter("LName", name);
    QCOMPARE(found.rowCount(), 1);
    found.setFilter("LName", name.left(name.size() - 1)); // the same prefix is not the same
    QCOMPARE(found.rowCount(), 0);
    desk.addRow();
    desk.setField("Code", name);
    QVERIFY_THROWS_EXCEPTION(CodeTaken, desk.commit());

    const QString backup = QDir(folder_->path()).filePath("long.mdbB");
    QCOMPARE(Database::createFile(backup), QString());
    QVERIFY(fileRun(backup, {"INSERT INTO ide (Code, LName) VALUES ('1', '" + name + "')",
                             "INSERT INTO Answer (Code, \"1\") VALUES ('" + name + "', '4')"}));
    QCOMPARE(Database::restoreServer(backup), QString());
    QCOMPARE(query("SELECT count(*) FROM ide WHERE \"LName\" = '" + name + "'"), QStringList{"1"});
}

VORN_TEST_MAIN(TestServer)
#include "tst_server.moc"
