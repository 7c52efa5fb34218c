#include "core/Version.h"
#include "data/Database.h"
#include "data/Server.h"
#include "legacy/Legacy.h"
#include "shell/Frm1.h"
#include "shell/seams/Dialogs.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/MainWindow.h"
#include "shell/seams/Platform.h"

#include <QDir>
#include <QFileInfo>
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
    const QString folder = Platform::get().programFolder();
    // The earlier program's database is recognised before anything else judges it, and brought
    // in only when the user says so; No ends the program with nothing touched.
    if (!QFileInfo::exists(Server::settingsPath(folder)) &&
        Legacy::isEarlierFormat(Database::filePath(folder))) {
        if (Dialogs::get().message(
                nullptr,
                QObject::tr(
                    "پروندهٔ %1 پایگاه دادهٔ برنامهٔ پیشین است. آزمودنی‌ها، پاسخ‌ها و "
                    "نمره‌های آن به VORN آورده شود؟ پروندهٔ پیشین دست‌نخورده با نام "
                    "دیگری کنار آن می‌ماند.")
                    .arg(QDir::toNativeSeparators(Database::filePath(folder))),
                title, Dialogs::Icon::Question, Dialogs::Buttons::YesNo) != Dialogs::Yes)
            return 0;
        const Legacy::Conversion brought = Legacy::bringIn(folder);
        if (!brought.problem.isEmpty()) {
            Dialogs::get().message(nullptr, brought.problem, title, Dialogs::Icon::Critical);
            return 1;
        }
        Dialogs::get().message(nullptr, brought.summary, title, Dialogs::Icon::Information);
    }
    Database::OpenResult db = Database::open(folder, Database::PageCheck::Beside);
    // A server that cannot be used need not lock the clinic out: the connection file is named,
    // and on request put aside so that the file on this computer is used.
    if (db.status == Database::OpenResult::Refused && db.server &&
        Dialogs::get().message(
            nullptr,
            db.message +
                QObject::tr(
                    "\n\nتنظیم سرور در پروندهٔ %1 است. برنامه می‌تواند با "
                    "پایگاه دادهٔ همین رایانه ادامه دهد؛ آن پرونده پاک نمی‌شود "
                    "و با نام دیگری کنار گذاشته می‌شود تا بعد برگردانده شود. "
                    "با پایگاه دادهٔ همین رایانه ادامه داده شود؟")
                    .arg(QDir::toNativeSeparators(Server::settingsPath(folder))),
            title, Dialogs::Icon::Critical, Dialogs::Buttons::YesNoDefaultNo) == Dialogs::Yes) {
        const QString aside = Server::setAside(folder);
        if (aside.isEmpty()) {
            Dialogs::get().message(nullptr,
                                   QObject::tr("پروندهٔ %1 کنار گذاشته نشد.")
                                       .arg(QDir::toNativeSeparators(Server::settingsPath(folder))),
                                   title, Dialogs::Icon::Critical);
            return 1;
        }
        db = Database::open(folder, Database::PageCheck::Beside);
        if (db.status != Database::OpenResult::Refused)
            Dialogs::get().message(
                nullptr,
                QObject::tr("تنظیم سرور با نام %1 کنار گذاشته شد؛ برنامه با "
                            "پایگاه دادهٔ همین رایانه کار می‌کند.")
                    .arg(QDir::toNativeSeparators(aside)),
                title, Dialogs::Icon::Information);
    } else if (db.status == Database::OpenResult::Refused && db.server) {
        return 1;
    }
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
