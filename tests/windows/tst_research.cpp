#include "data/Content.h"
#include "records/FrmCode.h"
#include "report/Report.h"
#include "research/Export.h"
#include "research/GroupReport.h"
#include "research/Statistics.h"
#include "scoring/Scoring.h"
#include "tests/support/Formulas.h"
#include "tests/support/PdfText.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/Seed.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <numeric>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

// Every exported file is read back by a reader this project did not write: Python's csv module
// for CSV, Gnumeric's ssconvert for XLSX, PSPP for SPSS files.
namespace {

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
    void groupStatisticsReport();
    void typedValuesAndPersianDigitsKeptInEveryFormat();
    void exportKeepsTheUsersMode_data();
    void exportKeepsTheUsersMode();
    void fullOrReadOnlyDiskSaysWhy_data();
    void fullOrReadOnlyDiskSaysWhy();
    void previewSavesPdfOrSaysWhyNot_data();
    void previewSavesPdfOrSaysWhyNot();
    void csvCellsAreNeverFormulas();
    void longAndInvalidTextsAreCutAndSaid();

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
    QVERIFY(QFileInfo(path).permissions() & QFileDevice::ReadOther);
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

namespace {

// Two passes, as a textbook computes them: the mean, then the squared deviations.

} // namespace

// Group A of three varied subjects, group B of one, group C whose answers are all the same, and
// two registered subjects not yet scored.
void TestResearch::groupStatisticsReport() {
    Seed::exec("DELETE FROM ide");
    Seed::exec("DELETE FROM Answer");
    QList<Subject> list;
    auto add = [&](const QString& code, const QString& group, auto answerOf, bool scored) {
        Subject s{code, "n", "f", "", "", "", "", group, {}, {"", "", ""}};
        for (int i = 1; i <= 33; ++i)
            s.answers << QString::number(answerOf(i));
        if (scored)
            for (size_t k = 0; k < 3; ++k) {
                double sum = 0;
                for (int item : Scoring::key()[k].items)
                    sum += s.answers[item - 1].toDouble();
                s.scores[k] = Scoring::ScoreText(sum, Scoring::key()[k].divisor);
            }
        list << s;
    };
    add(
        "1", "A", [](int i) { return 1 + i % 5; }, true);
    add(
        "2", "A", [](int i) { return 1 + (i * 2) % 5; }, true);
    add(
        "3", "A", [](int i) { return 1 + (i * 3 + 1) % 5; }, true);
    add(
        "4", "B", [](int i) { return 1 + (i + 2) % 5; }, true);
    add(
        "5", "C", [](int) { return 3; }, true);
    add(
        "6", "C", [](int) { return 3; }, true);
    add(
        "7", "A", [](int) { return 2; }, false);
    add(
        "8", "", [](int) { return 2; }, false);
    store(list);

    const GroupReport::Figures f = GroupReport::compute();
    QCOMPARE(f.notScored, 2);
    QCOMPARE(f.groups.size(), 4); // all, A, B, C
    QCOMPARE(f.groups[0].scored, 6);
    QCOMPARE(f.groups[1].name, QStringLiteral("A"));
    QCOMPARE(f.groups[1].scored, 3);
    // Independent figures for group A's first subscale.
    QList<double> scores;
    QList<QList<double>> answers;
    for (int s = 0; s < 3; ++s) {
        scores << list[s].scores[0].toDouble();
        QList<double> a;
        for (int item : Scoring::key()[0].items)
            a << list[s].answers[item - 1].toDouble();
        answers << a;
    }
    const Statistics::Summary a = f.groups[1].scores[0];
    QVERIFY(std::abs(a.mean - std::accumulate(scores.begin(), scores.end(), 0.0) / 3) < 1e-9);
    QVERIFY(std::abs(a.sd - std::sqrt(sampleVariance(scores))) < 1e-9);
    QVERIFY(std::abs(f.groups[1].alpha[0] - alphaByFormula(answers)) < 1e-9);
    QCOMPARE(f.groups[1].alphaCount[0], 3);
    QVERIFY(std::isnan(f.groups[2].scores[0].sd)); // a group of one
    QVERIFY(std::isnan(f.groups[2].alpha[0]));
    QVERIFY(std::isnan(f.groups[3].alpha[1])); // all answers the same
    QCOMPARE(f.groups[3].itemMeans[7], 3.0);

    const QString pdf = out.filePath("groups.pdf");
    std::unique_ptr<Report> report = GroupReport::report(f, u("کلینیک آرامش"));
    QVERIFY(report->writePdf(pdf));
    if (qEnvironmentVariableIsSet("VORN_DOCS"))
        QProcess::execute(
            "pdftoppm",
            {"-png", "-r", "70", "-f", "1", "-l", "1", "-singlefile", pdf,
             QDir(qEnvironmentVariable("VORN_DOCS")).filePath("report-group-statistics")});
    const QString text = PdfText::text(pdf);
    // What a PDF gives back of Persian: no zero-width joiners or marks, brackets mirrored.
    auto plain = [](QString t) {
        t = PdfText::normalized(t);
        t.remove(QRegularExpression(QStringLiteral("[\\s()\\x{200C}\\x{200E}]")));
        return t;
    };
    for (const QString& expected :
         {u("گروه A"), u("گروه B"), u("گروه C"), u("تعریف نمی‌شود"), u("آرامش"),
          GroupReport::number(a.mean), GroupReport::alphaText(f.groups[1].alpha[0], 3),
          u("در این آمار نیامده‌اند: 2"),
          u("نمره‌گذاری‌شده: 1 نفر")})
        QVERIFY2(plain(text).contains(plain(expected)), qPrintable(expected));

    // Each subscale mean's bar fills its frame in proportion on the 1 to 5 scale: measured in
    // the rendered page, row by row through the middle of each bar.
    run("pdftoppm",
        {"-png", "-r", "100", "-f", "1", "-l", "1", "-singlefile", pdf, out.filePath("groups")});
    const QImage page(out.filePath("groups.png"));
    QVERIFY(!page.isNull());
    auto near = [](QRgb c, int r, int g, int b) {
        return std::abs(qRed(c) - r) < 6 && std::abs(qGreen(c) - g) < 6 &&
               std::abs(qBlue(c) - b) < 6;
    };
    QList<double> shares;
    for (int y = 0, barTop = -1; y < page.height(); ++y) {
        int bar = 0;
        for (int x = 0; x < page.width(); ++x)
            bar += near(page.pixel(x, y), 47, 111, 143);
        if (bar > 0 && barTop < 0)
            barTop = y;
        if (bar == 0 && barTop >= 0) { // the bar ended: its middle row tells its share
            const int middle = (barTop + y) / 2;
            int b = 0, e = 0;
            for (int x = 0; x < page.width(); ++x) {
                b += near(page.pixel(x, middle), 47, 111, 143);
                e += near(page.pixel(x, middle), 240, 240, 240);
            }
            shares << double(b) / (b + e);
            barTop = -1;
        }
    }
    QList<double> expected;
    for (const Statistics::Group& g : f.groups)
        for (const Statistics::Summary& sum : g.scores)
            expected << (sum.mean - 1) / 4;
    QVERIFY2(shares.size() >= 3, qPrintable(QString::number(shares.size())));
    for (qsizetype i = 0; i < shares.size(); ++i)
        QVERIFY2(std::abs(shares[i] - expected[i]) < 0.02,
                 qPrintable(QStringLiteral("bar %1: %2 of its frame, mean says %3")
                                .arg(i)
                                .arg(shares[i])
                                .arg(expected[i])));

    // The records window's button presents it like the other reports.
    auto* window = new FrmCode;
    window->show();
    QTest::mouseClick(control<QPushButton>(window, "CmdStats"), Qt::LeftButton);
    int previews = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        previews += w->inherits("QPrintPreviewDialog") && w->isVisible();
    QCOMPARE(previews, 1);
}

// What the registration lists accept besides their choices, and an age in Persian digits: kept
// in the .sav (a code of its own, the text as its label; the number the digits write), and in
// the spreadsheet. Codes, answers and ages show no decimals; the rows are compressed.
void TestResearch::typedValuesAndPersianDigitsKeptInEveryFormat() {
    Subject typed = subjects()[0];
    QList<Subject> list;
    for (const auto& [code, sex, marital, age] : {std::tuple{"11", "male", "متاهل", "۳۰"},
                                                  {"12", "زن", "مطلقه", "٤٢"},
                                                  {"13", "مرد", "متأهل", "25"}}) {
        typed.code = code;
        typed.sex = u(sex);
        typed.marital = u(marital);
        typed.age = u(age);
        list << typed;
    }
    Seed::exec("DELETE FROM ide");
    Seed::exec("DELETE FROM Answer");
    store(list);
    const QString sav = out.filePath("typed.sav");
    QVERIFY(Export::write(sav, Export::Format::Sav, {}, {}).error.isEmpty());
    QFile header(sav);
    QVERIFY(header.open(QIODevice::ReadOnly));
    QCOMPARE(header.read(76).mid(72), QByteArray("\x01\x00\x00\x00", 4)); // bytecode rows
    bool ok = false;
    for (const bool labels : {false, true}) {
        // Written by PSPP as it shows the values: by their print formats, or their labels.
        const QString csv = out.filePath(labels ? "labels.csv" : "codes.csv");
        const QString syntax = out.filePath("translate.sps");
        QFile file(syntax);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("GET FILE='%1'.\nSAVE TRANSLATE /OUTFILE='%2' /TYPE=CSV "
                                  "/FIELDNAMES /REPLACE /CELLS=%3.\n")
                       .arg(sav, csv, labels ? "LABELS" : "VALUES")
                       .toUtf8());
        file.close();
        run("pspp", {syntax}, &ok);
        QVERIFY(ok);
        const Table rows = readCsv(csv);
        QCOMPARE(rows.size(), 4);
        // sex, age, marital; item 1 and the first score as the sheet shows them
        auto cells = [](const QStringList& r) {
            return QStringList{r[3].trimmed(), r[4].trimmed(), r[5].trimmed(), r[10].trimmed(),
                               r[43].trimmed()};
        };
        const QString answer = labels ? u("موافق") : "2";
        if (labels) {
            QCOMPARE(cells(rows[1]), (QStringList{"male", "30", u("متاهل"), answer, "3.18"}));
            QCOMPARE(cells(rows[2]), (QStringList{u("زن"), "42", u("مطلقه"), answer, "3.18"}));
            QCOMPARE(cells(rows[3]), (QStringList{u("مرد"), "25", u("متأهل"), answer, "3.18"}));
        } else {
            QCOMPARE(cells(rows[1]), (QStringList{"3", "30", "3", answer, "3.18"}));
            QCOMPARE(cells(rows[2]), (QStringList{"2", "42", "4", answer, "3.18"}));
            QCOMPARE(cells(rows[3]), (QStringList{"1", "25", "2", answer, "3.18"}));
        }
    }
    const QString xlsx = out.filePath("typed.xlsx");
    QVERIFY(Export::write(xlsx, Export::Format::Xlsx, {}, {}).error.isEmpty());
    const QString sheet = run("unzip", {"-p", xlsx, "xl/worksheets/sheet1.xml"});
    for (const char* age :
         {"<c r=\"E2\" s=\"0\"><v>30</v></c>", "<c r=\"E3\" s=\"0\"><v>42</v></c>"})
        QVERIFY2(sheet.contains(age) || sheet.contains(QString(age).remove(" s=\"0\"")), age);
}

// An export holds patients' data: no more than the user's umask allows, and the mode of a file
// it replaces.
void TestResearch::exportKeepsTheUsersMode_data() {
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("older"); // the mode of a file of that name before, or -1
    QTest::addColumn<int>("mode");
    QTest::newRow("umask 077") << 077 << -1 << 0600;
    QTest::newRow("umask 022") << 022 << -1 << 0644;
    QTest::newRow("over a file of mode 600, umask 022") << 022 << 0600 << 0600;
    QTest::newRow("over a file of mode 640, umask 077") << 077 << 0640 << 0640;
}

void TestResearch::exportKeepsTheUsersMode() {
    QFETCH(int, umask);
    QFETCH(int, older);
    QFETCH(int, mode);
    const mode_t before = ::umask(mode_t(umask));
    const auto restore = qScopeGuard([before] { ::umask(before); });
    for (const char* name : {"m.csv", "m.xlsx", "m.sav"}) {
        const QString path = out.filePath(name);
        QFile::remove(path);
        if (older >= 0) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(older)) == 0);
        }
        QVERIFY(Export::write(path, *Export::formatOf(path), {}, {}).error.isEmpty());
        struct stat written {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &written) == 0);
        QCOMPARE(int(written.st_mode & 0777), mode);
    }
}

// A full disk and a read-only one (a small file system mounted for the test, as root): a
// Persian reason in every format, no file, and nothing of the export left open, so the disk can
// be taken out.
void TestResearch::fullOrReadOnlyDiskSaysWhy_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("full");
    for (const char* name : {"s.csv", "s.xlsx", "s.sav"}) {
        QTest::addRow("%s, disk full", name) << QString(name) << true;
        QTest::addRow("%s, read-only disk", name) << QString(name) << false;
    }
}

void TestResearch::fullOrReadOnlyDiskSaysWhy() {
    QFETCH(QString, name);
    QFETCH(bool, full);
    QTemporaryDir disk;
    const QString options = full ? "size=48k" : "size=48k,ro";
    if (::geteuid() != 0 ||
        QProcess::execute("mount", {"-t", "tmpfs", "-o", options, "tmpfs", disk.path()}) != 0)
        QSKIP("mounting a small disk needs root");
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", disk.path()}); });
    QSqlQuery q(Database::connection());
    q.exec("BEGIN");
    for (int i = 100; i < 1600; ++i) // more than the disk holds, in every format
        q.exec(QStringLiteral("INSERT INTO ide (Code, FName, LName) VALUES ('%1', "
                              "'%2', '%2')")
                   .arg(i)
                   .arg(QString::number(i * 7919, 36).repeated(8)));
    q.exec("COMMIT");
    const QString path = QDir(disk.path()).filePath(name);
    const Export::Result r = Export::write(path, *Export::formatOf(path), {}, {});
    const QString said = full ? u("جای خالی دیسک") : u("فقط‌خواندنی");
    QVERIFY2(r.error.contains(said), qPrintable(r.error));
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files))
        QVERIFY2(!fd.symLinkTarget().startsWith(disk.path()), qPrintable(fd.symLinkTarget()));
    QCOMPARE(QProcess::execute("umount", {disk.path()}), 0); // the disk can be taken out
}

// "Save as PDF" in a report's preview: the file, or a message saying it was not written.
void TestResearch::previewSavesPdfOrSaysWhyNot_data() {
    QTest::addColumn<QString>("where");
    QTest::newRow("a folder that can be written") << "here";
    QTest::newRow("a folder that does not exist") << "missing";
}

void TestResearch::previewSavesPdfOrSaysWhyNot() {
    QFETCH(QString, where);
    const QString path = out.filePath(where == "here" ? "g.pdf" : "missing/g.pdf");
    ScriptedDialogs dialogs;
    dialogs.answer(path);
    std::unique_ptr<Report> report = GroupReport::report(GroupReport::compute(), u("کلینیک"));
    report->present(nullptr);
    QAction* save = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QPrintPreviewDialog") && w->isVisible())
            save = w->findChild<QAction*>("savePdf");
    QVERIFY(save);
    save->trigger();
    QCOMPARE(QFileInfo(path).size() > 1000, where == "here");
    QCOMPARE(dialogs.shown.size(), where == "here" ? 1 : 2); // the save dialog, the message
    if (where != "here")
        QVERIFY(dialogs.shown.last().text.contains(u("PDF نوشته نشد")));
}

// A stored text that a spreadsheet would run as a formula comes out with an apostrophe first;
// a number stays a number.
void TestResearch::csvCellsAreNeverFormulas() {
    Seed::exec("DELETE FROM ide");
    Subject s = subjects()[1];
    s.fname = "=1+1";
    s.lname = "=HYPERLINK(\"http://x\")";
    s.educ = "@cmd";
    s.group = "\tB";
    s.age = "-3";
    store({s});
    const QString path = out.filePath("formulas.csv");
    QVERIFY(Export::write(path, Export::Format::Csv, {}, {}).error.isEmpty());
    const Table rows = readCsv(path);
    QCOMPARE(rows[1].mid(1, 7), (QStringList{"'=1+1", "'=HYPERLINK(\"http://x\")", u("مرد"), "-3",
                                             u("مجرد"), "'@cmd", "'\tB"}));
}

// A name of 40,000 bytes, a field of 40,000 characters, a stored value that is not UTF-8: the
// .sav is read by PSPP without a warning and the sheet is written; what a format could not hold
// is cut at a letter's end and named by subject and field.
void TestResearch::longAndInvalidTextsAreCutAndSaid() {
    QSqlQuery q(Database::connection());
    q.exec("DELETE FROM ide");
    QVERIFY(q.prepare("INSERT INTO ide (Code, FName, LName, Tahsil) VALUES ('9', ?, "
                      "CAST(X'41FF42' AS TEXT), ?)"));
    q.addBindValue(QString(20000, QChar(0x0628)));
    q.addBindValue(QString(40000, 'e'));
    QVERIFY(q.exec());
    const QString sav = out.filePath("long.sav");
    Export::Result r = Export::write(sav, Export::Format::Sav, {}, {});
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY2(r.cut.contains(u("آزمودنی 9: نام")), qPrintable(r.cut.join('|')));
    const QString syntax = out.filePath("long.sps");
    QFile file(syntax);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("GET FILE='" + sav.toUtf8() + "'.\nLIST /VARIABLES=code lname.\n");
    file.close();
    bool ok = false;
    const QString listing = run("pspp", {syntax}, &ok);
    QVERIFY(ok);
    QVERIFY2(!listing.contains("warning", Qt::CaseInsensitive), qPrintable(listing.left(400)));
    const QString csv = out.filePath("long.csv");
    run("pspp-convert", {sav, csv}, &ok);
    const Table rows = readCsv(csv);
    QVERIFY(rows.value(1).value(1).startsWith(QString(100, QChar(0x0628))));
    QVERIFY(rows.value(1).value(1).toUtf8().size() <= 4000);
    r = Export::write(out.filePath("long.xlsx"), Export::Format::Xlsx, {}, {});
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.cut, QStringList{u("آزمودنی 9: تحصيلات")});
}

VORN_TEST_MAIN(TestResearch)
#include "tst_research.moc"
