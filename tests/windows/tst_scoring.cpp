#include "core/Val.h"
#include "data/Content.h"
#include "report/Report.h"
#include "scoring/FrmkLID.h"
#include "scoring/Reports.h"
#include "scoring/Scoring.h"
#include "shell/Frm1.h"
#include "tests/support/PdfText.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/Seed.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

namespace {

void addSubject(const QString& code, const QStringList& answers, const QString& group = "A",
                const QString& age = "30") {
    Seed::row("ide", {"Code", "FName", "LName", "Jens", "Sen", "Taahol", "Tahsil", "Group"},
              {code, u("سارا"), u("رحيمي"), u("زن"), age, u("مجرد"), u("ديپلم"), group});
    QStringList fields{"Code"};
    QVariantList values{code};
    for (int i = 1; i <= Tables::ItemCount; ++i) {
        fields << QString::number(i);
        values << answers.value(i - 1);
    }
    Seed::row("Answer", fields, values);
}

// Answers giving the sums 35, 44 and 50 on the three subscales.
QStringList answersFor(int innovativeness, int maturity, int engagement) {
    QStringList answers(Tables::ItemCount, QString());
    const int sums[] = {innovativeness, maturity, engagement};
    for (size_t s = 0; s < 3; ++s) {
        const QList<int>& items = Scoring::key()[s].items;
        int rest = sums[s];
        for (qsizetype i = 0; i < items.size(); ++i) {
            const int left = int(items.size() - i - 1);
            const int value = std::clamp(rest - left, 1, 5);
            answers[items[i] - 1] = QString::number(value);
            rest -= value;
        }
    }
    return answers;
}

using PdfText::Word;

QList<Word> pdfWords(const QString& pdf) {
    return PdfText::words(pdf);
}
QString pdfText(const QString& pdf) {
    return PdfText::text(pdf);
}
// VORN_DOCS=<folder> keeps the rendered reports, for the pictures in the documentation.
void keep(const QString& pdf, const QString& name) {
    const QString docs = qEnvironmentVariable("VORN_DOCS");
    if (!docs.isEmpty()) {
        QFile::remove(docs + "/" + name);
        QFile::copy(pdf, docs + "/" + name);
    }
}

int previews() {
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        open += qobject_cast<QPrintPreviewDialog*>(w) && w->isVisible();
    return open;
}

bool holds(const QString& text, const char* wanted) {
    return text.contains(PdfText::normalized(QString::fromUtf8(wanted)));
}

} // namespace

class TestScoring : public QObject {
    Q_OBJECT

private Q_SLOTS:

    void init();
    void cleanup();
    void replacesMainWindow();
    void refusedCodes_data();
    void refusedCodes();
    void missingAnswersAreListed();
    void scoresAreComputedAndStored_data();
    void scoresAreComputedAndStored();
    void answersWithoutRegistration();
    void helpFrame();
    void resultsList();
    void resultsListWithoutClinic();
    void resultSheet();
    void selectedSubjectPrintsOnce();

private:
    void open();
    void select(const QString& code);
    template <typename T> T* child(const char* name) {
        return control<T>(window.data(), QString::fromLatin1(name));
    }

    std::unique_ptr<TempProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    QPointer<FrmkLID> window;
    QTemporaryDir out;
};

void TestScoring::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    dialogs = std::make_unique<ScriptedDialogs>();
}

void TestScoring::cleanup() {
    deleteAllWindows();
    dialogs.reset();
    folder.reset();
}

void TestScoring::open() {
    window = new FrmkLID;
    window->show();
}

void TestScoring::select(const QString& code) {
    dialogs->answer(code);
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
}

void TestScoring::replacesMainWindow() {
    QPointer<Frm1> main = Frm1::load();
    QTest::mouseClick(main->findChild<QPushButton*>("Command3"), Qt::LeftButton);
    QVERIFY(main); // no subject: nothing happens
    QVERIFY(main->isVisible());

    addSubject("1", QStringList(33, "3"));
    delete main;
    main = Frm1::load();
    QTest::mouseClick(main->findChild<QPushButton*>("Command3"), Qt::LeftButton);
    QTRY_VERIFY(main.isNull());
    FrmkLID* scoring = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* s = qobject_cast<FrmkLID*>(w); s && s->isVisible())
            scoring = s;
    QVERIFY(scoring);
    QCOMPARE(scoring->windowTitle(), u("کليد گذاري"));
    QVERIFY(dialogs->shown.isEmpty()); // no exit question

    QTest::mouseClick(scoring->findChild<QPushButton*>("Command4"), Qt::LeftButton);
    Frm1* again = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<Frm1*>(w); f && f->isVisible())
            again = f;
    QVERIFY(again);
}

void TestScoring::refusedCodes_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("notice");
    QTest::newRow("empty") << "" << u("شما بايد شماره آزمودني مورد نظر را وارد كنيد");
    QTest::newRow("unknown") << "9" << u("فردي با اين مشخصات وجود ندارد");
    QTest::newRow("apostrophe") << "1'" << u("فردي با اين مشخصات وجود ندارد");
}

void TestScoring::refusedCodes() {
    QFETCH(QString, typed);
    QFETCH(QString, notice);
    addSubject("1", QStringList(33, "3"));
    open();
    select("1");
    select(typed);
    QCOMPARE(dialogs->shown[2].text, QStringLiteral(" Enter Number "));
    QCOMPARE(dialogs->shown[2].title, u(" کد آزمودني را وارد کنيد"));
    QCOMPARE(dialogs->shown.last().kind, QStringLiteral("notice"));
    QCOMPARE(dialogs->shown.last().text, notice);
    QCOMPARE(child<QLineEdit>("Text5")->text(), QStringLiteral("1")); // still selected
    QCOMPARE(child<QLineEdit>("Text2")->text(), QStringLiteral("3"));
}

void TestScoring::missingAnswersAreListed() {
    QStringList answers(33, "2");
    answers[0] = answers[1] = answers[2] = QString();
    addSubject("4", answers);
    open();
    select("4");
    QCOMPARE(dialogs->shown.size(), 2);
    const auto& box = dialogs->shown[1];
    QCOMPARE(box.kind, QStringLiteral("message"));
    QCOMPARE(box.title, u("خطا"));
    QCOMPARE(box.icon, Dialogs::Icon::Exclamation);
    QCOMPARE(box.text, u("شما به سوالات زير پاسخ نداده ايد و تا به تمام سوالات پاسخ ندهيد نمي "
                         "توانيد نمره گذاري را انجام دهيد") +
                           "\r\n\r\n 1   2   3  ");
    QVERIFY(!child<QGroupBox>("Frame3")->isVisible());
    QCOMPARE(child<QLineEdit>("Text5")->text(), QString());
    QCOMPARE(Seed::text("SELECT \"KHalaghiyat\" FROM \"ide\""), QString());
}

void TestScoring::scoresAreComputedAndStored_data() {
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("scores");
    QTest::newRow("all 3") << QStringList(33, "3") << QStringList{"3", "3", "3"};
    QTest::newRow("35 44 50") << answersFor(35, 44, 50) << QStringList{"3.18", "4.88", "3.84"};
    QTest::newRow("54 40 14") << answersFor(54, 40, 14) << QStringList{"4.90", "4.44", "1.07"};
    QTest::newRow("all 5") << QStringList(33, "5") << QStringList{"5", "5", "5"};
}

void TestScoring::scoresAreComputedAndStored() {
    QFETCH(QStringList, answers);
    QFETCH(QStringList, scores);
    addSubject("1", QStringList(33, "1"));
    addSubject("2", answers);
    open();
    for (int run = 0; run < 2; ++run) { // scoring twice gives the same fields
        select("2");
        QVERIFY(child<QGroupBox>("Frame3")->isVisible());
        QCOMPARE(child<QLineEdit>("Text5")->text(), QStringLiteral("2"));
        QCOMPARE(child<QLineEdit>("Text15")->text(), QStringLiteral("2"));
        QCOMPARE(child<QLineEdit>("Txt3_33")->text(), answers[32]);
        const QStringList boxes{child<QLineEdit>("Text2")->text(),
                                child<QLineEdit>("Text4")->text(),
                                child<QLineEdit>("Text14")->text()};
        QCOMPARE(boxes, scores);
        QCOMPARE(
            Seed::text(
                "SELECT \"KHalaghiyat\" || '|' || \"Balidagi\" || '|' || \"Taahod\" FROM \"ide\" WHERE \"Code\"='2'"),
            boxes.join('|'));
        QCOMPARE(dialogs->shown.last().text, u("اطلاعات با موفقيت محاسبه و ذخيره شد"));
    }
    QCOMPARE(Seed::text("SELECT count(*) FROM \"ide\""), QStringLiteral("2"));
    QCOMPARE(Seed::text("SELECT coalesce(\"KHalaghiyat\", '') FROM \"ide\" WHERE \"Code\"='1'"),
             QString());
}

void TestScoring::answersWithoutRegistration() {
    addSubject("1", QStringList(33, "3"));
    QSqlQuery(Database::connection()).exec("DELETE FROM \"ide\"");
    open();
    select("1");
    QCOMPARE(child<QLineEdit>("Text2")->text(), QStringLiteral("3"));
    QVERIFY(dialogs->shown.last().text != u("اطلاعات با موفقيت محاسبه و ذخيره شد"));
    for (const auto& box : dialogs->shown)
        QVERIFY(box.title != "Error");
}

void TestScoring::helpFrame() {
    open();
    QVERIFY(!child<QFrame>("Frame2")->isVisible());
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    QVERIFY(child<QFrame>("Frame2")->isVisible());
    const QStringList lines = child<QPlainTextEdit>("Text21")->toPlainText().split('\n');
    QCOMPARE(lines.size(), 8); // seven lines, each ended by a line break
    QCOMPARE(lines[0], u("در اين قسمت از نرم افزار ابتدا روي انتخاب آزمودني "));
    QCOMPARE(lines[6], u("کل آزمودنيها را داريد روي دکمه پرينت کل آزمودنيها کليک کنيد"));
    QTest::mouseClick(child<QPushButton>("Command7"), Qt::LeftButton);
    QVERIFY(!child<QFrame>("Frame2")->isVisible());
    QCOMPARE(child<QPushButton>("Command3")->text(), u("پرينت کل  آزمودني ها "));
    QCOMPARE(child<QPushButton>("Command4")->text(), u(" خروج"));
}

void TestScoring::resultsList() {
    QSqlQuery(Database::connection())
        .exec(QString::fromUtf8(
            "UPDATE \"Theme\" SET \"Name\"='کلينيک آرامش', \"Adress\"='خيابان بهار، پلاک ۷'"));
    const QStringList codes{"10", "3", "7", "1", "5"};
    for (const QString& code : codes)
        addSubject(code, answersFor(35, 40, 50), code == "7" ? "B" : "C", "4" + code.right(1));
    open();
    select("7");
    QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
    QCOMPARE(previews(), 1);
    const QString pdf = out.filePath("list.pdf");
    QVERIFY(DataRPrint().writePdf(pdf));

    keep(pdf, "results-list.pdf");
    const QList<Word> words = pdfWords(pdf);
    QVERIFY(!words.isEmpty());
    auto find = [&](const QString& text, int nth = 0) { return PdfText::find(words, text, nth); };
    auto column = [&](const QString& caption) { return find(caption).center().x(); };
    // Five detail rows, numbered in table order whatever the codes.
    const double rowColumn = column(u("رديف"));
    const double codeColumn = column(u("کد"));
    QVERIFY(rowColumn > codeColumn); // the first column stands at the right
    auto rowOrder = [&](const QList<Word>& all) {
        QList<QPair<double, QString>> rows; // a row number's height, "number=code"
        for (const Word& number : all) {
            bool isNumber = false;
            number.text.toInt(&isNumber);
            if (!isNumber || std::abs(number.box.center().x() - rowColumn) > 8)
                continue;
            for (const Word& code : all)
                if (std::abs(code.box.center().y() - number.box.center().y()) < 2 &&
                    std::abs(code.box.center().x() - codeColumn) < 8)
                    rows.append({number.box.top(), number.text + "=" + code.text});
        }
        std::sort(rows.begin(), rows.end());
        QStringList order;
        for (const auto& r : rows)
            order << r.second;
        return order;
    };
    const QStringList inTableOrder{"1=10", "2=3", "3=7", "4=1", "5=5"};
    QCOMPARE(rowOrder(words), inTableOrder);

    // The scored subject's values under their captions.
    const double y = find("3.18").center().y();
    auto at = [&](const QString& caption) {
        for (const Word& w : words)
            if (std::abs(w.box.center().y() - y) < 2 &&
                std::abs(w.box.center().x() - column(caption)) < 10)
                return w.text;
        return QString();
    };
    auto same = [](const QString& text) { return PdfText::normalized(text); };
    QCOMPARE(at(u("گروه")), QStringLiteral("B"));
    QCOMPARE(at(u("سن")), QStringLiteral("47"));
    QCOMPARE(at(u("جنس")), same(u("زن")));
    QCOMPARE(at(u("تاهل")), same(u("مجرد")));
    QCOMPARE(at(u("خلاقيت")), QStringLiteral("3.18"));
    QCOMPARE(at(u("باليدگي")), QStringLiteral("4.44"));
    QCOMPARE(at(u("تعهد")), QStringLiteral("3.84"));
    QCOMPARE(find("3.18", 1), QRectF()); // the others were never scored

    const QString text = pdfText(pdf);
    QVERIFY2(holds(text, "کلينيک آرامش"), qPrintable(text));
    QVERIFY(holds(text, "گزارش نتيجه تست گرايش به تفکر انتقادي"));
    QVERIFY(holds(text, "خيابان بهار"));
    QVERIFY(find(u("آرامش")).top() < find(u("رديف")).top());
    QVERIFY(find(u("بهار")).top() > find("5").top());

    // Presented again, the list is numbered from 1 again.
    QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
    QVERIFY(DataRPrint().writePdf(pdf));
    QCOMPARE(rowOrder(pdfWords(pdf)), inTableOrder);
}

void TestScoring::resultsListWithoutClinic() {
    addSubject("1", QStringList(33, "3"));
    open();
    QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
    const QString pdf = out.filePath("plain.pdf");
    QVERIFY(DataRPrint().writePdf(pdf));
    const QString text = pdfText(pdf);
    QVERIFY(holds(text, ":آدرس") || holds(text, "آدرس"));
    QVERIFY(!holds(text, "آرامش"));
    QVERIFY(!holds(text, "بهار"));
}

void TestScoring::resultSheet() {
    QSqlQuery(Database::connection())
        .exec(QString::fromUtf8("UPDATE \"Theme\" SET \"Adress\"='خيابان بهار'"));
    addSubject("1", QStringList(33, "2"));
    addSubject("8", answersFor(35, 44, 50), "B", "52");
    open();
    select("8");
    QTest::mouseClick(child<QPushButton>("Command6"), Qt::LeftButton);
    const QString pdf = out.filePath("sheet.pdf");
    QVERIFY(DataR1().writePdf(pdf));
    keep(pdf, "result-sheet.pdf");
    const QList<Word> words = pdfWords(pdf);
    auto find = [&](const QString& text) { return PdfText::find(words, text); };
    const QList<QPair<const char*, const char*>> scores{
        {"خلاقيت", "3.18"}, {"باليدگي", "4.88"}, {"تعهد", "3.84"}};
    for (const auto& [caption, value] : scores) {
        const QRectF c = find(u(caption));
        const QRectF v = find(QString::fromLatin1(value));
        QVERIFY2(!c.isNull() && !v.isNull(), caption);
        QVERIFY(v.top() > c.bottom()); // under its caption
        QVERIFY(std::abs(v.center().x() - c.center().x()) < 15);
    }
    QVERIFY(find(u("گروه")).isValid());
    QCOMPARE(find("B").isNull(), false); // the group beside its caption
    QVERIFY(std::abs(find("B").center().y() - find(u("گروه")).center().y()) < 3);
    QVERIFY(find("52").isValid());
    QVERIFY(find(u("سارا")).isValid());
    QVERIFY(find(u("بهار")).isValid());
    QCOMPARE(child<QLineEdit>("Text5")->text(), QString()); // a new selection is needed
}

void TestScoring::selectedSubjectPrintsOnce() {
    addSubject("1", QStringList(33, "3"));
    open();
    QTest::mouseClick(child<QPushButton>("Command6"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().text,
             u("ابتدا روي انتخاب آزمودني کليک کرده سپس کد آزمودني را وارد کنيد بعد روي پرينت "
               "کليک کنيد "));
    QCOMPARE(dialogs->shown.last().milliseconds, 2000);
    select("1");
    const qsizetype before = dialogs->shown.size();
    QTest::mouseClick(child<QPushButton>("Command6"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), before); // printed
    QCOMPARE(previews(), 1);
    QTest::mouseClick(child<QPushButton>("Command6"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.size(), before + 1);
    QCOMPARE(dialogs->shown.last().milliseconds, 2000);

    // After a refused selection the sheet still shows the selected subject.
    select("1");
    select("99");
    QTest::mouseClick(child<QPushButton>("Command6"), Qt::LeftButton);
    const QString pdf = out.filePath("again.pdf");
    QVERIFY(DataR1().writePdf(pdf));
    QVERIFY(holds(pdfText(pdf), "سارا"));
}

VORN_TEST_MAIN(TestScoring)
#include "tst_scoring.moc"
