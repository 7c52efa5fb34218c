#pragma once

#include "data/Database.h"
#include "tests/support/FakePlatform.h"

#include <QSqlDatabase>
#include <QTemporaryDir>

// A fresh program folder with the skin files, the fake platform pointing at it, and (after
// openDatabase) a fresh database for it. Closes the database when it goes.
//
// When the test run names its database server (VORN_TEST_SUITE_SERVER: the file pg-cluster
// keeps the server's socket folder in), the database is a new one on that server, named by the
// folder's connection file, and it is dropped when the folder goes. A folder made as File always
// holds the database file.
class TempProgramFolder {
    QTemporaryDir dir_; // first: the platform is made from its path
    QString serverDatabase_;

public:
    enum class Kind { AsTheRunSays, File };
    explicit TempProgramFolder(Kind kind = Kind::AsTheRunSays);
    ~TempProgramFolder();

    QString path() const { return dir_.path(); }
    QString databasePath() const { return Database::filePath(path()); }
    bool onServer() const { return !serverDatabase_.isEmpty(); }
    Database::OpenResult openDatabase();
    // A connection of its own to the folder's database, as another program's; the caller
    // removes it.
    QSqlDatabase openAnother(const QString& connectionName) const;

    FakePlatform platform;
};

// Whether this run of a suite keeps its databases on the server.
bool suiteOnServer();

// For a test about the database file itself (its bytes, its damage), or about no database.
#define NOT_ON_SERVER(why)                                                                         \
    do {                                                                                           \
        if (suiteOnServer())                                                                       \
            QSKIP(why);                                                                            \
    } while (false)

// Makes the open database refuse every write of that kind ("UPDATE", "DELETE") to the table,
// with the text "locked", as a failing disk or server does; until allowWrites.
void refuseWrites(const char* event, const char* table);
void allowWrites(const char* table);

// Deletes every window a test left open (dialogs and popups go with their owners).
void deleteAllWindows();

class QWidget;
// Presses a button as a screen reader or automation tool does: its accessibility action.
void pressThroughAccessibility(QWidget* button);

#include <QApplication>
#include <QWidget>

// A named control of a window; a test that asks for one the window lacks stops at once.
// The shown top-level window of a class, or nullptr.
template <typename T> T* shownWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    return nullptr;
}

template <typename T> T* control(QWidget* window, const QString& name) {
    T* found = window ? window->findChild<T*>(name) : nullptr;
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}
