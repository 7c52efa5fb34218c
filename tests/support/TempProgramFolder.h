#pragma once

#include "Database.h"
#include "FakePlatform.h"

#include <QTemporaryDir>

// A fresh program folder with the skin files, the fake platform pointing at it, and (after
// openDatabase) a fresh database in it. Closes the database when it goes.
class TempProgramFolder {
    QTemporaryDir dir_; // first: the platform is made from its path

public:
    TempProgramFolder();
    ~TempProgramFolder();

    QString path() const { return dir_.path(); }
    QString databasePath() const { return Database::filePath(path()); }
    Database::OpenResult openDatabase();

    FakePlatform platform;
};

// Deletes every window a test left open (dialogs and popups go with their owners).
void deleteAllWindows();

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
