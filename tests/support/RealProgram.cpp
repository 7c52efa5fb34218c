#include "tests/support/RealProgram.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>

RealProgram::RealProgram(const QString& executable, const QString& plugin, const QString& plugins)
    : executable_(executable) {
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_PLUGIN_PATH",
                       plugins.isEmpty() ? QStringLiteral(DRIVER_PLUGINS) : plugins);
    environment.insert("QT_QPA_GENERIC_PLUGINS", plugin);
    // Nothing to fetch: the version check must not wait on a real network.
    environment.insert("VORN_SITE_URL", "http://127.0.0.1:9");
    environment.insert("VORN_SHOP_URL", "http://127.0.0.1:9");
    // The eyes write a log of their own; the driver speaks on standard output.
    process_.setProcessChannelMode(plugin == QLatin1String("vorneyes")
                                       ? QProcess::ForwardedChannels
                                       : QProcess::SeparateChannels);
    log_.open();
    commands_.open();
    environment.insert("VORN_EYES_COMMANDS", commands_.fileName());
    environment.insert("VORN_EYES_LOG", log_.fileName());
}

RealProgram::~RealProgram() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool RealProgram::launch() {
    process_.setProcessEnvironment(environment);
    process_.start(executable_, {});
    return process_.waitForStarted(10000);
}

void RealProgram::start() {
    QVERIFY2(launch(), qPrintable(executable_));
}

void RealProgram::readLines() {
    // Opened afresh each time: an open file may not see what was appended after its end.
    QFile log(log_.fileName());
    if (log.open(QIODevice::ReadOnly) && log.seek(read_)) {
        const QByteArray more = log.readAll();
        read_ += more.size();
        pending_ += more;
    }
    while (pending_.contains('\n')) {
        const qsizetype end = pending_.indexOf('\n');
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 1);
        if (line.startsWith('@'))
            lines << QString::fromUtf8(line.mid(1)).split(QLatin1Char('\t'));
    }
}

QStringList RealProgram::waitFor(const std::function<bool(const QStringList&)>& match, int ms) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        readLines();
        for (; matched_ < lines.size(); ++matched_)
            if (match(lines[matched_]))
                return lines[matched_++];
        if (clock.elapsed() > ms)
            return {};
        QTest::qWait(20);
    }
}

QStringList RealProgram::waitFor(const QString& kind, const QString& contains, int ms) {
    return waitFor(
        [&](const QStringList& line) {
            return line.value(1) == kind &&
                   (contains.isEmpty() || line.join(QLatin1Char(' ')).contains(contains));
        },
        ms);
}

void RealProgram::send(const QString& command, const QString& program) {
    const QString to = program.isEmpty() ? QFileInfo(executable_).fileName() : program;
    QFile file(commands_.fileName());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write((to + QLatin1Char(' ') + command).toUtf8() + '\n');
}

// Events go on meanwhile: the program may be waiting for a server of this test.
bool RealProgram::waitForExit(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (process_.state() != QProcess::NotRunning && clock.elapsed() < ms)
        QTest::qWait(20);
    return process_.state() == QProcess::NotRunning;
}
