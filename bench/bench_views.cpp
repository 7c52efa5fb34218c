// Reading whole tables through views over 100,000 subjects (what a view does when every row is
// needed, as for the list of all results), compared with a plain read.
#include "bench/BenchSupport.h"
#include "data/Content.h"
#include "data/DataView.h"
#include "data/Database.h"
#include "shell/seams/FieldBinding.h"

#include <QApplication>
#include <QLineEdit>
#include <QSqlQuery>
#include <cstdio>

namespace {

constexpr int Subjects = 100000;

// What any reader must do at least: one prepared SELECT, every value read as text.
qsizetype plainRead(const char* table) {
    QSqlQuery q(Database::connection());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM %1").arg(Database::quoted(QString::fromLatin1(table))));
    Database::exec(q);
    qsizetype characters = 0;
    const int columns = Tables::byName(QString::fromLatin1(table)).fields.size();
    while (q.next())
        for (int c = 0; c < columns; ++c)
            characters += q.value(c).toString().size();
    return characters;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir folder;
    if (Database::open(folder.path()).status != Database::OpenResult::Created)
        return 1;
    std::printf("building a database with %d subjects...\n", Subjects);
    Bench::addSubjects(Subjects);

    const double plain = Bench::medianMs(5, [] {
        plainRead(Tables::Theme);
        plainRead(Tables::Ide);
        plainRead(Tables::Answer);
        plainRead(Tables::Ide);
    });

    DataView adodc1, adodc2, adodc3, adodc5;
    const double views = Bench::medianMs(5, [&] {
        for (auto [view, table] : {std::pair{&adodc1, Tables::Theme},
                                   {&adodc2, Tables::Ide},
                                   {&adodc3, Tables::Answer},
                                   {&adodc5, Tables::Ide}}) {
            view->open(QString::fromLatin1(table));
            view->rowCount(); // every row
        }
    });

    QLineEdit code;
    FieldBinding binding(&code, &adodc5, QStringLiteral("Code"));
    int next = 0;
    const double filter = Bench::medianMs(21, [&] {
        adodc5.setFilter(QStringLiteral("code"), QString::number(Subjects / 2 + next++));
    });
    const double refresh = Bench::medianMs(5, [&] {
        adodc2.refresh();
        adodc2.rowCount();
    });

    bool ok = true;
    std::printf("plain prepared SELECT of the same rows: %.1f ms\n", plain);
    ok &= Bench::report(QStringLiteral("four whole views read, ratio to the plain read"),
                        views / plain, QStringLiteral("x"), 2.0);
    std::printf("  (load: %.1f ms)\n", views);
    ok &= Bench::report(QStringLiteral("Code filter on ide, with a bound box"), filter,
                        QStringLiteral("ms"), 20.0);
    ok &= Bench::report(QStringLiteral("refresh of the ide view, table unchanged"), refresh,
                        QStringLiteral("ms"), 0);
    std::printf("  (refresh ratio to one plain read of ide: %.2f)\n",
                refresh / Bench::medianMs(3, [] { plainRead(Tables::Ide); }));
    ok &= Bench::report(QStringLiteral("peak memory"), Bench::peakMemoryMb(), QStringLiteral("MB"),
                        250.0);
    Database::close();
    return ok ? 0 : 1;
}
