#include "backup/Backup.h"
#include "backup/Frmbackup.h"
#include "data/DataView.h"
#include "shell/Frm1.h"
#include "shell/Frmskin.h"
#include "shell/exitpro.h"
#include "shell/seams/Skin.h"
#include "shell/seams/Twips.h"
#include "tests/support/CraftedDatabase.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMain.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <signal.h>
#include <sys/stat.h>

namespace {

QByteArray bytes(int size) {
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 7 + i / 251);
    return data;
}

void write(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Many rows a statement: a server answers each statement over the connection.
void addSubjects(const QStringList& codes) {
    Database::Transaction all;
    for (qsizetype from = 0; from < codes.size(); from += 500) {
        const QStringList some = codes.mid(from, 500);
        QStringList subjects, answers;
        for (qsizetype i = 0; i < some.size(); ++i) {
            subjects << QStringLiteral("(?, 'x')");
            answers << QStringLiteral("(?)");
        }
        QSqlQuery q(Database::connection());
        for (const auto& [table, rows] : {std::pair{"\"ide\" (\"Code\", \"LName\")", &subjects},
                                          {"\"Answer\" (\"Code\")", &answers}}) {
            q.prepare(QStringLiteral("INSERT INTO %1 VALUES %2")
                          .arg(QString::fromLatin1(table), rows->join(QLatin1Char(','))));
            for (const QString& code : some)
                q.addBindValue(code);
            QVERIFY(q.exec());
        }
    }
    all.commit();
}

// The subjects of a database file, read through a connection of its own.
QStringList subjectsIn(const QString& file) {
    QStringList codes;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "peek");
        db.setDatabaseName(file);
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        if (db.open()) {
            QSqlQuery q(db);
            q.exec("SELECT \"Code\" FROM \"ide\" ORDER BY rowid");
            while (q.next())
                codes << q.value(0).toString();
            q.exec("PRAGMA integrity_check");
            if (!q.next() || q.value(0).toString() != "ok")
                codes << "<broken>";
        } else {
            codes << "<unopenable>";
        }
    }
    QSqlDatabase::removeDatabase("peek");
    return codes;
}

// The subjects the folder's database holds, in stored order, through a connection of its own.
QStringList subjectsHeld(const TempProgramFolder& folder) {
    if (!folder.onServer())
        return subjectsIn(folder.databasePath());
    QStringList codes;
    {
        QSqlDatabase db = folder.openAnother("peek");
        QSqlQuery q(db);
        if (!q.exec("SELECT \"Code\" FROM \"ide\" ORDER BY vorn_row"))
            codes << "<unopenable>";
        while (q.next())
            codes << q.value(0).toString();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("peek");
    return codes;
}

// A backup of the open database, as the backup window makes it.
bool makeBackup(const TempProgramFolder& folder, const QString& target) {
    return folder.onServer() ? Database::backupServer(target).isEmpty()
                             : Backup::copyInBlocks(folder.databasePath(), target).ok;
}

void moveOver(QWidget* widget) {
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), widget->mapToGlobal(QPointF(3, 3)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void clickPicture(QWidget* normal, QWidget* highlighted) {
    moveOver(normal); // the pointer passes over the normal picture first
    QVERIFY(highlighted->isVisible());
    QTest::mouseClick(highlighted, Qt::LeftButton);
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void copiesInBlocks_data();
    void copiesInBlocks();
    void failedCopyLeavesDestination();
    void proposedFileName();

    void init();
    void cleanup();
    void windowShowsDateAndProposal();
    void backup();
    void backupAnswerNoKeepsExistingFile();
    void backupIsADatabaseThatOpens();
    void refusedRestores_data();
    void refusedRestores();
    void restoreBringsBackTheBackup();
    void restoresTheEarlierProgramsBackup();
    void everyWayOutEndsTheProgram();
    void exitQuestion();
    void exitCaptionBlinks();
    void exitWithBackupAndBack();
    void pictureButtonsActLikeButtons_data();
    void pictureButtonsActLikeButtons();
    void smallWindowsScaleWithTheScreen();
    void settingsPanels();
    void themeChange();
    void clinicDetails();
    void killedRestoreLeavesADatabase();
    void backupOnlyOverARegularFile_data();
    void backupOnlyOverARegularFile();
    void exitDuringTheCopyWaitsForIt_data();
    void exitDuringTheCopyWaitsForIt();

private:
    Frmbackup* openBackup();
    template <typename T> T* in(QWidget* window, const char* name) {
        return control<T>(window, QString::fromLatin1(name));
    }

    std::unique_ptr<TempProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    QTemporaryDir files;
};

void TestBackup::copiesInBlocks_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("existing");
    QTest::addColumn<QList<int>>("blocks");
    QTest::newRow("empty") << 0 << -1 << QList<int>{};
    QTest::newRow("one block") << 4048 << -1 << QList<int>{4048};
    QTest::newRow("one byte more") << 4049 << -1 << QList<int>{4048, 1};
    QTest::newRow("10000") << 10000 << -1 << QList<int>{4048, 4048, 1904};
    QTest::newRow("over a longer file") << 4049 << 20000 << QList<int>{4048, 1};
    QTest::newRow("over a shorter file") << 10000 << 10 << QList<int>{4048, 4048, 1904};
}

void TestBackup::copiesInBlocks() {
    NOT_ON_SERVER("no database");
    QFETCH(int, size);
    QFETCH(int, existing);
    QFETCH(QList<int>, blocks);
    const QString source = files.filePath("source");
    const QString target = files.filePath("target.mdbB");
    write(source, bytes(size));
    QFile::remove(target);
    if (existing >= 0)
        write(target, QByteArray(existing, 'z'));
    QList<int> seen;
    const Backup::CopyResult result =
        Backup::copyInBlocks(source, target, [&](int block) { seen << block; });
    QVERIFY(result.ok);
    QCOMPARE(seen, blocks);
    QCOMPARE(read(target), bytes(size));
}

void TestBackup::failedCopyLeavesDestination() {
    NOT_ON_SERVER("no database");
    ScriptedDialogs boxes;
    const QString target = files.filePath("kept");
    write(target, "old content");
    QCOMPARE(CopyFileInBlocks(files.filePath("no such file"), target), 0);
    QCOMPARE(read(target), QByteArray("old content"));
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(boxes.shown[0].text.startsWith(u("اشکال در ايجاد نسخه پشتيباني") + "\r\n"));
    QVERIFY(boxes.shown[0].text.size() > 32); // with the system's description
    QCOMPARE(boxes.shown[0].icon, Dialogs::Icon::Critical);
    QCOMPARE(boxes.shown[0].title, QStringLiteral("VORN"));

    QCOMPARE(CopyFileInBlocks(target, files.filePath("no/such/folder/file")), 0);
    QCOMPARE(boxes.shown.size(), 2);
}

void TestBackup::proposedFileName() {
    NOT_ON_SERVER("no database");
    QCOMPARE(Frmbackup::ProposedFileName("1391.1.5", "9.05"),
             u("در تاريخ1391.1.5 ساعت)9.05).mdbB"));
    QCOMPARE(Frmbackup::HourMinute(QTime(9, 5)), QStringLiteral("9.05"));
    QCOMPARE(Frmbackup::HourMinute(QTime(0, 0, 59)), QStringLiteral("0.00"));
    QCOMPARE(Frmbackup::HourMinute(QTime(23, 59)), QStringLiteral("23.59"));
}

void TestBackup::init() {
    folder = std::make_unique<TempProgramFolder>();
    QCOMPARE(folder->openDatabase().status, Database::OpenResult::Created);
    dialogs = std::make_unique<ScriptedDialogs>();
    folder->platform.clock = QDateTime(QDate(2012, 3, 24), QTime(9, 5, 30));
    addSubjects({"1", "2", "3"});
}

void TestBackup::cleanup() {
    deleteAllWindows();
    dialogs.reset();
    folder.reset();
}

Frmbackup* TestBackup::openBackup() {
    auto* window = new Frmbackup;
    window->show();
    return window;
}

void TestBackup::windowShowsDateAndProposal() {
    Frmbackup* window = openBackup();
    QCOMPARE(window->windowTitle(), QStringLiteral("Back up ...  Reastor"));
    QCOMPARE(in<QLabel>(window, "Label1")->text(), QStringLiteral("1391.1.5"));
    QCOMPARE(in<QLabel>(window, "Label2")->text(), QStringLiteral("9.05"));
    folder->platform.clock = QDateTime(QDate(2012, 3, 24), QTime(10, 0));
    QTRY_COMPARE_WITH_TIMEOUT(in<QLabel>(window, "Label2")->text(), QStringLiteral("10.00"), 3000);
    QCOMPARE(in<QLabel>(window, "Label1")->text(), QStringLiteral("1391.1.5"));

    dialogs->answer(files.filePath("chosen.mdbB"));
    QTest::mouseClick(in<QPushButton>(window, "b1"), Qt::LeftButton);
    QCOMPARE(dialogs->shown[0].kind, QStringLiteral("save"));
    QCOMPARE(dialogs->shown[0].text,
             QDir(folder->path()).filePath("Back/" + u("در تاريخ1391.1.5 ساعت)10.00).mdbB")));
    QCOMPARE(in<QLineEdit>(window, "Text1")->text(), files.filePath("chosen.mdbB"));
    QTest::mouseClick(in<QPushButton>(window, "b1"), Qt::LeftButton); // cancelled: kept
    QCOMPARE(in<QLineEdit>(window, "Text1")->text(), files.filePath("chosen.mdbB"));

    dialogs->answer(files.filePath("old.mdbB"));
    QTest::mouseClick(in<QPushButton>(window, "b2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().kind, QStringLiteral("open"));
    QCOMPARE(dialogs->shown.last().text, QDir(folder->path()).filePath("Back"));
    QCOMPARE(in<QLineEdit>(window, "Text2")->text(), files.filePath("old.mdbB"));

    QVERIFY(!in<QFrame>(window, "Frame1")->isVisible());
    QTest::mouseClick(in<QPushButton>(window, "Command3"), Qt::LeftButton);
    QVERIFY(in<QFrame>(window, "Frame1")->isVisible());
    QVERIFY(in<QPlainTextEdit>(window, "Text4")->toPlainText().contains("BACKUP"));
    QTest::mouseClick(in<QPushButton>(window, "Command2"), Qt::LeftButton);
    QVERIFY(!in<QFrame>(window, "Frame1")->isVisible());
}

void TestBackup::backup() {
    Frmbackup* window = openBackup();
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown[0].text, u("لطفا مسير تهيه نسخه پشتيبان را وارد کنيد"));
    QCOMPARE(dialogs->shown[0].title, u("خطا"));
    QCOMPARE(dialogs->shown[0].icon, Dialogs::Icon::Exclamation);

    const QString target = files.filePath("b.mdbB");
    write(target, QByteArray(100000, 'x')); // longer than the database
    in<QLineEdit>(window, "Text1")->setText(target);
    dialogs->answer(Dialogs::Yes);
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown[1].text,
             u("فايل پشتيباني با اين نام قبلا ايجاد شده آيا ميخواهيد اين فايل را جايگزين کنيد؟"));
    QCOMPARE(dialogs->shown[1].buttons, Dialogs::Buttons::YesNo);
    QCOMPARE(dialogs->shown[2].text, u("نسخه پشتيبان تهيه گرديد"));
    QCOMPARE(dialogs->shown[2].title, QStringLiteral("VORN"));
    QCOMPARE(folder->platform.endedNow, 1);
    if (!folder->onServer())
        QCOMPARE(read(target), read(folder->databasePath()));
    QCOMPARE(subjectsIn(target), (QStringList{"1", "2", "3"}));
}

void TestBackup::backupAnswerNoKeepsExistingFile() {
    Frmbackup* window = openBackup();
    const QString target = files.filePath("keep.mdbB");
    write(target, "earlier backup");
    in<QLineEdit>(window, "Text1")->setText(target);
    dialogs->answer(Dialogs::No);
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx2"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().text, u("عدم موفقيت در تهيه نسخه پشتيبان"));
    QCOMPARE(dialogs->shown.last().icon, Dialogs::Icon::Information);
    QCOMPARE(read(target), QByteArray("earlier backup"));
    QCOMPARE(folder->platform.endedNow, 0);
    QVERIFY(window->isVisible());
}

void TestBackup::backupIsADatabaseThatOpens() {
    Frmbackup* window = openBackup();
    const QString target = files.filePath("whole.mdbB");
    in<QLineEdit>(window, "Text1")->setText(target);
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx2"), Qt::LeftButton);
    QCOMPARE(subjectsIn(target), (QStringList{"1", "2", "3"}));
    QCOMPARE(Database::checkFile(target), QString());
}

void TestBackup::refusedRestores_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("text file") << "text"
                               << "";
    QTest::newRow("empty file") << "empty"
                                << "";
    QTest::newRow("truncated backup") << "truncated"
                                      << "";
    // A backup whose ide is a view, or that carries a trigger, would break or wipe the
    // clinic's data at the next registration; a FIFO would hang the check.
    for (const QString& kind : Crafted::kinds())
        if (kind != "text" && kind != "empty" && kind != "truncated")
            QTest::newRow(qPrintable("crafted " + kind)) << "crafted " + kind << "";
    QTest::newRow("missing file") << "missing" << u("اشکال در ايجاد نسخه پشتيباني");
}

void TestBackup::refusedRestores() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    // A real backup with enough rows to span many pages, to cut short.
    QStringList many;
    for (int i = 4; i < 3000; ++i)
        many << QString::number(i);
    addSubjects(many);
    const QString source = files.filePath(kind + ".mdbB");
    if (kind == "text")
        write(source, "these are not the data you are looking for\n");
    else if (kind == "empty")
        write(source, QByteArray());
    else if (kind == "truncated") {
        QVERIFY(makeBackup(*folder, source));
        write(source, read(source).left(20000));
    } else if (kind.startsWith("crafted "))
        QVERIFY(Crafted::make(source, kind.mid(8)));
    const QByteArray before = read(folder->databasePath());
    const QStringList held = subjectsHeld(*folder);

    Frmbackup* window = openBackup();
    in<QLineEdit>(window, "Text2")->setText(source);
    dialogs->answer(Dialogs::Yes);
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx3"), Qt::LeftButton);
    QCOMPARE(dialogs->shown[0].text, u("آيا ميخواهيد اطلاعات را بازيابي کنيد؟"));
    if (message.isEmpty())
        QCOMPARE(dialogs->shown.last().title, u("خطا"));
    else
        QVERIFY(dialogs->shown.last().text.startsWith(message));
    QCOMPARE(folder->platform.endedNow, 0);
    QCOMPARE(read(folder->databasePath()), before);
    QCOMPARE(subjectsHeld(*folder), held);
    QVERIFY(Database::isOpen());
    DataView still;
    still.open("ide");
    QCOMPARE(still.rowCount(), 2999);
}

void TestBackup::restoreBringsBackTheBackup() {
    const QString saved = files.filePath("saved.mdbB");
    QVERIFY(makeBackup(*folder, saved));
    addSubjects({"4", "5"});

    Frmbackup* window = openBackup();
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx3"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().text, u("لطفا مسير فايل مربوطه را وارد کنيد"));
    in<QLineEdit>(window, "Text2")->setText(saved);
    dialogs->answer(Dialogs::No);
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx3"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().text, u("عدم موفقيت در بازيابي اطلاعات "));
    QCOMPARE(subjectsHeld(*folder), (QStringList{"1", "2", "3", "4", "5"}));

    dialogs->answer(Dialogs::Yes);
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx3"), Qt::LeftButton);
    QCOMPARE(dialogs->shown.last().text, u("بازيابي اطلاعات انجام شد"));
    QCOMPARE(folder->platform.endedNow, 1);
    if (!folder->onServer())
        QCOMPARE(read(folder->databasePath()), read(saved));
    QCOMPARE(subjectsHeld(*folder), (QStringList{"1", "2", "3"}));
}

// A backup of the earlier program (a Jet file) is converted and restored like any, on the file
// and on a server: its 60 subjects in stored order replace the database's.
void TestBackup::restoresTheEarlierProgramsBackup() {
    addSubjects({"4", "5"});
    Frmbackup* window = openBackup();
    in<QLineEdit>(window, "Text2")->setText(QDir(LEGACY_FIXTURES).filePath("clinic.mdbB"));
    dialogs->answer(Dialogs::Yes);
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx3"), Qt::LeftButton);
    QVERIFY2(dialogs->shown[1].text.contains(u("60 آزمودنی")), qPrintable(dialogs->shown[1].text));
    QCOMPARE(dialogs->shown.last().text, u("بازيابي اطلاعات انجام شد"));
    const QStringList held = subjectsHeld(*folder);
    QCOMPARE(held.size(), 60);
    QCOMPARE(held.first(), QStringLiteral("19"));
    QCOMPARE(held.last(), QStringLiteral("11"));
    QVERIFY(QDir(QFileInfo(folder->databasePath()).absolutePath())
                .entryList({".restore-import*"}, QDir::Hidden | QDir::Files)
                .isEmpty());
}

void TestBackup::everyWayOutEndsTheProgram() {
    Frmbackup* window = openBackup();
    QTest::mouseClick(in<QPushButton>(window, "Command1"), Qt::LeftButton);
    QCOMPARE(folder->platform.endedNow, 1);
    window = openBackup();
    window->close();
    QCOMPARE(folder->platform.endedNow, 2);
}

void TestBackup::exitQuestion() {
    QPointer<Frm1> main = Frm1::load();
    main->close(); // the close box, like the exit button
    QTRY_VERIFY(main.isNull());
    auto* question = shownWindow<exitpro>();
    QVERIFY(question);
    QCOMPARE(in<QLabel>(question, "Label1")->text(), u("آيا براي خروج از برنامه اطمينان داريد"));
    QVERIFY(!in<QCheckBox>(question, "Check1")->isChecked());
    QVERIFY(in<QLabel>(question, "k1")->isVisible() && !in<QLabel>(question, "k2")->isVisible());

    moveOver(in<QLabel>(question, "k1"));
    QVERIFY(in<QLabel>(question, "k2")->isVisible() && !in<QLabel>(question, "k1")->isVisible());
    moveOver(in<QLabel>(question, "C1"));
    QVERIFY(in<QLabel>(question, "k2")->isVisible()); // until the pointer crosses the surface
    moveOver(question);
    QVERIFY(in<QLabel>(question, "k1")->isVisible() && in<QLabel>(question, "C1")->isVisible());

    // Cancel brings back a freshly loaded main window.
    clickPicture(in<QLabel>(question, "C1"), in<QLabel>(question, "C2"));
    QTRY_VERIFY(!shownWindow<exitpro>());
    QVERIFY(shownWindow<Frm1>());
    QCOMPARE(shownWindow<Frm1>()->findChild<QLineEdit*>("Text3")->text(), QStringLiteral("2"));

    // The exit button leads to the same question; OK without the box ticked ends at once.
    QTest::mouseClick(shownWindow<Frm1>()->findChild<QPushButton*>("Command6"), Qt::LeftButton);
    question = shownWindow<exitpro>();
    QVERIFY(question);
    clickPicture(in<QLabel>(question, "k1"), in<QLabel>(question, "k2"));
    QCOMPARE(folder->platform.endedNow, 1);
    QVERIFY(!shownWindow<Frmbackup>());
    QVERIFY(dialogs->shown.isEmpty());

    // The keyboard does the same: Escape goes back, Enter confirms.
    QTest::keyClick(question, Qt::Key_Escape);
    QTRY_VERIFY(shownWindow<Frm1>());
    shownWindow<Frm1>()->close();
    QTest::keyClick(shownWindow<exitpro>(), Qt::Key_Return);
    QCOMPARE(folder->platform.endedNow, 2);
}

void TestBackup::exitCaptionBlinks() {
    auto* question = new exitpro;
    question->show();
    QCOMPARE(question->windowTitle(), u("تهيه نسخه پشتيبان"));
    QTRY_COMPARE_WITH_TIMEOUT(question->windowTitle(), u(" تهيه نسخه پشتيبان"), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(question->windowTitle(), u("پشتيبان گيري"), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(in<QCheckBox>(question, "Check1")->text(), u("پشتيبان گيري"), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(question->windowTitle(), u(" تهيه نسخه پشتيبان"), 1500);
}

void TestBackup::exitWithBackupAndBack() {
    auto* question = new exitpro;
    question->show();
    in<QCheckBox>(question, "Check1")->setChecked(true);
    clickPicture(in<QLabel>(question, "k1"), in<QLabel>(question, "k2"));
    QVERIFY(shownWindow<Frmbackup>());
    QVERIFY(!question->isVisible());
    QCOMPARE(folder->platform.endedNow, 0);
}

// A picture button acts only when released over it, on Enter or Space while it has the focus,
// and on assistive technology's press action, in the exit question and in the theme notice.
void TestBackup::pictureButtonsActLikeButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("acts");
    for (const char* button : {"exit ok", "exit cancel", "theme ok"}) {
        const QString b = QString::fromLatin1(button);
        QTest::addRow("%s, click", button) << b << "click" << true;
        QTest::addRow("%s, released outside", button) << b << "drag off" << false;
        QTest::addRow("%s, right button", button) << b << "right" << false;
        QTest::addRow("%s, space", button) << b << "space" << true;
        QTest::addRow("%s, enter", button) << b << "enter" << true;
        QTest::addRow("%s, accessible press", button) << b << "accessible" << true;
    }
}

void TestBackup::pictureButtonsActLikeButtons() {
    QFETCH(QString, button);
    QFETCH(QString, way);
    QFETCH(bool, acts);
    QPointer<QDialog> window;
    if (button.startsWith("exit"))
        window = new exitpro;
    else
        window = new Frmskin;
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    const bool cancel = button == "exit cancel";
    QLabel* normal = in<QLabel>(window, cancel ? "C1" : "k1");
    QLabel* highlighted = in<QLabel>(window, cancel ? "C2" : "k2");

    if (way == "click") {
        clickPicture(normal, highlighted);
    } else if (way == "drag off" || way == "right") {
        moveOver(normal);
        const Qt::MouseButton mouse = way == "right" ? Qt::RightButton : Qt::LeftButton;
        QTest::mousePress(highlighted, mouse, {}, QPoint(3, 3));
        QTest::mouseRelease(highlighted, mouse, {},
                            way == "right" ? QPoint(3, 3) : QPoint(-30, highlighted->height() * 3));
    } else if (way == "space" || way == "enter") {
        normal->setFocus();
        QVERIFY(normal->hasFocus());
        moveOver(normal); // the focus follows the picture shown
        QVERIFY(highlighted->hasFocus());
        QTest::keyClick(highlighted, way == "space" ? Qt::Key_Space : Qt::Key_Return);
    } else {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(normal);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::Button);
        QCOMPARE(a->text(QAccessible::Name), normal->accessibleName());
        QVERIFY(a->actionInterface());
        QCOMPARE(a->actionInterface()->actionNames(),
                 QStringList{QAccessibleActionInterface::pressAction()});
        a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }
    QApplication::processEvents();
    if (button == "exit ok") {
        QCOMPARE(folder->platform.endedNow, acts ? 1 : 0);
    } else if (acts) {
        QTRY_VERIFY(window.isNull() || !window->isVisible());
        QCOMPARE(folder->platform.endedNow, 0);
        QVERIFY(shownWindow<Frm1>()); // both bring the main window back
    } else {
        QVERIFY(window && window->isVisible());
        QVERIFY(!shownWindow<Frm1>());
    }
    delete window;
    delete shownWindow<Frm1>();
}

// The two small picture windows are drawn at 96 dpi; on a denser screen every place and size
// grows with it (this test also runs with QT_FONT_DPI=192).
void TestBackup::smallWindowsScaleWithTheScreen() {
    const double factor = twips(1440) / 96.0;
    auto* question = new exitpro;
    auto* notice = new Frmskin;
    for (QWidget* w : {static_cast<QWidget*>(question), static_cast<QWidget*>(notice)})
        w->show();
    QCOMPARE(question->size(), QSize(int(296 * factor + 0.5), int(210 * factor + 0.5)));
    QCOMPARE(in<QLabel>(question, "C1")->geometry(),
             QRect(int(24 * factor + 0.5), int(148 * factor + 0.5), int(96 * factor + 0.5),
                   int(35 * factor + 0.5)));
    QCOMPARE(in<QLabel>(question, "k2")->pixmap().deviceIndependentSize().toSize(),
             in<QLabel>(question, "k2")->size());
    QCOMPARE(notice->size(), QSize(int(280 * factor + 0.5), int(160 * factor + 0.5)));
    QCheckBox* check = in<QCheckBox>(question, "Check1");
    QVERIFY(check->width() >= check->sizeHint().width() || check->height() >= 40 * factor);
    delete question;
    delete notice;
}

void TestBackup::settingsPanels() {
    QPointer<Frm1> main = Frm1::load();
    auto visible = [&](const char* name) { return in<QGroupBox>(main, name)->isVisible(); };
    QTest::mouseClick(in<QPushButton>(main, "Command9"), Qt::LeftButton);
    QVERIFY(visible("Frame8") && !visible("Frame6") && !visible("Frame9"));
    QTest::mouseClick(in<QPushButton>(main, "Command68"), Qt::LeftButton);
    QVERIFY(visible("Frame8") && visible("Frame6"));
    QCOMPARE(in<QPushButton>(main, "Command52")->text(), u("تم شماره 10 "));
    QCOMPARE(in<QPushButton>(main, "Command45")->text(), u(" تم شماره 1"));
    QTest::mouseClick(in<QPushButton>(main, "Command46"), Qt::LeftButton);
    QVERIFY(visible("Frame8") && !visible("Frame6"));
    QTest::mouseClick(in<QPushButton>(main, "Command67"), Qt::LeftButton);
    QVERIFY(visible("Frame8") && visible("Frame9"));
    QTest::mouseClick(in<QPushButton>(main, "Command69"), Qt::LeftButton);
    QVERIFY(!visible("Frame8") && !visible("Frame9"));
    delete main;
}

void TestBackup::themeChange() {
    QPointer<Frm1> main = Frm1::load();
    QTest::mouseClick(in<QPushButton>(main, "Command68"), Qt::LeftButton);
    QTest::mouseClick(in<QPushButton>(main, "Command42"), Qt::LeftButton);
    QTRY_VERIFY(main.isNull());
    QVERIFY(!shownWindow<exitpro>());
    QSqlQuery q(Database::connection());
    q.exec("SELECT \"TH\" FROM \"Theme\"");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("4"));
    auto* notice = shownWindow<Frmskin>();
    QVERIFY(notice);
    QCOMPARE(notice->windowTitle(), QStringLiteral("Skin"));
    QCOMPARE(in<QLabel>(notice, "Label3_1")->text(), u("تغييرات با موفقيت به پايان رسيد"));
    clickPicture(in<QLabel>(notice, "k1"), in<QLabel>(notice, "k2"));
    QTRY_VERIFY(!shownWindow<Frmskin>());
    Frm1* again = shownWindow<Frm1>();
    QVERIFY(again);
    QCOMPARE(again->findChild<Skin*>("Skin1")->loadedFile(), QStringLiteral("_temp.skn"));
    QVERIFY(!shownWindow<exitpro>());
}

void TestBackup::clinicDetails() {
    QPointer<Frm1> main = Frm1::load();
    QTest::mouseClick(in<QPushButton>(main, "Command67"), Qt::LeftButton);
    QCOMPARE(in<QLabel>(main, "SkinLabel1")->text(), QString()); // nothing stored yet
    QLineEdit* name = in<QLineEdit>(main, "Text2");
    QTest::keyClicks(name, "Arya");
    QCOMPARE(in<QLabel>(main, "SkinLabel1")->text(), QStringLiteral("Arya")); // before saving
    QTest::keyClicks(in<QLineEdit>(main, "Text14"), "Main st");
    QTest::mouseClick(in<QPushButton>(main, "Command64"), Qt::LeftButton);
    QVERIFY(!in<QGroupBox>(main, "Frame9")->isVisible());
    QVERIFY(in<QGroupBox>(main, "Frame8")->isVisible());
    QSqlQuery q(Database::connection());
    q.exec("SELECT \"Name\" || '|' || \"Adress\" FROM \"Theme\"");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("Arya|Main st"));

    // Abandoned edits stay abandoned, even through a theme change.
    QTest::mouseClick(in<QPushButton>(main, "Command67"), Qt::LeftButton);
    name->selectAll();
    QTest::keyClicks(name, "Other");
    QTest::mouseClick(in<QPushButton>(main, "Command7"), Qt::LeftButton);
    QCOMPARE(name->text(), QStringLiteral("Arya"));
    QCOMPARE(in<QLabel>(main, "SkinLabel1")->text(), QStringLiteral("Arya"));
    QTest::mouseClick(in<QPushButton>(main, "Command68"), Qt::LeftButton);
    QTest::mouseClick(in<QPushButton>(main, "Command44"), Qt::LeftButton);
    q.exec("SELECT \"Name\" || '|' || \"TH\" FROM \"Theme\"");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("Arya|2"));
}

// The program is killed while it restores a large backup: whatever the moment, the database is
// whole afterwards, either as it was or as the backup.
void TestBackup::killedRestoreLeavesADatabase() {
    QStringList many;
    for (int i = 4; i < 60000; ++i)
        many << QString::number(i);
    addSubjects(many);
    const QString backup = files.filePath("large.mdbB");
    QVERIFY(makeBackup(*folder, backup));
    QSqlQuery(Database::connection()).exec("DELETE FROM \"ide\" WHERE \"Code\" NOT IN ('1', '2')");
    QSqlQuery(Database::connection())
        .exec("DELETE FROM \"Answer\" WHERE \"Code\" NOT IN ('1', '2')");
    const QStringList before = subjectsHeld(*folder);
    const qsizetype after = subjectsIn(backup).size();
    Database::close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    auto putSmallerBack = [&] {
        QFile::remove(folder->databasePath());
        QVERIFY(folder->openDatabase().status != Database::OpenResult::Refused);
        QSqlQuery(Database::connection()).exec("DELETE FROM \"ide\"");
        QSqlQuery(Database::connection()).exec("DELETE FROM \"Answer\"");
        addSubjects({"1", "2", "3"});
        QSqlQuery(Database::connection()).exec("DELETE FROM \"ide\" WHERE \"Code\" = '3'");
        Database::close();
    };

    // One whole restore first: the kills then fall within its length, however loaded the
    // machine is.
    QProcess whole;
    whole.setProcessEnvironment(env);
    whole.start(QStringLiteral(RESTORE_PROBE), {folder->path(), backup});
    QVERIFY(whole.waitForReadyRead(20000));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(whole.waitForFinished(60000));
    const int length = int(std::max<qint64>(clock.elapsed(), 2));
    QCOMPARE(subjectsHeld(*folder).size(), after);
    putSmallerBack();

    int killed = 0;
    for (int round = 0; round < 6; ++round) {
        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral(RESTORE_PROBE), {folder->path(), backup});
        QVERIFY(probe.waitForReadyRead(20000));
        QTest::qWait(QRandomGenerator::global()->bounded(1, length));
        if (probe.state() == QProcess::Running) {
            ::kill(pid_t(probe.processId()), SIGKILL);
            ++killed;
        }
        probe.waitForFinished(20000);
        const QStringList now = subjectsHeld(*folder);
        QVERIFY2(now == before || now.size() == after, qPrintable(now.value(0)));
        QVERIFY(!now.contains("<broken>") && !now.contains("<unopenable>"));
        if (now.size() == after) // restored: put the smaller database back for the next round
            putSmallerBack();
    }
    QVERIFY(killed > 0);
}

// The copy lets the window's events run: its exit button pressed through the accessibility
// action, or the window closed, meanwhile ends nothing until the backup is whole.
void TestBackup::exitDuringTheCopyWaitsForIt_data() {
    QTest::addColumn<bool>("close");
    QTest::newRow("exit button pressed through its accessibility action") << false;
    QTest::newRow("window closed") << true;
}

void TestBackup::exitDuringTheCopyWaitsForIt() {
    QFETCH(bool, close);
    if (folder->onServer())
        QSKIP("the server's backup is one read of its tables, with no events between");
    // A file large enough for the copy to let events run.
    QVERIFY(QSqlQuery(Database::connection())
                .exec("INSERT INTO ide (Code, LName) VALUES ('big', hex(randomblob(60000000)))"));
    Frmbackup* window = openBackup();
    const QString target = files.filePath(close ? "closed.mdbB" : "pressed.mdbB");
    in<QLineEdit>(window, "Text1")->setText(target);
    int endedMeanwhile = -1;
    QTimer::singleShot(0, [&] {
        if (close) {
            window->close();
        } else {
            pressThroughAccessibility(in<QPushButton>(window, "Command1"));
        }
        QCoreApplication::processEvents();
        endedMeanwhile = folder->platform.endedNow;
    });
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx2"), Qt::LeftButton);
    QCOMPARE(endedMeanwhile, 0);
    QCOMPARE(dialogs->shown.last().text, u("نسخه پشتيبان تهيه گرديد"));
    QVERIFY(read(target) == read(folder->databasePath()));
    QTRY_VERIFY(folder->platform.endedNow >= 1);
}

// A backup replaces only a regular file, or makes a new one in a folder that exists: a FIFO, a
// device, a folder or a link is refused and left as it was, on the file and on a server.
void TestBackup::backupOnlyOverARegularFile_data() {
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"fifo", "link", "directory", "missing folder", "device"})
        QTest::newRow(kind) << QString(kind);
}

void TestBackup::backupOnlyOverARegularFile() {
    QFETCH(QString, kind);
    QString target = files.filePath(kind + ".mdbB");
    if (kind == "fifo")
        QVERIFY(::mkfifo(QFile::encodeName(target).constData(), 0600) == 0);
    if (kind == "link") {
        write(files.filePath("elsewhere"), "the clinic's letter");
        QVERIFY(QFile::link(files.filePath("elsewhere"), target));
    }
    if (kind == "directory")
        QVERIFY(QDir().mkpath(target));
    if (kind == "missing folder")
        target = files.filePath("no/such/b.mdbB");
    if (kind == "device")
        target = "/dev/null";
    const QByteArray before = Crafted::folderState(files.path());
    Frmbackup* window = openBackup();
    in<QLineEdit>(window, "Text1")->setText(target);
    dialogs->answer(Dialogs::Yes); // were it asked whether to replace
    QTest::mouseClick(in<QPushButton>(window, "VisualButtonEx2"), Qt::LeftButton);
    QVERIFY2(dialogs->shown.last().text.startsWith(u("اشکال در ايجاد نسخه پشتيباني")),
             qPrintable(dialogs->shown.last().text));
    QCOMPARE(folder->platform.endedNow, 0);
    QCOMPARE(Crafted::folderState(files.path()), before);
    QVERIFY(!QFileInfo::exists(files.filePath("no")));
    QVERIFY(QFileInfo("/dev/null").isFile() == false);
}

VORN_TEST_MAIN(TestBackup)
#include "tst_backup.moc"
