#include "Content.h"
#include "Export.h"
#include "FrmCode.h"
#include "ScriptedDialogs.h"
#include "TempProgramFolder.h"
#include "TestMain.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

// Every exported file is read back by a reader this project did not write: Python's csv module
// for CSV, Gnumeric's ssconvert for XLSX, PSPP for SPSS files.
namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

using Table = QList<QStringList>;

QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr) {
    QProcess p;
    p.start(program, arguments);
    const bool done =
        p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    if (!done)
        qWarning("%s: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A CSV file as Python's standard reader reads it (a byte-order mark is not data).
Table readCsv(const QString& path) {
    bool ok = false;
    const QString json = run("/usr/bin/python3",
                             {"-c",
                              "import csv, json, sys\n"
                              "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                              "    print(json.dumps(list(csv.reader(f)), ensure_ascii=False))",
                              path},
                             &ok);
    Table rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(json.toUtf8()).array()) {
        QStringList fields;
        for (const QJsonValue& f : row.toArray())
            fields << f.toString();
        rows << fields;
    }
    return rows;
}

struct Subject {
    QString code, fname, lname, sex, age, marital, educ, group;
    QStringList answers; // 33, "" for unanswered
    QStringList scores;  // 3, "" when not scored
};

QList<Subject> subjects() {
    QStringList all, some;
    for (int i = 1; i <= 33; ++i) {
        all << QString::number(1 + i % 5);
        some << (i == 5 || i == 33 ? QString() : QString::number(1 + (i * 3) % 5));
    }
    return {
        {"1",
         "Sara \"the first\", Amini",
         u("چند\nخطی"),
         u("زن"),
         "30",
         u("متأهل"),
         u("کارشناسی"),
         "B",
         all,
         {"3.18", "2.88", "3.07"}},
        {"2", u("علی"), u("کریمی"), u("مرد"), "", u("مجرد"), "", "A", some, {"", "", ""}},
        {"007",
         " padded ",
         "x,y",
         "",
         "41",
         "",
         u("دیپلم"),
         "B",
         QStringList(33, QString()),
         {"", "", ""}},
    };
}

void store(const QList<Subject>& list) {
    QSqlQuery q(Database::connection());
    for (const Subject& s : list) {
        q.prepare("INSERT INTO ide (Code, FName, LName, Jens, Sen, Taahol, Tahsil, \"Group\", "
                  "Date, Time, KHalaghiyat, Balidagi, Taahod) VALUES (?,?,?,?,?,?,?,?,"
                  "'1405/09/18','10:20:30',?,?,?)");
        for (const QString& v :
             {s.code, s.fname, s.lname, s.sex, s.age, s.marital, s.educ, s.group})
            q.addBindValue(v);
        for (const QString& v : s.scores)
            q.addBindValue(v);
        QVERIFY(q.exec());
        QStringList marks(33, "?");
        q.prepare("INSERT INTO Answer VALUES (?, " + marks.join(',') + ")");
        q.addBindValue(s.code);
        for (const QString& a : s.answers)
            q.addBindValue(a);
        QVERIFY(q.exec());
    }
}

QStringList expectedRow(const Subject& s) {
    return QStringList{s.code,    s.fname, s.lname, s.sex,        s.age,
                       s.marital, s.educ,  s.group, "1405/09/18", "10:20:30"} +
           s.answers + s.scores;
}

} // namespace

class TestResearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void csvGivesBackEveryField_data();
    void csvGivesBackEveryField();
    void xlsxHasTheCsvCells();
    void savReadByPspp();
    void failureLeavesNoFile_data();
    void failureLeavesNoFile();
    void exportFromTheRecordsWindow();

private:
    std::unique_ptr<TempProgramFolder> folder;
    QTemporaryDir out;
};

void TestResearch::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    store(subjects());
}

void TestResearch::cleanup() {
    deleteAllWindows();
    folder.reset();
}

void TestResearch::csvGivesBackEveryField_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("all subjects") << "" << QStringList{"1", "2", "007"};
    QTest::newRow("group B") << "B" << QStringList{"1", "007"};
    QTest::newRow("a group nobody is in") << "G" << QStringList{};
}

void TestResearch::csvGivesBackEveryField() {
    QFETCH(QString, group);
    QFETCH(QStringList, codes);
    const QString path = out.filePath("subjects.csv");
    const Export::Result r = Export::write(path, Export::Format::Csv, group, {});
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.rows, codes.size());
    QVERIFY(QFile(path).open(QIODevice::ReadOnly));
    const Table rows = readCsv(path);
    QCOMPARE(rows.size(), codes.size() + 1);
    QCOMPARE(rows[0].size(), 46);
    QCOMPARE(rows[0][0], u("کد"));
    QCOMPARE(rows[0][10], u("سؤال 1"));
    QCOMPARE(rows[0][45], u("تعهد"));
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const auto all = subjects();
        const auto s = std::find_if(all.begin(), all.end(),
                                    [&](const Subject& x) { return x.code == codes[i]; });
        QCOMPARE(rows[i + 1], expectedRow(*s));
    }
}

void TestResearch::xlsxHasTheCsvCells() {
    const QString csv = out.filePath("subjects.csv");
    const QString xlsx = out.filePath("subjects.xlsx");
    const QString converted = out.filePath("from-xlsx.csv");
    QVERIFY(Export::write(csv, Export::Format::Csv, {}, {}).error.isEmpty());
    QVERIFY(Export::write(xlsx, Export::Format::Xlsx, {}, {}).error.isEmpty());
    bool ok = false;
    run("ssconvert", {xlsx, converted}, &ok);
    QVERIFY(ok);
    // The same cells; a number may be written with more digits (2.88 as 2.8800000000000000001).
    const Table fromXlsx = readCsv(converted), fromCsv = readCsv(csv);
    QCOMPARE(fromXlsx.size(), fromCsv.size());
    for (qsizetype r = 0; r < fromCsv.size(); ++r) {
        QCOMPARE(fromXlsx[r].size(), fromCsv[r].size());
        for (qsizetype c = 0; c < fromCsv[r].size(); ++c) {
            bool a = false, b = false;
            const double x = fromXlsx[r][c].toDouble(&a), y = fromCsv[r][c].toDouble(&b);
            if (a && b && r > 0 && c >= 10)
                QVERIFY(std::abs(x - y) < 1e-9);
            else
                QCOMPARE(fromXlsx[r][c], fromCsv[r][c]);
        }
    }
    // Right to left, and the answers and scores stored as numbers, not as texts.
    const QString sheet = run("unzip", {"-p", xlsx, "xl/worksheets/sheet1.xml"});
    QVERIFY(sheet.contains("rightToLeft=\"1\""));
    QVERIFY(sheet.contains("<c r=\"K2\" s=\"0\"><v>2</v></c>") ||
            sheet.contains("<c r=\"K2\"><v>2</v></c>"));
    QVERIFY(sheet.contains("<v>3.18</v>"));
}

void TestResearch::savReadByPspp() {
    const QString sav = out.filePath("subjects.sav");
    QVERIFY(Export::write(sav, Export::Format::Sav, {}, {}).error.isEmpty());
    bool ok = false;
    const QString csv = out.filePath("from-sav.csv");
    run("pspp-convert", {sav, csv}, &ok);
    QVERIFY(ok);
    const Table rows = readCsv(csv);
    QCOMPARE(rows.size(), 4);
    QStringList names{"code",    "fname", "lname", "sex",  "age",
                      "marital", "educ",  "group", "date", "time"};
    for (int i = 1; i <= 33; ++i)
        names << QStringLiteral("item%1").arg(i, 2, 10, QLatin1Char('0'));
    names << QStringList{"innov", "matur", "engag"};
    QCOMPARE(rows[0], names);
    const QList<Subject> all = subjects();
    auto numberOrMissing = [](const QString& t) {
        return t.trimmed() == "." ? QString() : t.trimmed();
    };
    for (int r = 0; r < 3; ++r) {
        const Subject& s = all[r];
        const QStringList& got = rows[r + 1];
        QCOMPARE(got[0].trimmed(), s.code.trimmed());
        QCOMPARE(got[1].trimmed(), s.fname.trimmed());
        QCOMPARE(got[2], s.lname);
        // Coded: 1 and 2 as the registration lists them; age a number.
        QCOMPARE(numberOrMissing(got[3]).toDouble(),
                 double(Tables::sexChoices().indexOf(s.sex) + 1));
        QCOMPARE(numberOrMissing(got[4]), s.age.isEmpty() ? QString() : numberOrMissing(got[4]));
        if (!s.age.isEmpty())
            QCOMPARE(got[4].toDouble(), s.age.toDouble());
        for (int i = 0; i < 33; ++i) {
            if (s.answers[i].isEmpty())
                QCOMPARE(numberOrMissing(got[10 + i]), QString()); // system-missing
            else
                QCOMPARE(got[10 + i].toDouble(), s.answers[i].toDouble());
        }
        for (int i = 0; i < 3; ++i)
            if (!s.scores[i].isEmpty())
                QCOMPARE(got[43 + i].toDouble(), s.scores[i].toDouble());
    }
    // The dictionary: variable labels and value labels in the file itself.
    const QString syntax = out.filePath("dictionary.sps");
    QFile file(syntax);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("GET FILE='" + sav.toUtf8() + "'.\nDISPLAY DICTIONARY.\n");
    file.close();
    const QString listing = out.filePath("dictionary.txt");
    run("pspp", {syntax, "-O", "format=txt", "-o", listing}, &ok);
    QVERIFY(ok);
    QFile text(listing);
    QVERIFY(text.open(QIODevice::ReadOnly));
    const QString dictionary = QString::fromUtf8(text.readAll());
    // The listing wraps long labels within its table cells: compared without blanks and rules.
    auto squeezed = [](QString t) {
        t.remove(QRegularExpression(QStringLiteral("[\\s|+\\-]")));
        return t;
    };
    for (const QString& expected :
         {u("نام خانوادگي"), u("کاملاً موافق"), u("کاملاً مخالف"), u("نمي دانم"), u("متأهل"),
          u("باليدگي"), Tables::itemTexts()[0].left(20), Tables::itemTexts()[32].left(20)})
        QVERIFY2(squeezed(dictionary).contains(squeezed(expected)), qPrintable(expected));
}

// A folder that does not exist, and a cancel: a clear message or nothing, and no file, an older
// one of that name kept as it was.
void TestResearch::failureLeavesNoFile_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("cancel");
    for (const auto& [name, format] : {std::pair{"csv", Export::Format::Csv},
                                       {"xlsx", Export::Format::Xlsx},
                                       {"sav", Export::Format::Sav}}) {
        QTest::addRow("%s, no such folder", name) << int(format) << false;
        QTest::addRow("%s, cancelled", name) << int(format) << true;
    }
}

void TestResearch::failureLeavesNoFile() {
    QFETCH(int, format);
    QFETCH(bool, cancel);
    QSqlQuery q(Database::connection());
    q.exec("BEGIN");
    for (int i = 100; i < 1200; ++i) // enough rows for the progress to be asked
        q.exec(QStringLiteral("INSERT INTO ide (Code) VALUES ('%1')").arg(i));
    q.exec("COMMIT");
    QTemporaryDir here;
    const QString path = cancel ? here.filePath("old.file") : here.filePath("missing/subjects.x");
    if (cancel) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older");
    }
    const Export::Result r = Export::write(path, Export::Format(format), {},
                                           [](qint64 done, qint64) { return done < 512; });
    if (cancel) {
        QVERIFY(r.cancelled);
        QVERIFY(r.error.isEmpty());
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("older"));
    } else {
        QVERIFY(r.error.contains(QDir::toNativeSeparators(path)));
        QVERIFY(!QFile::exists(path));
    }
    QCOMPARE(QDir(here.path()).entryList(QDir::Files | QDir::Hidden),
             cancel ? QStringList{"old.file"} : QStringList{});
}

void TestResearch::exportFromTheRecordsWindow() {
    ScriptedDialogs dialogs;
    auto* window = new FrmCode;
    window->show();
    auto* groups = control<QComboBox>(window, "Combo3");
    groups->setCurrentIndex(groups->findText("B")); // the group chosen in the list
    const QString path = out.filePath("group-b.sav");
    dialogs.answer(path);
    auto* button = control<QPushButton>(window, "CmdExport");
    QCOMPARE(button->text(), u("خروجی برای تحلیل"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(dialogs.shown.last().text, u("2 آزمودنی در پرونده نوشته شد."));
    bool ok = false;
    run("pspp-convert", {path, out.filePath("b.csv")}, &ok);
    QVERIFY(ok);
    QCOMPARE(readCsv(out.filePath("b.csv")).size(), 3);
    // A name without a known ending is refused before anything is written.
    dialogs.answer(out.filePath("subjects.txt"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(dialogs.shown.last().title, u("خطا"));
    QVERIFY(!QFile::exists(out.filePath("subjects.txt")));
}

VORN_TEST_MAIN(TestResearch)
#include "tst_research.moc"
