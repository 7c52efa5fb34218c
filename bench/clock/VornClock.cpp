// Start-up timing for the benchmark: loaded into the real VORN as an input plugin
// (QT_QPA_GENERIC_PLUGINS=vornclock), it writes the monotonic clock, in nanoseconds, to the
// file named by VORN_CLOCK_OUT once the main window has been shown and the events that came
// with it are done, and ends the program there (nothing is written to the database by then).
#include <QApplication>
#include <QFile>
#include <QGenericPlugin>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <ctime>

namespace {

void writeClockAndEnd() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    QFile out(qEnvironmentVariable("VORN_CLOCK_OUT"));
    if (out.open(QIODevice::WriteOnly))
        out.write(QByteArray::number(qint64(now.tv_sec) * 1000000000 + now.tv_nsec));
    out.close();
    std::_Exit(0);
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
            QTimer::singleShot(0, this, [this] { QTimer::singleShot(0, this, writeClockAndEnd); });
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
