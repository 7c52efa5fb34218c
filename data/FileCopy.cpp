#include "data/FileCopy.h"

#include <QDir>
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
