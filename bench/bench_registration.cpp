// Opening the registration panel when every proposed code up to the last is taken.
#include "bench/BenchSupport.h"
#include "data/Database.h"
#include "shell/Frm1.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir folder;
    if (Database::open(folder.path()).status != Database::OpenResult::Created)
        return 1;
    constexpr int Subjects = 100000;
    std::printf("building a database with %d subjects, the first one stored last...\n", Subjects);
    Bench::addSubjects(Subjects, true);

    Frm1* window = Frm1::load();
    if (!window)
        return 1;
    auto* registerButton = window->findChild<QPushButton*>(QStringLiteral("Command1"));
    auto* cancel = window->findChild<QPushButton*>(QStringLiteral("Command10"));
    const double open = Bench::medianMs(9, [&] {
        registerButton->click();
        cancel->click();
    });
    const QString proposal = window->findChild<QLineEdit*>(QStringLiteral("Text11"))->text();
    registerButton->click();
    std::printf("proposed code: %s\n",
                qPrintable(window->findChild<QLineEdit*>(QStringLiteral("Text11"))->text()));
    Q_UNUSED(proposal);
    const bool ok = Bench::report(QStringLiteral("open the registration panel (and cancel it)"),
                                  open, QStringLiteral("ms"), 50.0);
    delete window;
    Database::close();
    return ok ? 0 : 1;
}
