// Start-up timing for the benchmark: loaded into the real VORN as an input plugin
// (QT_QPA_GENERIC_PLUGINS=vornclock), it writes to the file named by VORN_CLOCK_OUT, once the
// main window has been shown, the events that came with it are done and no work goes on beside
// (the thread pool idle: the page check), "<monotonic ns> <CPU ns of the process> <peak KB>",
// and ends the program there (nothing is written to the database by then).
#include <QApplication>
#include <QFile>
#include <QGenericPlugin>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

namespace {

void writeClockAndEnd() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    const qint64 cpu = (qint64(use.ru_utime.tv_sec) + use.ru_stime.tv_sec) * 1000000000 +
                       (qint64(use.ru_utime.tv_usec) + use.ru_stime.tv_usec) * 1000;
    QFile out(qEnvironmentVariable("VORN_CLOCK_OUT"));
    if (out.open(QIODevice::WriteOnly))
        out.write(QByteArray::number(qint64(now.tv_sec) * 1000000000 + now.tv_nsec) + ' ' +
                  QByteArray::number(cpu) + ' ' + QByteArray::number(qint64(use.ru_maxrss)));
    out.close();
    std::_Exit(0);
}

// Once nothing runs beside the window any more.
void whenIdle() {
    if (QThreadPool::globalInstance()->activeThreadCount() > 0)
        QTimer::singleShot(1, whenIdle);
    else
        writeClockAndEnd();
}

class Clock : public QObject {
public:
    Clock() { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* w = qobject_cast<QWidget*>(watched);
        if (!done_ && event->type() == QEvent::Show && w && w->isWindow() &&
            qstrcmp(w->metaObject()->className(), "Frm1") == 0) {
            done_ = true;
            // Two turns of the event loop: the first paint and whatever the showing queued.
            QTimer::singleShot(0, this, [this] { QTimer::singleShot(0, this, whenIdle); });
        }
        return false;
    }

private:
    bool done_ = false;
};

class ClockPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "vornclock.json")
public:
    QObject* create(const QString& key, const QString&) override {
        return key.compare(QLatin1String("vornclock"), Qt::CaseInsensitive) == 0 ? new Clock
                                                                                 : nullptr;
    }
};

} // namespace

#include "VornClock.moc"
