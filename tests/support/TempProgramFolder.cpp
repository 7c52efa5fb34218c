#include "TempProgramFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QWidget>

TempProgramFolder::TempProgramFolder() : platform(dir_.path()) {
    const QDir skins(QStringLiteral(VORN_SKIN_DIR));
    for (const QString& name : skins.entryList({QStringLiteral("*.skn")}, QDir::Files))
        QFile::copy(skins.filePath(name), QDir(dir_.path()).filePath(name));
}

TempProgramFolder::~TempProgramFolder() {
    Database::close();
}

Database::OpenResult TempProgramFolder::openDatabase() {
    return Database::open(path());
}

void deleteAllWindows() {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!w->parentWidget())
            windows << w;
    for (const QPointer<QWidget>& w : windows)
        delete w.data();
}
