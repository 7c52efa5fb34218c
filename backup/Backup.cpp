#include "backup/Backup.h"

#include "core/Version.h"
#include "shell/seams/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <sys/stat.h>

namespace Backup {

CopyResult copyInBlocks(const QString& source, const QString& destination,
                        const std::function<void(int block)>& beforeBlock) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {false, in.errorString()};
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return {false, out.errorString()};
    const qint64 length = in.size();
    QByteArray run(BlockSize * BlocksPerRun, Qt::Uninitialized);
    for (qint64 copied = 0; copied < length;) {
        const int size = int(std::min<qint64>(run.size(), length - copied));
        for (int block = 0; block < size && beforeBlock; block += BlockSize)
            beforeBlock(std::min(BlockSize, size - block));
        if (in.read(run.data(), size) != size)
            return {false, in.errorString()};
        if (out.write(run.constData(), size) != size)
            return {false, out.errorString()};
        copied += size;
    }
    if (!out.commit())
        return {false, out.errorString()};
    return {true, {}};
}

QString whyNotATarget(const QString& path) {
    struct stat target {};
    if (::lstat(QFile::encodeName(path).constData(), &target) == 0)
        return S_ISREG(target.st_mode)
                   ? QString()
                   : QString::fromUtf8(
                         "این مسیر یک پروندهٔ معمولی نیست (پوشه، پیوند یا دستگاه "
                         "است) و نسخهٔ پشتیبان روی آن نوشته نمی‌شود.");
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        return QString::fromUtf8("پوشهٔ %1 وجود ندارد.")
            .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
    return {};
}

} // namespace Backup

// The window's events are processed between blocks whenever 15 ms have passed since the last
// time: often enough for it to answer at once, rarely enough not to slow the copy down.
int CopyFileInBlocks(const QString& source, const QString& destination) {
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const Backup::CopyResult result = Backup::copyInBlocks(source, destination, [&](int) {
        if (sinceEvents.elapsed() >= 15) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
    });
    if (result.ok)
        return 1;
    Dialogs::get().message(
        nullptr,
        QString::fromUtf8("اشکال در ايجاد نسخه پشتيباني") + QStringLiteral("\r\n") + result.error,
        QString::fromLatin1(Version::Product), Dialogs::Icon::Critical, Dialogs::Buttons::Ok, true);
    return 0;
}
