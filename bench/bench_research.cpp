// Export of 100,000 subjects to each format and the group statistics report of them to PDF:
// times, and the memory an export takes, which must not grow with the number of subjects; and
// each format against its floor: sqlite3 -csv of the same join, PSPP writing the .sav from that
// CSV, libxlsxwriter alone writing the same rows.
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
#include <cstdlib>
#include <string>
#include <xlsxwriter.h>

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

// The export's join as the sqlite3 shell runs it: the same fields in the same order.
QString joinSql() {
    QStringList fields{"i.Code",   "i.FName",  "i.LName",     "i.Jens", "i.Sen",
                       "i.Taahol", "i.Tahsil", "i.\"Group\"", "i.Date", "i.Time"};
    for (int item = 1; item <= 33; ++item)
        fields << QStringLiteral("a.\"%1\"").arg(item);
    fields << "i.KHalaghiyat"
           << "i.Balidagi"
           << "i.Taahod";
    return "SELECT " + fields.join(',') +
           " FROM ide i LEFT JOIN Answer a ON a.rowid = (SELECT rowid FROM Answer WHERE Code = "
           "i.Code ORDER BY rowid LIMIT 1) ORDER BY i.rowid";
}

// A command's time, its standard output to a file when one is named; -1 when it failed.
double timeCommand(const QString& program, const QStringList& arguments, const QString& out = {}) {
    QProcess p;
    if (!out.isEmpty())
        p.setStandardOutputFile(out);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    p.start(program, arguments);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

// PSPP reading the CSV and writing a compressed .sav: the texts as strings of their width, the
// answers and scores as numbers.
double psppFromCsv(const QString& csv, const QString& sav, const QString& folder) {
    QStringList variables{"code A12",    "fname A40", "lname A40", "sex A8",   "age F3.0",
                          "marital A10", "educ A40",  "group A4",  "date A10", "time A8"};
    for (int item = 1; item <= 33; ++item)
        variables << QStringLiteral("item%1 F1.0").arg(item, 2, 10, QLatin1Char('0'));
    variables << "innov F8.2"
              << "matur F8.2"
              << "engag F8.2";
    const QString syntax = QDir(folder).filePath("save.sps");
    QFile f(syntax);
    if (!f.open(QIODevice::WriteOnly))
        return -1;
    f.write(QStringLiteral("GET DATA /TYPE=TXT /FILE='%1' /ENCODING='UTF-8' /ARRANGEMENT=DELIMITED "
                           "/DELCASE=LINE /FIRSTCASE=1 /DELIMITERS=\",\" /QUALIFIER='\"' "
                           "/VARIABLES=%2.\nSAVE OUTFILE='%3' /COMPRESSED.\n")
                .arg(csv, variables.join(' '), sav)
                .toUtf8());
    f.close();
    return timeCommand("pspp",
                       {"-O", "format=txt", "-o", QDir(folder).filePath("pspp.txt"), syntax});
}

// libxlsxwriter alone writing the rows of the CSV (its lines read beforehand): numbers where the
// text is one, as the export writes them.
double xlsxwriterAlone(const QString& csv, const QString& xlsx) {
    QFile f(csv);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    std::vector<QByteArray> lines;
    while (!f.atEnd())
        lines.push_back(f.readLine().trimmed());
    QElapsedTimer clock;
    clock.start();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(xlsx.toUtf8().constData(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    std::string cell;
    for (size_t r = 0; r < lines.size(); ++r) {
        const QByteArray& line = lines[r];
        qsizetype from = 0;
        for (lxw_col_t c = 0; from <= line.size(); ++c) {
            qsizetype to = line.indexOf(',', from);
            if (to < 0)
                to = line.size();
            cell.assign(line.constData() + from, size_t(to - from));
            from = to + 1;
            if (cell.empty())
                continue;
            char* end = nullptr;
            const double v = std::strtod(cell.c_str(), &end);
            if (end && *end == '\0')
                worksheet_write_number(sheet, lxw_row_t(r + 1), c, v, nullptr);
            else
                worksheet_write_string(sheet, lxw_row_t(r + 1), c, cell.c_str(), nullptr);
        }
    }
    return workbook_close(book) == LXW_NO_ERROR ? double(clock.nsecsElapsed()) / 1e6 : -1;
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
    // The floors, on the same subjects, after the exports (the file is in the cache for both):
    // 100,000, and 1,000,000 unless --quick.
    QTemporaryDir million;
    QList<std::pair<QString, QString>> floors{{large.path(), "100,000"}};
    if (!QCoreApplication::arguments().contains("--quick")) {
        if (!makeDatabase(million.path(), 1000000))
            return 1;
        floors.append({million.path(), "1,000,000"});
    }
    for (const auto& [folder, count] : floors) {
        const QDir here(folder);
        const QString csv = here.filePath("floor.csv");
        const double sqlite =
            timeCommand("sqlite3", {"-csv", Database::filePath(folder), joinSql()}, csv);
        // Each format against its floor: the CSV first, the others written from it.
        const struct {
            const char* format;
            const char* floor;
            double ms;
            double goal;
        } floorsOf[] = {
            {"csv", "sqlite3 -csv", sqlite, 1.5},
            {"sav", "PSPP from the CSV", psppFromCsv(csv, here.filePath("floor.sav"), folder), 1.0},
            {"xlsx", "libxlsxwriter alone", xlsxwriterAlone(csv, here.filePath("floor.xlsx")),
             1.2}};
        for (const auto& f : floorsOf) {
            const Run ours = measure(folder, f.format);
            const QString name = QString::fromLatin1(f.format).toUpper();
            std::printf("   %s of %s: VORN %.0f ms (%.1f MB more memory), %s %.0f ms\n",
                        qPrintable(name), qPrintable(count), ours.ms, ours.mb, f.floor, f.ms);
            ok &= f.ms > 0 && Bench::report(QStringLiteral("%1 export of %2 against %3")
                                                .arg(name, count, QLatin1String(f.floor)),
                                            ours.ms / f.ms, QStringLiteral("x"), f.goal);
        }
        for (const char* name :
             {"floor.csv", "floor.sav", "floor.xlsx", "out.csv", "out.sav", "out.xlsx"})
            QFile::remove(here.filePath(name));
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
