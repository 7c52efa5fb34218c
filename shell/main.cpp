#include "Database.h"
#include "Dialogs.h"
#include "ErrorTrap.h"
#include "Frm1.h"
#include "MainWindow.h"
#include "Platform.h"
#include "Version.h"

#include <QDir>

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

    const Database::OpenResult db = Database::open(Platform::get().programFolder());
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
        Dialogs::get().message(nullptr, e.message(), QStringLiteral("Error"),
                               Dialogs::Icon::Critical);
        return 1;
    }
    const int code = VornApplication::exec();
    Database::close();
    return code;
}
