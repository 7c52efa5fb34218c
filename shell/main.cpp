#include "Database.h"
#include "Dialogs.h"
#include "ErrorTrap.h"
#include "Frm1.h"
#include "MainWindow.h"
#include "Platform.h"
#include "Version.h"

#include <QDir>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    VornApplication app(argc, argv);
    VornApplication::setApplicationName(QString::fromLatin1(Version::Product));
    VornApplication::setApplicationVersion(Version::text());
    app.setUpLook();
    const QString title = QString::fromLatin1(Version::Product);
    MainWindow::setLoader([] { Frm1::load(); });

    // The program works in its own folder, where DBVORN/ and the skin files lie.
    QDir::setCurrent(Platform::get().programFolder());
    // Before the database is touched: a second copy must not even create it.
    if (Frm1::refuseSecondCopy(nullptr))
        return 0;

    // SQLite's check of every page runs once the main window is up, beside it; nothing is
    // written before it has passed.
    const Database::OpenResult db =
        Database::open(Platform::get().programFolder(), Database::PageCheck::Beside);
    if (db.status == Database::OpenResult::Refused) {
        Dialogs::get().message(nullptr, db.message, title, Dialogs::Icon::Critical);
        return 1;
    }
    if (db.status == Database::OpenResult::Created)
        Dialogs::get().message(nullptr, db.message, title, Dialogs::Icon::Information);

    try {
        if (!Frm1::load())
            return 0;
    } catch (const DataError& e) {
        // A damaged page read before the check found it: the check says what it is.
        if (const QString refusal = Database::pagesRefusal(); !refusal.isEmpty())
            Dialogs::get().message(nullptr, refusal, title, Dialogs::Icon::Critical);
        else
            Dialogs::get().message(nullptr, e.message(), QStringLiteral("Error"),
                                   Dialogs::Icon::Critical);
        return 1;
    }
    Database::whenPagesChecked(&app, [title](const QString& refusal) {
        if (refusal.isEmpty())
            return;
        Dialogs::get().message(nullptr, refusal, title, Dialogs::Icon::Critical);
        Database::close();
        std::fflush(nullptr);
        std::_Exit(1); // as at a refusal before the window: no question, nothing saved
    });
    const int code = VornApplication::exec();
    Database::close();
    return code;
}
