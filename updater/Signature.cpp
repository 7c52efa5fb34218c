#include "updater/Signature.h"

#include "UpdateKey.h"

#include <QFile>
#include <sodium.h>

namespace Signature {

Check verify(const QString& path, const QByteArray& signature) {
    if (sodium_init() < 0)
        return Check::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Check::Unreadable;
    if (signature.size() != Size)
        return Check::Wrong;
    // Mapped, not read: an installer may be hundreds of megabytes.
    const qint64 size = file.size();
    const uchar* bytes = size > 0 ? file.map(0, size) : reinterpret_cast<const uchar*>("");
    if (!bytes)
        return Check::Unreadable;
    const bool good =
        crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.constData()),
                                    bytes, static_cast<unsigned long long>(size), UpdateKey) == 0;
    return good ? Check::Good : Check::Wrong;
}

} // namespace Signature
