#include "Backup.h"

#include "Dialogs.h"
#include "Version.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <algorithm>

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
