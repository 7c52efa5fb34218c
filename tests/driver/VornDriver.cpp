// A user's hands and eyes inside the real program, for the kill test. Qt loads it into VORN as
// an input plugin (QT_QPA_GENERIC_PLUGINS=vorndriver), so the executable under test is the one
// clinics run. It waits for "go" on standard input, then follows the plan file named by
// VORN_DRIVER_PLAN: for each subject it opens the test window, answers all 33 items, saves, then
// scores the subject in the scoring window. Every answer and score is reported on standard
// output only after the screen shows it, so a line that reached the test was acknowledged.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGenericPlugin>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int Items = 33;
const char* const kSaved = "اطلاعات با موفقيت محاسبه و ذخيره شد";

struct Subject {
    QString code;
    QStringList answers;
};

// One line to the test; written through at once, so a kill right after loses none of it.
void say(const QStringList& fields) {
    const QByteArray line = "@" + fields.join(QLatin1Char('\t')).toUtf8() + "\n";
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '));
}

QWidget* shownWindow(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == QLatin1String(name))
            return w;
    return nullptr;
}

template <typename T> T* part(QWidget* window, const char* name) {
    return window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
}

class Driver : public QObject {
public:
    Driver() {
        QFile file(qEnvironmentVariable("VORN_DRIVER_PLAN"));
        if (file.open(QIODevice::ReadOnly | QIODevice::Text))
            while (!file.atEnd()) {
                const QStringList fields =
                    QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t'));
                if (fields.size() == 2)
                    plan_ << Subject{fields[0], fields[1].split(QLatin1Char(' '))};
            }
        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(input, &QSocketNotifier::activated, this, [this, input] {
            char buffer[64];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                input->setEnabled(false);
            else if (QByteArray(buffer, int(n)).contains("go"))
                go_ = true;
        });
        timer_.setInterval(2);
        connect(&timer_, &QTimer::timeout, this, &Driver::tick);
        timer_.start();
        bool given = false;
        stopAfter_ = qEnvironmentVariableIntValue("VORN_DRIVER_STOP_AFTER", &given);
        if (!given)
            stopAfter_ = -1;
    }

private:
    enum Step {
        OpenTest,
        TypeTestCode,
        StartTest,
        Answer,
        Acknowledge,
        OpenScoring,
        ChooseSubject,
        TypeScoreCode,
        ReadScores,
        CloseScoring,
        NextSubject,
        Done
    };

    // A report of what the screen shows. With VORN_DRIVER_STOP_AFTER the hands stop after that
    // many, as a user who reads the screen before going on: a kill then finds the program
    // exactly where the acknowledgement left it.
    bool acknowledge(const QStringList& fields) {
        say(fields);
        if (++acknowledged_ != stopAfter_)
            return true;
        timer_.stop();
        say({QStringLiteral("stopped")});
        return false;
    }

    // A button pressed as a user (or an accessibility tool) presses it; the step after waits
    // until everything the press set off has been handled.
    void press(QAbstractButton* button) {
        handled_ = false;
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        markWhenHandled();
    }

    void type(QLineEdit* box, const QString& text) {
        handled_ = false;
        for (const QChar c : text) {
            QCoreApplication::postEvent(
                box, new QKeyEvent(QEvent::KeyPress, 0, Qt::NoModifier, QString(c)));
            QCoreApplication::postEvent(
                box, new QKeyEvent(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c)));
        }
        QCoreApplication::postEvent(
            box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
        markWhenHandled();
    }

    // Queued behind the events just posted, so it runs once they have all been handled.
    void markWhenHandled() {
        QMetaObject::invokeMethod(
            this, [this] { handled_ = true; }, Qt::QueuedConnection);
    }

    bool idle(const char* window) const {
        return !QApplication::activeModalWidget() && shownWindow(window);
    }

    void tick() {
        QWidget* modal = QApplication::activeModalWidget();
        auto* box = qobject_cast<QMessageBox*>(modal);
        const bool expected =
            box && step_ == ReadScores && box->text() == QString::fromUtf8(kSaved);
        if (box && !expected) {
            say({QStringLiteral("box"),
                 oneLine(box->windowTitle() + QLatin1String(": ") + box->text())});
            timer_.stop();
            return;
        }
        if (!go_) {
            if (!ready_ && idle("Frm1")) {
                ready_ = true;
                say({QStringLiteral("ready")});
            }
            return;
        }
        if (!handled_ || step_ == Done)
            return;
        const Subject* subject = subject_ < plan_.size() ? &plan_[subject_] : nullptr;
        switch (step_) {
        case OpenTest:
            if (!subject) {
                step_ = Done;
                say({QStringLiteral("done")});
            } else if (idle("Frm1")) {
                press(part<QAbstractButton>(shownWindow("Frm1"), "Command2"));
                step_ = TypeTestCode;
            }
            break;
        case TypeTestCode:
            if (auto* dialog = qobject_cast<QInputDialog*>(modal)) {
                type(part<QLineEdit>(dialog, ""), subject->code);
                step_ = StartTest;
            }
            break;
        case StartTest:
            if (modal && modal->objectName() == QLatin1String("FrmTest")) {
                press(part<QAbstractButton>(modal, "Command1"));
                item_ = 1;
                step_ = Answer;
            }
            break;
        case Answer:
            if (shows(modal, item_)) {
                const QString value = subject->answers.value(item_ - 1);
                say({QStringLiteral("click"), subject->code, QString::number(item_), value});
                press(part<QAbstractButton>(modal, qPrintable(QLatin1String("Option") + value)));
                step_ = Acknowledge;
            }
            break;
        case Acknowledge: {
            const QString value = subject->answers.value(item_ - 1);
            auto* option = part<QRadioButton>(modal, qPrintable(QLatin1String("Option") + value));
            if (shows(modal, item_) && option && option->isChecked()) {
                if (!acknowledge(
                        {QStringLiteral("ack"), subject->code, QString::number(item_), value}))
                    return;
                if (item_ < Items) {
                    ++item_;
                    press(part<QAbstractButton>(modal, "CmdNext"));
                    step_ = Answer;
                } else {
                    press(part<QAbstractButton>(modal, "Command5"));
                    step_ = OpenScoring;
                }
            }
            break;
        }
        case OpenScoring:
            if (idle("Frm1")) {
                press(part<QAbstractButton>(shownWindow("Frm1"), "Command3"));
                step_ = ChooseSubject;
            }
            break;
        case ChooseSubject:
            if (idle("FrmkLID")) {
                press(part<QAbstractButton>(shownWindow("FrmkLID"), "Command1"));
                step_ = TypeScoreCode;
            }
            break;
        case TypeScoreCode:
            if (auto* dialog = qobject_cast<QInputDialog*>(modal)) {
                say({QStringLiteral("score-click"), subject->code});
                type(part<QLineEdit>(dialog, ""), subject->code);
                step_ = ReadScores;
            }
            break;
        case ReadScores:
            if (expected) {
                QWidget* scoring = shownWindow("FrmkLID");
                QStringList line{QStringLiteral("score"), subject->code};
                for (const char* name : {"Text2", "Text4", "Text14"})
                    line << part<QLineEdit>(scoring, name)->text();
                if (!acknowledge(line))
                    return;
                press(box->button(QMessageBox::Ok));
                step_ = CloseScoring;
            }
            break;
        case CloseScoring:
            if (idle("FrmkLID")) {
                press(part<QAbstractButton>(shownWindow("FrmkLID"), "Command4"));
                step_ = NextSubject;
            }
            break;
        case NextSubject:
            if (idle("Frm1")) {
                ++subject_;
                step_ = OpenTest;
            }
            break;
        case Done:
            break;
        }
    }

    // The test window shows the given item with its options.
    static bool shows(QWidget* modal, int item) {
        auto* frame = part<QGroupBox>(modal, "Frame2");
        return modal && modal->objectName() == QLatin1String("FrmTest") && frame &&
               frame->isVisible() && frame->title() == QString::number(item);
    }

    QTimer timer_;
    QList<Subject> plan_;
    qsizetype subject_ = 0;
    Step step_ = OpenTest;
    int item_ = 0;
    bool go_ = false;
    bool ready_ = false;
    bool handled_ = true;
    int acknowledged_ = 0;
    int stopAfter_ = -1;
};

class DriverPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "vorndriver.json")
public:
    QObject* create(const QString& key, const QString&) override {
        return key.compare(QLatin1String("vorndriver"), Qt::CaseInsensitive) == 0 ? new Driver
                                                                                  : nullptr;
    }
};

} // namespace

#include "VornDriver.moc"
