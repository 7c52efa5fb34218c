// The results list of 10,000 subjects written to a PDF file.
#include "bench/BenchSupport.h"
#include "data/DataView.h"
#include "data/Database.h"
#include "report/Report.h"
#include "scoring/Reports.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir folder;
    if (Database::open(folder.path()).status != Database::OpenResult::Created)
        return 1;
    constexpr int Subjects = 10000;
    Bench::addSubjects(Subjects);
    DataView subjects;
    subjects.open(QStringLiteral("ide"));
    const double before = Bench::peakMemoryMb();

    Report& report = DataRPrint();
    report.setDataSource(&subjects);
    report.setCaption(QStringLiteral("Section4"), QStringLiteral("Label9"),
                      QStringLiteral("کلینیک"));
    const QString pdf = folder.filePath(QStringLiteral("list.pdf"));
    const double ms = Bench::medianMs(1, [&] { report.writePdf(pdf); });
    const double after = Bench::peakMemoryMb();
    std::printf("PDF of %d subjects: %.1f MB on disk\n", Subjects,
                QFileInfo(pdf).size() / 1048576.0);
    bool ok = Bench::report(QStringLiteral("results list of 10,000 subjects to PDF"), ms / 1000,
                            QStringLiteral("s"), 5.0);
    ok &= Bench::report(QStringLiteral("peak memory added while writing it"), after - before,
                        QStringLiteral("MB"), 0);
    Database::close();
    return ok ? 0 : 1;
}
