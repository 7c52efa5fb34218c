#pragma once

#include <QByteArray>
#include <QString>

// The maker signs every installer with an Ed25519 key; the updater carries the public half and
// runs nothing it cannot verify with it.
namespace Signature {

constexpr int Size = 64; // a detached Ed25519 signature

enum class Check { Good, Wrong, Unreadable };

// Whether signature is the maker's of the whole file at path.
Check verify(const QString& path, const QByteArray& signature);

} // namespace Signature
