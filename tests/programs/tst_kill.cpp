// The real program killed (SIGKILL) at random moments while it saves answers and scores, on a
// copy of the stress test's database. After every restart the file must be whole, every answer
// and score the screen had shown must be stored, and nothing else may have changed.
//
// The program is driven from inside by an input plugin (tests/driver) that reports on standard
// output each answer and score once the screen shows it. Set VORN_KILL_SEED to replay a run.
// With VORN_TEST_PG_STATE set (the test run's private PostgreSQL server) the same runs on a
// server database that starts as a copy of the same rows.
#include "data/Content.h"
#include "data/Database.h"
#include "data/Server.h"
#include "scoring/Scoring.h"
#include "tests/support/RealProgram.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <optional>

namespace {

bool onServer() {
    return qEnvironmentVariableIsSet("VORN_TEST_PG_STATE");
}

const QString kServerDatabase = QStringLiteral("vorn_kill");

// A connection of the test's own to what the program works on: the file, read-only (a journal
// the restart should have rolled back then makes the reads fail), or the server database.
QSqlDatabase openStore(const QString& name, const QString& file) {
    if (!onServer()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        db.open();
        return db;
    }
    QFile state(qEnvironmentVariable("VORN_TEST_PG_STATE"));
    state.open(QIODevice::ReadOnly);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(QString::fromUtf8(state.readAll()).trimmed());
    db.setUserName(QStringLiteral("postgres"));
    db.setDatabaseName(kServerDatabase);
    db.open();
    return db;
}

// Every field but the row number, in stored order.
QString selectAll(const char* table) {
    const Tables::Table& t = Tables::byName(QString::fromLatin1(table));
    QStringList fields;
    for (const QString& f : t.fields)
        fields << QLatin1Char('"') + f + QLatin1Char('"');
    return QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY %3")
        .arg(fields.join(','), t.name,
             onServer() ? QStringLiteral("vorn_row") : QStringLiteral("rowid"));
}

constexpr int KillRounds = 20;
constexpr int SubjectsPerRound = 2;
constexpr int StartTimeout = 120000; // the sanitizer build starts slowly
constexpr int PlanTimeout = 300000;  // a plan takes about a second

struct Subject {
    QString code;
    QStringList answers;
};

// What the database may hold after a kill, built from what the program reported.
struct Expected {
    // Per code and item, the values that may be stored: the last acknowledged one and any
    // clicked after it (its write may have finished just before the kill).
    QHash<QString, QList<QSet<QString>>> answers;
    // Per code, the acknowledged scores; empty while a scoring was cut short.
    QHash<QString, std::optional<QStringList>> scores;
    QList<QStringList> otherIdeFields; // by row: every field but the scores, never changed
};

// An ide row split into its scores and every other field.
struct IdeRow {
    QStringList scores, others;
};

IdeRow ideRow(const QSqlQuery& q) {
    static const QStringList scoreFields = [] {
        QStringList fields;
        for (const Scoring::Subscale& s : Scoring::key())
            fields << QString::fromLatin1(s.field);
        return fields;
    }();
    IdeRow row;
    const QSqlRecord record = q.record();
    for (int i = 0; i < record.count(); ++i)
        (scoreFields.contains(record.fieldName(i)) ? row.scores : row.others)
            << q.value(i).toString();
    return row;
}

} // namespace

class TestKill : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killedWhileSaving();

private:
    struct RunResult {
        QList<QStringList> lines; // the driver's reports, split at tabs
        qint64 goToDone = -1;     // milliseconds, when the plan was finished
        QString errors;
    };

    RunResult run(const QList<Subject>& plan, std::optional<qint64> killAfter, int stopAfter = 0);
    void checkDatabase(const QString& when);
    void apply(const RunResult& result);
    QList<Subject> drawPlan();

    std::unique_ptr<TempProgramFolder> folder_;
    QRandomGenerator random_;
    QStringList codes_;
    Expected expected_;
    QString planPath_;
};

void TestKill::initTestCase() {
    QVERIFY2(QFile::exists(QStringLiteral(STRESS_DATABASE)),
             "the stress test leaves the database this test starts from");
    folder_ = std::make_unique<TempProgramFolder>();
    QDir().mkpath(QFileInfo(folder_->databasePath()).absolutePath());
    if (onServer()) {
        {
            QSqlDatabase admin = openStore(QStringLiteral("admin"), {});
            admin.setDatabaseName(QStringLiteral("postgres"));
            admin.close();
            QVERIFY(admin.open());
            QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS ") + kServerDatabase);
            QVERIFY(QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE ") + kServerDatabase));
            admin.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("admin"));
        ServerSettings s;
        s.host = QString::fromUtf8([] {
                     QFile f(qEnvironmentVariable("VORN_TEST_PG_STATE"));
                     f.open(QIODevice::ReadOnly);
                     return f.readAll();
                 }())
                     .trimmed();
        s.database = kServerDatabase;
        s.user = QStringLiteral("postgres");
        s.sslMode = QStringLiteral("disable");
        QCOMPARE(Server::write(folder_->path(), s), QString());
        QCOMPARE(Database::open(folder_->path()).status, Database::OpenResult::Created);
        QCOMPARE(Database::restoreServer(QStringLiteral(STRESS_DATABASE)), QString());
        Database::close();
    } else {
        QVERIFY(QFile::copy(QStringLiteral(STRESS_DATABASE), folder_->databasePath()));
    }
    planPath_ = QDir(folder_->path()).filePath(QStringLiteral("plan.txt"));

    bool seeded = false;
    quint32 seed = qEnvironmentVariable("VORN_KILL_SEED").toUInt(&seeded);
    if (!seeded)
        seed = QRandomGenerator::system()->generate();
    random_.seed(seed);
    qInfo("VORN_KILL_SEED=%u", seed); // for a replay of a failed run

    QSqlDatabase db = openStore(QStringLiteral("orig"), folder_->databasePath());
    QVERIFY(db.isOpen());
    {
        QSqlQuery q(db);
        QVERIFY(q.exec(selectAll(Tables::Answer)));
        while (q.next()) {
            const QString code = q.value(0).toString();
            QList<QSet<QString>> items;
            for (int item = 1; item <= Tables::ItemCount; ++item)
                items << QSet<QString>{q.value(item).toString()};
            expected_.answers.insert(code, items);
            codes_ << code;
        }
        QVERIFY(q.exec(selectAll(Tables::Ide)));
        while (q.next()) {
            const IdeRow row = ideRow(q);
            expected_.otherIdeFields << row.others;
            expected_.scores.insert(q.value(QStringLiteral("Code")).toString(), row.scores);
        }
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("orig"));
    QVERIFY(codes_.size() >= 100);
}

QList<Subject> TestKill::drawPlan() {
    QList<Subject> plan;
    for (int n = 0; n < SubjectsPerRound; ++n) {
        Subject s{codes_[random_.bounded(int(codes_.size()))], {}};
        for (int item = 0; item < Tables::ItemCount; ++item)
            s.answers << QString::number(1 + random_.bounded(5));
        plan << s;
    }
    return plan;
}

// Starts the program on the plan, checks the database once it is up, lets it work, and kills
// it after killAfter milliseconds (or once the plan is done).
TestKill::RunResult TestKill::run(const QList<Subject>& plan, std::optional<qint64> killAfter,
                                  int stopAfter) {
    RunResult result;
    QFile planFile(planPath_);
    if (!planFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        result.errors = QStringLiteral("plan not written");
        return result;
    }
    for (const Subject& s : plan)
        planFile.write(
            (s.code + QLatin1Char('\t') + s.answers.join(QLatin1Char(' ')) + QLatin1Char('\n'))
                .toUtf8());
    planFile.close();

    RealProgram program(QStringLiteral(VORN_EXE), QStringLiteral("vorndriver"));
    program.environment.insert(QStringLiteral("VORN_DRIVER_PLAN"), planPath_);
    program.environment.insert(QStringLiteral("VORN_PROGRAM_FOLDER"), folder_->path());
    if (stopAfter > 0)
        program.environment.insert(QStringLiteral("VORN_DRIVER_STOP_AFTER"),
                                   QString::number(stopAfter));
    program.start();
    QProcess& vorn = program.process();
    if (QTest::currentTestFailed()) {
        result.errors = vorn.errorString();
        return result;
    }

    QByteArray pending;
    auto readLines = [&] {
        pending += vorn.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith('@'))
                result.lines << QString::fromUtf8(line.mid(1)).split(QLatin1Char('\t'));
        }
    };
    auto said = [&](const QString& tag) {
        for (const QStringList& line : result.lines)
            if (line.value(0) == tag)
                return true;
        return false;
    };
    auto stop = [&](const QString& why) {
        vorn.kill();
        vorn.waitForFinished();
        readLines();
        if (!why.isEmpty())
            result.errors =
                why + QLatin1Char('\n') + QString::fromLocal8Bit(vorn.readAllStandardError());
        return result;
    };

    QElapsedTimer clock;
    clock.start();
    while (!said(QStringLiteral("ready")) && !said(QStringLiteral("box"))) {
        if (vorn.state() != QProcess::Running || clock.elapsed() > StartTimeout)
            return stop(QStringLiteral("the program did not come up"));
        vorn.waitForReadyRead(100);
        readLines();
    }
    if (said(QStringLiteral("box")))
        return stop(QStringLiteral("a message on starting"));
    checkDatabase(QStringLiteral("after a restart"));
    if (QTest::currentTestFailed())
        return stop(QString());

    vorn.write("go\n");
    clock.restart();
    auto workUntil = [&](qint64 limit, const QString& tag) {
        while (clock.elapsed() < limit && !said(tag) && !said(QStringLiteral("done")) &&
               !said(QStringLiteral("box"))) {
            if (vorn.state() != QProcess::Running)
                return false;
            vorn.waitForReadyRead(int(std::clamp<qint64>(limit - clock.elapsed(), 1, 50)));
            readLines();
        }
        return true;
    };
    if (stopAfter > 0) {
        if (!workUntil(PlanTimeout, QStringLiteral("stopped")))
            return stop(QStringLiteral("the program ended by itself"));
        clock.restart();
    }
    if (!workUntil(killAfter.value_or(PlanTimeout), QStringLiteral("done")))
        return stop(QStringLiteral("the program ended by itself"));
    if (said(QStringLiteral("done")))
        result.goToDone = clock.elapsed();
    else if (!killAfter)
        return stop(QStringLiteral("the plan was not finished in time"));
    return stop(QString());
}

void TestKill::apply(const RunResult& result) {
    for (const QStringList& line : result.lines) {
        const QString& tag = line[0];
        if (tag == QLatin1String("box"))
            QFAIL(qPrintable(QStringLiteral("the program showed a message: ") + line.value(1)));
        if (tag != QLatin1String("click") && tag != QLatin1String("ack") &&
            tag != QLatin1String("score-click") && tag != QLatin1String("score"))
            continue;
        QVERIFY2(expected_.answers.contains(line.value(1)), qPrintable(line.join(' ')));
        QList<QSet<QString>>& items = expected_.answers[line[1]];
        if (tag == QLatin1String("click")) {
            items[line.value(2).toInt() - 1].insert(line.value(3));
        } else if (tag == QLatin1String("ack")) {
            items[line.value(2).toInt() - 1] = {line.value(3)};
        } else if (tag == QLatin1String("score-click")) {
            expected_.scores[line[1]].reset();
        } else {
            const QStringList shown = line.mid(2);
            // What the screen showed must also be right: the subscale sums of the answers
            // the screen had just acknowledged.
            for (size_t s = 0; s < Scoring::key().size(); ++s) {
                double sum = 0;
                for (int item : Scoring::key()[s].items) {
                    QCOMPARE(items[item - 1].size(), 1);
                    sum += items[item - 1].begin()->toInt();
                }
                QCOMPARE(shown.value(int(s)), Scoring::ScoreText(sum, Scoring::key()[s].divisor));
            }
            expected_.scores[line[1]] = shown;
        }
    }
}

void TestKill::checkDatabase(const QString& when) {
    const QString path = folder_->databasePath();
    {
        // A journal killed before its header was written may stay: SQLite rightly ignores it.
        QSqlDatabase db = openStore(QStringLiteral("check"), path);
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (!onServer()) {
            QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
        }

        QVERIFY(q.exec(selectAll(Tables::Answer)));
        int rows = 0;
        while (q.next()) {
            ++rows;
            const QString code = q.value(0).toString();
            QVERIFY2(expected_.answers.contains(code), qPrintable(code));
            const QList<QSet<QString>>& items = expected_.answers[code];
            for (int item = 1; item <= Tables::ItemCount; ++item) {
                const QString stored = q.value(item).toString();
                QVERIFY2(
                    items[item - 1].contains(stored),
                    qPrintable(QStringLiteral("%1: subject %2 item %3 holds %4, expected one of %5")
                                   .arg(when, code)
                                   .arg(item)
                                   .arg(stored, QStringList(items[item - 1].values()).join(','))));
            }
        }
        QCOMPARE(rows, int(expected_.answers.size()));

        QVERIFY(q.exec(selectAll(Tables::Ide)));
        rows = 0;
        while (q.next()) {
            const IdeRow row = ideRow(q);
            QVERIFY(rows < expected_.otherIdeFields.size());
            QCOMPARE(row.others, expected_.otherIdeFields[rows++]);
            const std::optional<QStringList>& acknowledged =
                expected_.scores.value(q.value(QStringLiteral("Code")).toString());
            if (acknowledged)
                QCOMPARE(row.scores, *acknowledged);
        }
        QCOMPARE(rows, int(expected_.otherIdeFields.size()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

void TestKill::killedWhileSaving() {
    // A first run to the end: it shows the driver works and how long a plan takes.
    RunResult whole = run(drawPlan(), std::nullopt);
    QVERIFY2(whole.errors.isEmpty(), qPrintable(whole.errors));
    apply(whole);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(whole.goToDone > 0);
    qInfo("a plan of %d subjects takes %lld ms", SubjectsPerRound, whole.goToDone);

    // Half the kills come at any moment; the other half just after the screen acknowledged an
    // answer or a score, while the driver waits as a user reading it would.
    const int reportsPerSubject = Tables::ItemCount + 1;
    const int reportsPerPlan = SubjectsPerRound * reportsPerSubject;
    int acknowledged = 0;
    for (int round = 0; round < KillRounds; ++round) {
        const bool afterReport = round % 2 == 1;
        // A subject's reports are its 33 answers, then its scores; scores are rarer, so they
        // get as many stops as answers do.
        int stopAfter = 0;
        if (afterReport)
            stopAfter = random_.bounded(2)
                            ? 1 + random_.bounded(reportsPerPlan)
                            : reportsPerSubject * (1 + random_.bounded(SubjectsPerRound));
        const qint64 killAfter = random_.bounded(afterReport ? 30 : whole.goToDone + 1);
        RunResult killed = run(drawPlan(), killAfter, stopAfter);
        QVERIFY2(killed.errors.isEmpty(), qPrintable(killed.errors));
        apply(killed);
        if (QTest::currentTestFailed())
            return;
        for (const QStringList& line : killed.lines)
            acknowledged += line[0] == QLatin1String("ack") || line[0] == QLatin1String("score");
        QStringList last;
        for (const QStringList& line : killed.lines)
            if (line[0] != QLatin1String("stopped"))
                last = line;
        qInfo("round %d: killed %lld ms after %s, last report: %s", round + 1, killAfter,
              afterReport ? "it stopped" : "go", qPrintable(last.join(QLatin1Char(' '))));
    }
    // The last restart: its check runs before the plan starts; an empty plan ends at once.
    RunResult last = run({}, std::nullopt);
    QVERIFY2(last.errors.isEmpty(), qPrintable(last.errors));
    QVERIFY(acknowledged > 0);
}

VORN_TEST_MAIN(TestKill)
#include "tst_kill.moc"
