// A thousand subjects registered, tested and scored through the windows, with texts of every
// kind; then every row is checked against what was typed and the file against corruption.
#include "data/Content.h"
#include "scoring/FrmkLID.h"
#include "scoring/Scoring.h"
#include "shell/Frm1.h"
#include "test/FrmTest.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTimer>
#include <memory>

namespace {

constexpr int Subjects = 1000;

// Free text drawn from Persian, Latin, digits, quotes, SQL and escape characters, line feeds
// and now and then a very long run.
QString freeText(QRandomGenerator& random) {
    static const QStringList pieces{QString::fromUtf8("محمد"),
                                    QString::fromUtf8("رضایی‌نژاد"),
                                    "O'Brien",
                                    "say \"hi\"",
                                    "a;b",
                                    "100%",
                                    "C:\\dir",
                                    "line\nbreak",
                                    "x' OR '1'='1",
                                    "--",
                                    QString::fromUtf8("ك ي"),
                                    "12345",
                                    "_",
                                    " "};
    QString text;
    const int count = 1 + random.bounded(4);
    for (int i = 0; i < count; ++i)
        text += pieces[random.bounded(int(pieces.size()))];
    if (random.bounded(50) == 0)
        text += QString(3000 + random.bounded(2000), QChar(0x0628));
    if (text.trimmed().isEmpty())
        text += QStringLiteral("x"); // blanks alone are refused as empty
    return text;
}

template <typename T> T* in(QWidget* window, const QString& name) {
    T* w = window->findChild<T*>(name);
    if (!w)
        qFatal("no control %s", qPrintable(name));
    return w;
}

// Types into a box as a user would and gives back what the box then holds.
QString typeInto(QWidget* window, const char* name, const QString& text) {
    auto* box = in<QLineEdit>(window, QString::fromLatin1(name));
    box->selectAll();
    box->insert(text);
    Q_EMIT box->textEdited(box->text());
    return box->text();
}

struct Typed {
    QString code, first, last, education, age, group;
    QStringList answers;
};

} // namespace

class TestStress : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thousandSubjects();
};

void TestStress::thousandSubjects() {
    TempProgramFolder folder;
    QCOMPARE(folder.openDatabase().status, Database::OpenResult::Created);
    ScriptedDialogs dialogs;
    QRandomGenerator random(20261209);
    QList<Typed> typed;

    Frm1* main = Frm1::load();
    QVERIFY(main);
    for (int n = 1; n <= Subjects; ++n) {
        Typed t;
        in<QPushButton>(main, "Command1")->click();
        t.code = in<QLineEdit>(main, "Text11")->text();
        if (t.code.isEmpty())
            t.code = typeInto(main, "Text11", "1");
        t.first = typeInto(main, "Text6", freeText(random));
        t.last = typeInto(main, "Text4", freeText(random));
        in<QComboBox>(main, "Combo2")->setCurrentIndex(random.bounded(2));
        t.age = typeInto(main, "Text5", QString::number(10 + random.bounded(89)));
        in<QComboBox>(main, "Combo1")->setCurrentIndex(random.bounded(2));
        t.education = typeInto(main, "Text7", freeText(random));
        t.group = QString(QChar(u'A' + random.bounded(7)));
        in<QComboBox>(main, "Combo3")->setCurrentText(t.group);
        in<QPushButton>(main, "Command8")->click();
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.shown.value(0).text));
        QCOMPARE(t.code, QString::number(n));
        typed << t;
    }

    for (Typed& t : typed) {
        for (int item = 0; item < Tables::ItemCount; ++item)
            t.answers << QString::number(1 + random.bounded(5));
        dialogs.answer(t.code);
        const QStringList answers = t.answers;
        QTimer::singleShot(0, [answers] {
            QWidget* test = QApplication::activeModalWidget();
            in<QPushButton>(test, "Command1")->click();
            for (const QString& value : answers) {
                in<QRadioButton>(test, "Option" + value)->click();
                in<QPushButton>(test, "CmdNext")->click();
            }
            in<QPushButton>(test, "Command5")->click();
        });
        in<QPushButton>(main, "Command2")->click();
    }

    in<QPushButton>(main, "Command3")->click();
    FrmkLID* scoring = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* s = qobject_cast<FrmkLID*>(w); s && s->isVisible())
            scoring = s;
    QVERIFY(scoring);
    for (const Typed& t : typed) {
        dialogs.answer(t.code);
        in<QPushButton>(scoring, "Command1")->click();
    }
    for (const auto& box : dialogs.shown)
        QVERIFY2(box.kind == "input" || box.text == QString::fromUtf8("پايان") ||
                     box.text == QString::fromUtf8("اطلاعات با موفقيت محاسبه و ذخيره شد"),
                 qPrintable(box.text));

    {
        QSqlQuery q(Database::connection());
        QVERIFY(q.exec(
            "SELECT Code, FName, LName, Sen, Tahsil, \"Group\", KHalaghiyat, Balidagi, Taahod FROM ide ORDER BY rowid"));
        int row = 0;
        while (q.next()) {
            const Typed& t = typed[row++];
            QCOMPARE(q.value(0).toString(), t.code);
            QCOMPARE(q.value(1).toString(), t.first);
            QCOMPARE(q.value(2).toString(), t.last);
            QCOMPARE(q.value(3).toString(), t.age);
            QCOMPARE(q.value(4).toString(), t.education);
            QCOMPARE(q.value(5).toString(), t.group);
            for (size_t s = 0; s < 3; ++s) {
                double sum = 0;
                for (int item : Scoring::key()[s].items)
                    sum += t.answers[item - 1].toInt();
                QCOMPARE(q.value(int(6 + s)).toString(),
                         Scoring::ScoreText(sum, Scoring::key()[s].divisor));
            }
        }
        QCOMPARE(row, Subjects);
        QVERIFY(q.exec("SELECT * FROM Answer ORDER BY rowid"));
        row = 0;
        while (q.next()) {
            const Typed& t = typed[row++];
            QCOMPARE(q.value(0).toString(), t.code);
            for (int item = 1; item <= Tables::ItemCount; ++item)
                QCOMPARE(q.value(item).toString(), t.answers[item - 1]);
        }
        QCOMPARE(row, Subjects);
        QVERIFY(q.exec("PRAGMA integrity_check") && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
    }
    deleteAllWindows();

    // The kill test goes on from this database.
    if (const QString keep = qEnvironmentVariable("VORN_KEEP_DATABASE"); !keep.isEmpty()) {
        Database::close();
        QFile::remove(keep);
        QVERIFY(QFile::copy(folder.databasePath(), keep));
    }
}

VORN_TEST_MAIN(TestStress)
#include "tst_stress.moc"
