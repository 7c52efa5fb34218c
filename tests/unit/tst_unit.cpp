#include "core/Val.h"
#include "data/Content.h"
#include "data/Module7.h"
#include "research/GroupReport.h"
#include "research/Statistics.h"
#include "scoring/Scoring.h"
#include "tests/support/Formulas.h"
#include "tests/support/TestMain.h"

#include <QCalendar>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

// Pure functions: the number parse and its text, the Persian calendar, the scores, the statistics.
class TestUnit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void val_data();
    void val();
    void numberText_data();
    void numberText();
    void solarDate_data();
    void solarDate();
    void solarCalendarIsContinuous();
    void solarDateAgreesWithQtsCalendar();
    void leapYears();
    void clockTextHasSeconds();
    void scoresFromTheAnswers_data();
    void scoresFromTheAnswers();
    void scoreText_data();
    void scoreText();
    void decimalTextHasNoExponent();
    void missingItemsText();
    void keyCoversEveryItemOnce();
    void alphaAndSummariesByTheirFormulas();
};

void TestUnit::val_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("plain") << "12" << 12.0;
    QTest::newRow("decimal") << "2.12" << 2.12;
    QTest::newRow("line end after number") << "2.12\n" << 2.12;
    QTest::newRow("carriage return ends") << "2.1\r2" << 2.1;
    QTest::newRow("blanks inside") << " 1 2 . 5" << 12.5;
    QTest::newRow("tabs and line feeds anywhere") << "\n\t3\t4\n" << 34.0;
    QTest::newRow("minus") << "-7.5" << -7.5;
    QTest::newRow("plus") << "+4" << 4.0;
    QTest::newRow("sign then blank") << "- 3" << -3.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("point last") << "5." << 5.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("second point ends") << "1.2.3" << 1.2;
    QTest::newRow("letter ends") << "3a4" << 3.0;
    QTest::newRow("leading letter") << "v2.11" << 0.0;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("exponent capital, signed") << "25E-1" << 2.5;
    QTest::newRow("exponent with blanks") << "1 e 2" << 100.0;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("exponent sign without digits") << "7e+x" << 7.0;
    QTest::newRow("comma is no point") << "2,5" << 2.0;
    QTest::newRow("html page") << "<html>2.2</html>" << 0.0;
    QTest::newRow("persian digits are not digits") << u("۲") << 0.0;
    QTest::newRow("out of range reads 0") << "1e999" << 0.0;
    QTest::newRow("version older") << "2.105" << 2.105;
}

void TestUnit::val() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Val(text), value);
}

void TestUnit::numberText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("version") << 2.12 << "2.12";
    QTest::newRow("whole") << 3.0 << "3";
    QTest::newRow("mean") << 35.0 / 11 << "3.18181818181818";
    QTest::newRow("negative") << -2.5 << "-2.5";
}

void TestUnit::numberText() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(NumberText(value), text);
}

void TestUnit::solarDate_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    const QDate july(2023, 7, 31);
    QTest::newRow("mode 0") << july << 0 << "1402/05/09";
    QTest::newRow("mode 1") << july << 1 << u("9 مرداد 1402");
    QTest::newRow("mode 2") << july << 2 << u("دوشنبه 1402/5/9");
    QTest::newRow("mode 3") << july << 3 << u("دوشنبه 9 مرداد 1402");
    QTest::newRow("mode 4") << july << 4 << "1402.5.9";
    QTest::newRow("mode 5") << july << 5 << "";
    QTest::newRow("mode -1") << july << -1 << "";
    QTest::newRow("day before the epoch") << QDate(1953, 3, 20) << 0 << "";
    QTest::newRow("day before the epoch, mode 3") << QDate(1953, 3, 20) << 3 << "";
    QTest::newRow("epoch") << QDate(1953, 3, 21) << 0 << "1332/01/01";
    QTest::newRow("last of month 6") << QDate(2023, 9, 22) << 0 << "1402/06/31";
    QTest::newRow("first of month 7") << QDate(2023, 9, 23) << 0 << "1402/07/01";
    QTest::newRow("first of month 7, mode 3") << QDate(2023, 9, 23) << 3 << u("شنبه 1 مهر 1402");
    QTest::newRow("end of 1402") << QDate(2024, 3, 19) << 0 << "1402/12/29";
    QTest::newRow("start of 1403") << QDate(2024, 3, 20) << 0 << "1403/01/01";
    QTest::newRow("leap day 1403") << QDate(2025, 3, 20) << 0 << "1403/12/30";
    QTest::newRow("leap day 1403, mode 2") << QDate(2025, 3, 20) << 2 << u("پنجشنبه 1403/12/30");
    QTest::newRow("start of 1404") << QDate(2025, 3, 21) << 1 << u("1 فروردين 1404");
    QTest::newRow("friday") << QDate(2025, 3, 21) << 2 << u("جمعه 1404/1/1");
    QTest::newRow("month 10") << QDate(2024, 1, 1) << 3 << u("دوشنبه 11 دي 1402");
    QTest::newRow("leap day 1436") << QDate(2058, 3, 20) << 0 << "1436/12/30";
    QTest::newRow("start of 1437") << QDate(2058, 3, 21) << 0 << "1437/01/01";
    QTest::newRow("1437 is no leap year") << QDate(2059, 3, 20) << 0 << "1437/12/29";
    QTest::newRow("start of 1438") << QDate(2059, 3, 21) << 0 << "1438/01/01";
    QTest::newRow("invalid date") << QDate() << 0 << "";
}

void TestUnit::solarDate() {
    QFETCH(QDate, date);
    QFETCH(int, mode);
    QFETCH(QString, text);
    QCOMPARE(Module7::SolarDate(date, mode), text);
    if (mode == 0)
        QCOMPARE(Module7::SolarDate(date), text);
}

// Day by day from the epoch to 2100: each day follows the one before, months have their
// lengths, and the twelfth month has 30 days exactly in leap years.
void TestUnit::solarCalendarIsContinuous() {
    Module7::SolarDay previous = *Module7::DayCountToSolar(0);
    QCOMPARE(previous, (Module7::SolarDay{1332, 1, 1}));
    QVERIFY(!Module7::DayCountToSolar(-1));
    const qint64 last = QDate(1953, 3, 21).daysTo(QDate(2100, 12, 31));
    for (qint64 n = 1; n <= last; ++n) {
        const Module7::SolarDay day = *Module7::DayCountToSolar(n);
        const bool sameMonth = day.year == previous.year && day.month == previous.month;
        if (!sameMonth || day.day != previous.day + 1) {
            const int length = previous.month <= 6                       ? 31
                               : previous.month <= 11                    ? 30
                               : Module7::IsSolarLeapYear(previous.year) ? 30
                                                                         : 29;
            QCOMPARE(previous.day, length);
            QCOMPARE(day.day, 1);
            if (previous.month == 12)
                QCOMPARE(day, (Module7::SolarDay{previous.year + 1, 1, 1}));
            else
                QCOMPARE(day, (Module7::SolarDay{previous.year, previous.month + 1, 1}));
        }
        previous = day;
    }
}

// Qt's own Jalali calendar, an arithmetic of its own, as a second oracle: every day from the
// epoch to 2057, the years over which the two rules give every leap year alike.
void TestUnit::solarDateAgreesWithQtsCalendar() {
    const QCalendar jalali(QCalendar::System::Jalali);
    const QDate epoch(1953, 3, 21);
    for (QDate d = epoch; d <= QDate(2057, 12, 31); d = d.addDays(1)) {
        const QCalendar::YearMonthDay qt = jalali.partsFromDate(d);
        const Module7::SolarDay ours = *Module7::DayCountToSolar(epoch.daysTo(d));
        if (ours != Module7::SolarDay{qt.year, qt.month, qt.day})
            QFAIL(qPrintable(d.toString(Qt::ISODate) + " " + Module7::SolarDate(d)));
    }
}

void TestUnit::leapYears() {
    // The older 32-year rule agrees for every year up to 1436 and then makes 1437 leap as well.
    auto olderRule = [](int year) {
        const int y = year - 1309;
        return ((y % 32) - (y / 32)) % 4 == 0;
    };
    for (int year = 1332; year <= 1436; ++year)
        QVERIFY2(Module7::IsSolarLeapYear(year) == olderRule(year),
                 qPrintable(QString::number(year)));
    QVERIFY(olderRule(1437));
    QVERIFY(!Module7::IsSolarLeapYear(1437));
    for (int year : {1333, 1337, 1342, 1399, 1403, 1408, 1432, 1436, 1441})
        QVERIFY(Module7::IsSolarLeapYear(year));
    for (int year : {1332, 1402, 1404, 1405, 1437, 1438})
        QVERIFY(!Module7::IsSolarLeapYear(year));
    for (int year = 1332; year < 1600; ++year)
        QVERIFY(!(Module7::IsSolarLeapYear(year) && Module7::IsSolarLeapYear(year + 1)));
}

void TestUnit::clockTextHasSeconds() {
    const QString text = Module7::ClockText(QTime(14, 5, 9));
    QVERIFY2(QRegularExpression("^\\d{1,2}:05:09").match(text).hasMatch(), qPrintable(text));
}

// The three scores from 33 answers, cases the earlier program's files hold: sums 35, 40, 50;
// every answer alike; a text that is not a number counts as 0.
void TestUnit::scoresFromTheAnswers_data() {
    QTest::addColumn<QStringList>("answers"); // items 1 to 33
    QTest::addColumn<QStringList>("scores");
    QStringList mixed(33, "4");
    for (int item : {1, 5, 7, 11, 14, 17, 24, 25, 26, 28, 29})
        mixed[item - 1] = "3";
    mixed[0] = "5";                  // innovativeness 35 / 11
    for (int item : {2, 12, 15, 19}) // maturity 40 / 9
        mixed[item - 1] = "5";
    for (int item : {3, 4}) // engagement 50 / 13
        mixed[item - 1] = "3";
    QTest::newRow("sums 35, 40, 50") << mixed << QStringList{"3.18", "4.44", "3.84"};
    QTest::newRow("all 5") << QStringList(33, "5") << QStringList{"5", "5", "5"};
    QStringList unread(33, "1");
    unread[0] = "x";
    QTest::newRow("a text that is no number") << unread << QStringList{"0.90", "1", "1"};
}

void TestUnit::scoresFromTheAnswers() {
    QFETCH(QStringList, answers);
    QFETCH(QStringList, scores);
    const std::array<QString, 3> computed =
        Scoring::scores([&](int item) { return answers[item - 1]; });
    QCOMPARE(QStringList(computed.begin(), computed.end()), scores);
}

void TestUnit::scoreText_data() {
    QTest::addColumn<int>("sum");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<QString>("quotient");
    QTest::addColumn<QString>("score");
    QTest::newRow("33/11") << 33 << 11 << "3"
                           << "3";
    QTest::newRow("35/11") << 35 << 11 << "3.18181818181818"
                           << "3.18";
    QTest::newRow("54/11") << 54 << 11 << "4.90909090909091"
                           << "4.90";
    QTest::newRow("40/9") << 40 << 9 << "4.44444444444444"
                          << "4.44";
    QTest::newRow("44/9") << 44 << 9 << "4.88888888888889"
                          << "4.88";
    QTest::newRow("50/13") << 50 << 13 << "3.84615384615385"
                           << "3.84";
    QTest::newRow("14/13") << 14 << 13 << "1.07692307692308"
                           << "1.07";
    QTest::newRow("55/11") << 55 << 11 << "5"
                           << "5";
    QTest::newRow("9/9") << 9 << 9 << "1"
                         << "1";
    QTest::newRow("27/9 cut, not rounded") << 26 << 9 << "2.88888888888889"
                                           << "2.88";
}

void TestUnit::scoreText() {
    QFETCH(int, sum);
    QFETCH(int, divisor);
    QFETCH(QString, quotient);
    QFETCH(QString, score);
    QCOMPARE(NumberText(double(sum) / divisor), quotient);
    QCOMPARE(Scoring::ScoreText(sum, divisor), score);
}

void TestUnit::decimalTextHasNoExponent() {
    QCOMPARE(NumberText(0.00001), QStringLiteral("0.00001"));
    QCOMPARE(NumberText(1e16), QStringLiteral("10000000000000000"));
    QCOMPARE(NumberText(-2.5), QStringLiteral("-2.5"));
    QCOMPARE(NumberText(0), QStringLiteral("0"));
}

void TestUnit::missingItemsText() {
    QCOMPARE(Scoring::MissingItemsText({3, 17}), QStringLiteral(" 3   17  "));
    QCOMPARE(Scoring::MissingItemsText({33}), QStringLiteral(" 33  "));
    QCOMPARE(Scoring::MissingItemsText({}), QString());
}

void TestUnit::keyCoversEveryItemOnce() {
    QList<int> all;
    for (const auto& s : Scoring::key()) {
        QCOMPARE(int(s.items.size()), s.divisor);
        all += s.items;
    }
    std::sort(all.begin(), all.end());
    QList<int> expected;
    for (int i = 1; i <= Tables::ItemCount; ++i)
        expected << i;
    QCOMPARE(all, expected);
}

void TestUnit::alphaAndSummariesByTheirFormulas() {
    QRandomGenerator random(17);
    for (int trial = 0; trial < 20; ++trial) {
        const int k = 2 + trial % 12, n = 2 + trial * 7;
        QList<QList<double>> subjects;
        Statistics::Alpha alpha(k);
        Statistics::Series first;
        for (int s = 0; s < n; ++s) {
            QList<double> answers;
            const int tendency = random.bounded(5); // answers that hang together somewhat
            for (int i = 0; i < k; ++i)
                answers << double(1 + (tendency + random.bounded(3)) % 5);
            subjects << answers;
            alpha.add(std::vector<double>(answers.begin(), answers.end()));
            first.add(answers[0]);
        }
        QVERIFY(std::abs(alpha.value() - alphaByFormula(subjects)) < 1e-9);
        QList<double> column;
        for (const auto& s : subjects)
            column << s[0];
        const Statistics::Summary sum = first.summary();
        QVERIFY(std::abs(sum.sd - std::sqrt(sampleVariance(column))) < 1e-9);
        QCOMPARE(sum.min, *std::min_element(column.begin(), column.end()));
        QCOMPARE(sum.max, *std::max_element(column.begin(), column.end()));
    }
    // Undefined: one subject; every subject with the same answers (the totals do not vary).
    Statistics::Alpha one(3);
    one.add({1, 2, 3});
    QVERIFY(std::isnan(one.value()));
    Statistics::Alpha same(3);
    for (int s = 0; s < 4; ++s)
        same.add({3, 3, 3});
    QVERIFY(std::isnan(same.value()));
    Statistics::Series single;
    single.add(4);
    QVERIFY(std::isnan(single.summary().sd));
    QCOMPARE(GroupReport::alphaText(std::nan(""), 4), u("تعریف نمی‌شود (4 نفر)"));
}

VORN_TEST_MAIN(TestUnit)
#include "tst_unit.moc"
