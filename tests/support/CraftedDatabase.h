#pragma once

#include <QString>
#include <QStringList>

// Files that look like, or almost are, a VORN database: what a restore or a start-up may be
// handed. Each kind is made at path from a real VORN database where it needs one.
namespace Crafted {

QStringList kinds();
// False (with a test failure) when the file could not be made.
bool make(const QString& path, const QString& kind);

// What a folder holds: every entry's name and kind, each regular file's digest, each link's
// target. Equal states mean nothing in it was touched (no file changed, none added beside).
QByteArray folderState(const QString& folder);

} // namespace Crafted
