// Export of 100,000 subjects to each format and the group statistics report of them to PDF:
// times, and the memory an export takes, which must not grow with the number of subjects.
#include "bench/BenchSupport.h"
#include "data/Database.h"
#include "report/Report.h"
#include "research/Export.h"
#include "research/GroupReport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <cstdio>

namespace {

const char* const kFormats[] = {"csv", "xlsx", "sav"};

// One export in a process of its own, so its peak memory is its own: "ms peak-MB".
int child(const QString& folder, const QString& format) {
    if (Database::open(folder).status != Database::OpenResult::Opened)
        return 1;
    const double before = Bench::peakMemoryMb();
    QElapsedTimer clock;
    clock.start();
    const Export::Result r =
        Export::write(QDir(folder).filePath("out." + format), *Export::formatOf("x." + format), {},
                      [](qint64, qint64) { return true; });
    if (!r.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(r.error));
        return 1;
    }
    std::printf("%lld %.1f\n", qint64(clock.elapsed()), Bench::peakMemoryMb() - before);
    Database::close();
    return 0;
}

struct Run {
    double ms = -1, mb = -1;
};

Run measure(const QString& folder, const char* format) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), {"--child", folder, format});
    p.waitForFinished(300000);
    Run run;
    const QList<QByteArray> parts = p.readAllStandardOutput().trimmed().split(' ');
    if (p.exitCode() == 0 && parts.size() == 2) {
        run.ms = parts[0].toDouble();
        run.mb = parts[1].toDouble();
    }
    return run;
}

bool makeDatabase(const QString& folder, int subjects) {
    if (Database::open(folder).status != Database::OpenResult::Created)
        return false;
    Bench::addSubjects(subjects);
    QSqlQuery(Database::connection())
        .exec("UPDATE ide SET KHalaghiyat='3.18', Balidagi='2.88', Taahod='3.07', "
              "\"Group\"=char(65 + rowid % 7)");
    Database::close();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--child")
        return child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QTemporaryDir small, large;
    if (!makeDatabase(small.path(), 10000) || !makeDatabase(large.path(), 100000))
        return 1;
    bool ok = true;
    for (const char* format : kFormats) {
        const Run few = measure(small.path(), format), many = measure(large.path(), format);
        const QString name = QString::fromLatin1(format).toUpper();
        ok &= Bench::report(QStringLiteral("export of 100,000 subjects to %1").arg(name),
                            many.ms / 1000, QStringLiteral("s"), 5.0);
        std::printf("   %s: %.1f MB of 100,000 in %.1f MB, 10,000 in %.1f MB\n", format,
                    QFileInfo(QDir(large.path()).filePath(QStringLiteral("out.") + format)).size() /
                        1048576.0,
                    many.mb, few.mb);
        ok &= Bench::report(
            QStringLiteral("memory an export to %1 takes more for 100,000 than for 10,000")
                .arg(name),
            many.mb - few.mb, QStringLiteral("MB"), 16.0);
    }
    if (Database::open(large.path()).status != Database::OpenResult::Opened)
        return 1;
    const QString pdf = large.filePath(QStringLiteral("groups.pdf"));
    const double ms = Bench::medianMs(1, [&] {
        GroupReport::report(GroupReport::compute(), QStringLiteral("clinic"))->writePdf(pdf);
    });
    ok &= Bench::report(QStringLiteral("group statistics of 100,000 subjects to PDF"), ms / 1000,
                        QStringLiteral("s"), 5.0);
    Database::close();
    return ok ? 0 : 1;
}
