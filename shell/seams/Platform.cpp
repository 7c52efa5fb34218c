#include "shell/seams/Platform.h"

#include "shell/seams/DesktopPlatform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <cstdio>
#include <cstdlib>

namespace {
Platform* installed = nullptr;
}

Platform& Platform::get() {
    static DesktopPlatform real;
    return installed ? *installed : real;
}

void Platform::install(Platform* platform) {
    installed = platform;
}

bool DesktopPlatform::startProgram(const QString& program, const QStringList& arguments,
                                   WindowStyle) {
    // Window styles are the desktop's business here; the program starts in its own folder.
    return QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath());
}

bool DesktopPlatform::openUrl(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url));
}

// One lock per program folder: two copies on one database file are what must not happen.
bool DesktopPlatform::anotherCopyRunning() {
    if (!lock_) {
        const QByteArray folder = QDir(programFolder()).canonicalPath().toUtf8();
        const QString name =
            QStringLiteral("VORN-%1.lock")
                .arg(QString::fromLatin1(
                    QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16)));
        lock_ = std::make_unique<QLockFile>(QDir(QDir::tempPath()).filePath(name));
        lock_->setStaleLockTime(0);
        if (!lock_->tryLock(0)) {
            another_ = lock_->error() == QLockFile::LockFailedError;
            if (!another_)
                problem_ = QString::fromUtf8(
                               "قفل اجرای برنامه در %1 ساخته نشد (%2). پوشهٔ "
                               "پرونده‌های موقت باید نوشتنی باشد.")
                               .arg(QDir::toNativeSeparators(lock_->fileName()),
                                    lock_->error() == QLockFile::PermissionError
                                        ? QString::fromUtf8("اجازهٔ نوشتن نیست")
                                        : QString::fromUtf8("خطای ناشناخته"));
        }
    }
    return another_;
}

void DesktopPlatform::endProgramNow() {
    std::fflush(nullptr);
    std::_Exit(0);
}

QString DesktopPlatform::programFolder() const {
    const QString folder = qEnvironmentVariable("VORN_PROGRAM_FOLDER");
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

QString DesktopPlatform::calculator() const {
    for (const char* name : {"gnome-calculator", "kcalc", "galculator", "mate-calc", "qalculate-qt",
                             "qalculate-gtk", "speedcrunch", "xcalc"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}
