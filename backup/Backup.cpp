#include "backup/Backup.h"

#include "core/Version.h"
#include "shell/seams/Dialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>

std::function<void()> keepAnswering() {
    auto sinceEvents = std::make_shared<QElapsedTimer>();
    sinceEvents->start();
    return [sinceEvents] {
        if (sinceEvents->elapsed() >= 15) {
            QCoreApplication::processEvents();
            sinceEvents->restart();
        }
    };
}

int CopyFileInBlocks(const QString& source, const QString& destination) {
    const std::function<void()> between = keepAnswering();
    const Backup::CopyResult result =
        Backup::copyInBlocks(source, destination, [&](int) { between(); });
    if (result.ok)
        return 1;
    Dialogs::get().message(
        nullptr,
        QString::fromUtf8("اشکال در ايجاد نسخه پشتيباني") + QStringLiteral("\r\n") + result.error,
        QString::fromLatin1(Version::Product), Dialogs::Icon::Critical, Dialogs::Buttons::Ok, true);
    return 0;
}
