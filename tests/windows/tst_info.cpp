#include "info/About.h"
#include "info/Frmmoarefi.h"
#include "shell/Frm1.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <memory>

namespace {

QString colourOf(QLabel* label) {
    return label->styleSheet().section(':', 1).remove(';').trimmed();
}

// VORN_DOCS=<folder> keeps pictures of the windows for the documentation.
void keep(QWidget* window, const QString& name) {
    const QString docs = qEnvironmentVariable("VORN_DOCS");
    if (docs.isEmpty())
        return;
    window->setLayoutDirection(Qt::RightToLeft); // as the program shows it
    window->grab().save(QDir(docs).filePath(name));
}

} // namespace

class TestInfo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void linesWrapAtTheTop();
    void lineCounterRunsThroughTheBlankSlot();
    void creditBecomesReadableAndStops();
    void coloursCycleAndCarryOn();
    void introduction();
    void openedFromTheMenu();

private:
    std::unique_ptr<TempProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void TestInfo::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    dialogs = std::make_unique<ScriptedDialogs>();
}

void TestInfo::cleanup() {
    dialogs.reset();
    folder.reset();
}

void TestInfo::linesWrapAtTheTop() {
    About about;
    QCOMPARE(about.windowTitle(), QStringLiteral("about"));
    QCOMPARE(about.LabelTop(1), 1920);
    QCOMPARE(about.LineCounter(), 4);
    QCOMPARE(about.findChild<QLabel*>("Label1")->text(), about.Line(1));
    about.SetLabelTop(2, 1015);
    about.Timer10_Timer();
    QCOMPARE(about.LabelTop(2), 1000); // not yet
    QCOMPARE(about.LineCounter(), 4);
    about.Timer10_Timer(); // exactly 1000: wraps on this tick
    QCOMPARE(about.LabelTop(2), 6000 - 1500 - 15);
    QCOMPARE(about.LineCounter(), 5);
    QCOMPARE(about.findChild<QLabel*>("Label2")->text(), about.Line(5));
    QCOMPARE(about.LabelTop(1), 1920 - 30);
    QCOMPARE(about.windowTitle(), QStringLiteral("about"));
}

void TestInfo::lineCounterRunsThroughTheBlankSlot() {
    About about;
    about.SetLineCounter(8);
    about.SetLabelTop(3, 900);
    about.Timer10_Timer();
    QCOMPARE(about.findChild<QLabel*>("Label3")->text(), QString()); // slot 9
    QCOMPARE(about.LineCounter(), 0);
    about.SetLabelTop(4, 1000);
    about.Timer10_Timer();
    QCOMPARE(about.findChild<QLabel*>("Label4")->text(), about.Line(1));
    QCOMPARE(about.LineCounter(), 1);
    // Two labels high enough: only the first wraps on one tick.
    about.SetLabelTop(1, 990);
    about.SetLabelTop(2, 980);
    about.Timer10_Timer();
    QCOMPARE(about.LineCounter(), 2);
    QCOMPARE(about.LabelTop(2), 965);
}

void TestInfo::creditBecomesReadableAndStops() {
    About about;
    auto* credit = about.findChild<QLineEdit*>("Text1");
    QCOMPARE(credit->text(), About::SpreadCredit());
    QVERIFY(About::SpreadCredit().size() > 300);
    for (int tick = 0; tick < 1000 && credit->text() != About::CreditSentence(); ++tick)
        about.Timer3_Timer();
    QCOMPARE(credit->text(), About::CreditSentence());
    for (int i = 0; i < 5; ++i)
        about.Timer3_Timer();
    QCOMPARE(credit->text(), About::CreditSentence());
}

void TestInfo::coloursCycleAndCarryOn() {
    static const QStringList entries{"#000000", "#008000", "#800000", "#808000",
                                     "#808080", "#00ff00", "#ff0000", "#ffff00"};
    int start;
    {
        About about;
        start = About::ColourCounter();
        auto* label = about.findChild<QLabel*>("Label1");
        QStringList seen;
        for (int i = 0; i < 9; ++i) {
            about.Timer1_Timer();
            seen << colourOf(label);
        }
        QStringList expected;
        for (int i = 0; i < 9; ++i)
            expected << entries[((start > 15 ? 0 : start) / 2 + i) % 8];
        QCOMPARE(seen, expected);
        QVERIFY(!colourOf(about.findChild<QLabel*>("Label3")).isEmpty());
    }
    const int carried = About::ColourCounter();
    About again;
    QCOMPARE(About::ColourCounter(), carried); // not reset by a new opening
}

void TestInfo::introduction() {
    Frmmoarefi window;
    window.show();
    QCOMPARE(window.windowTitle(), QString::fromUtf8("معرفي پرسشنامه"));
    QCOMPARE(
        window.findChild<QLabel*>("Label3")->text(),
        QString::fromUtf8("شيوه نمره گذاري:در پرسشنامه گرايش به تفکر انتقادي نمره گذاري گزينه ها "
                          "بدين شرح است شديداًمخالفم = 5   مخالفم=  4   نمي دانم=  3   "
                          "موافقم=   2  کاملاً موافقم=  1 براي بدست آوردن نمره هر زير مقياس "
                          "بايد نمره عبارات مربوط به عبارات زير مقياس مورد نظر  را با هم جمع "
                          "کرده و بر تعداد عبارات آن تقسيم کنيد"));
    QCOMPARE(window.findChild<QLabel*>("Label2")->text(),
             QString::fromUtf8("معرفي پرسشنامه گرايش به تفکر انتقادي"));
    QVERIFY(window.findChild<QLabel*>("Label1_1")->text().contains(QString::fromUtf8("۰/۷۵")));
    // The scale as the program stores and scores it, 1 for completely agree.
    QVERIFY(window.findChild<QLabel*>("Label1_0")
                ->text()
                .contains(QString::fromUtf8("از ۱ برای کاملاً موافق تا ۵ برای کاملاً مخالف")));
    QVERIFY(window.findChild<QLabel*>("Label4")->text().contains("vorn.example.org"));
    keep(&window, "window-introduction.png");
    About about;
    about.show();
    keep(&about, "window-about.png");
}

void TestInfo::openedFromTheMenu() {
    QPointer<Frm1> main = Frm1::load();
    QStringList seen;
    for (const char* button : {"Command11", "Command12"}) {
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            seen << (modal ? modal->objectName() : QString());
            if (modal)
                modal->close();
        });
        QTest::mouseClick(main->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    QCOMPARE(seen, (QStringList{"Frmmoarefi", "About"}));
    delete main;
}

VORN_TEST_MAIN(TestInfo)
#include "tst_info.moc"
