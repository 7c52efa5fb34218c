// Bringing in the earlier program's database of 100,000 subjects, against mdb-export reading its
// four tables in the same run (what the library itself needs), and the helper's peak memory.
#include "bench/BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

bool run(const QString& program, const QStringList& arguments, const QString& output = {}) {
    QProcess process;
    if (!output.isEmpty())
        process.setStandardOutputFile(output);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    const QString large = work.filePath("large-100000.mdb");
    if (!run("xz", {"-dc", QStringLiteral(LEGACY_FIXTURES "/large-100000.mdb.xz")}, large)) {
        std::printf("the large file could not be unpacked (xz)  NOT MET\n");
        return 1;
    }
    const QString target = work.filePath("converted.mdb");
    bool converted = true;
    const double ours = Bench::medianMs(3, [&] {
        QFile::remove(target);
        converted &= run(QStringLiteral(VORN_IMPORT), {large, target});
    });
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children); // the largest of the runs so far: the helper's
    const double memory = double(children.ru_maxrss) / 1024;
    const double library = Bench::medianMs(3, [&] {
        for (const char* table : {"ide", "Answer", "QUS", "Theme"})
            run("mdb-export", {large, table}, work.filePath(QString("%1.csv").arg(table)));
    });
    std::printf("converting 100,000 subjects: VORNimport %.0f ms, mdb-export of the four tables "
                "%.0f ms\n",
                ours, library);
    bool ok = converted;
    ok &= Bench::report("earlier database of 100,000 subjects brought in, against mdb-export",
                        ours / library, "x", 2);
    ok &= Bench::report("its helper's peak memory, bounded whatever the number of subjects", memory,
                        "MB", 64);
    return ok ? 0 : 1;
}
