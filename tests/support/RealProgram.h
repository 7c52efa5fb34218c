#pragma once

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>
#include <functional>

// A real executable of ours run as a clinic runs it (offscreen, no network to ask), with one of
// the test plugins loaded into it: by default the eyes, which report what it shows (every line
// is kept, with the program's name as first field); the driver, which answers a plan and
// reports on standard output (read through process()).
class RealProgram {
public:
    // plugins: the folder Qt looks in for the plugin (by default the tests' own).
    explicit RealProgram(const QString& executable,
                         const QString& plugin = QStringLiteral("vorneyes"),
                         const QString& plugins = {});
    ~RealProgram();

    QProcessEnvironment environment;
    void start(); // a test failure when it does not start
    bool launch();
    // The first line (from any program on the pipe) for which match is true, waiting for it up
    // to the time given; an empty list if none came.
    QStringList waitFor(const std::function<bool(const QStringList&)>& match, int ms = 60000);
    // A line of that kind ("box", "shown", "text") whose fields contain the text.
    QStringList waitFor(const QString& kind, const QString& contains, int ms = 60000);
    // A command for the eyes in the program of that name (this one, or one it started).
    void send(const QString& command, const QString& program = {});
    bool waitForExit(int ms = 30000);
    int exitCode() const { return process_.exitCode(); }
    QProcess& process() { return process_; }
    QList<QStringList> lines;

private:
    void readLines();
    QString executable_;
    QProcess process_;
    QTemporaryFile log_;
    QTemporaryFile commands_;
    qint64 read_ = 0;
    QByteArray pending_;
    qsizetype matched_ = 0;
};
