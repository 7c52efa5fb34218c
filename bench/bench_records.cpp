// Searching and deleting in the records window over 100,000 subjects.
#include "bench/BenchSupport.h"
#include "data/Database.h"
#include "records/FrmCode.h"
#include "shell/seams/Dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <cstdio>

namespace {

// Says yes to every question and lets every notice go at once.
class Yes : public Dialogs {
public:
    void notice(QWidget*, const QString&, int) override {}
    Result message(QWidget*, const QString&, const QString&, Icon, Buttons, bool) override {
        return Dialogs::Yes;
    }
    QString input(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    void beep() override {}
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Yes yes;
    Dialogs::install(&yes);
    QTemporaryDir folder;
    if (Database::open(folder.path()).status != Database::OpenResult::Created)
        return 1;
    constexpr int Subjects = 100000;
    std::printf("building a database with %d subjects...\n", Subjects);
    Bench::addSubjects(Subjects);

    auto* window = new FrmCode;
    window->show();
    QCoreApplication::processEvents();
    auto* lastName = window->findChild<QComboBox*>(QStringLiteral("DataCombo1"));
    auto* grid = window->findChild<QTableView*>(QStringLiteral("DataGrid1"));
    int n = 0;
    const double search = Bench::medianMs(21, [&] {
        lastName->lineEdit()->selectAll();
        lastName->lineEdit()->insert(lastName->itemText(n++ % lastName->count()));
        grid->viewport()->repaint();
    });
    std::printf("rows found by the last search: %d\n", grid->model()->rowCount());

    auto* code = window->findChild<QLineEdit*>(QStringLiteral("Text5"));
    auto* remove = window->findChild<QPushButton*>(QStringLiteral("Command2"));
    int next = Subjects;
    const double erase = Bench::medianMs(5, [&] {
        code->setText(QString::number(next--));
        remove->click();
        grid->viewport()->repaint();
    });
    bool ok = Bench::report(QStringLiteral("search by last name, grid shown"), search,
                            QStringLiteral("ms"), 30);
    ok &= Bench::report(QStringLiteral("delete a subject with its reloads"), erase,
                        QStringLiteral("ms"), 1000);
    delete window;
    Dialogs::install(nullptr);
    Database::close();
    return ok ? 0 : 1;
}
