// Restores a backup through the backup window, for the test that kills the program midway.
// Arguments: the program folder, the backup file. Prints "restoring" just before it starts.
#include "backup/Frmbackup.h"
#include "data/Database.h"
#include "shell/seams/ErrorTrap.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScriptedDialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

int main(int argc, char** argv) {
    VornApplication app(argc, argv);
    if (argc < 3)
        return 2;
    FakePlatform platform(QString::fromLocal8Bit(argv[1]));
    ScriptedDialogs dialogs;
    if (Database::open(platform.programFolder()).status == Database::OpenResult::Refused)
        return 3;
    auto* window = new Frmbackup;
    window->show();
    window->findChild<QLineEdit*>(QStringLiteral("Text2"))
        ->setText(QString::fromLocal8Bit(argv[2]));
    dialogs.answer(Dialogs::Yes);
    std::printf("restoring\n");
    std::fflush(stdout);
    window->findChild<QPushButton*>(QStringLiteral("VisualButtonEx3"))->click();
    std::printf(platform.endedNow == 1 ? "restored\n" : "failed\n");
    return 0;
}
