#include "TempProgramFolder.h"

#include <QDir>
#include <QFile>

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
