#pragma once

#include <QString>
#include <functional>

// Whole-file copies of the database, in both directions.
namespace Backup {

inline constexpr int BlockSize = 4048;
inline constexpr int BlocksPerRun = 256;

struct CopyResult {
    bool ok = false;
    QString error; // the system's description when the copy failed
};

// Copies source to destination block by block, calling beforeBlock before every block with
// the size of the block about to be copied. The file is read and written BlocksPerRun blocks
// at a time (one request to the system for each, not one per block), so at most that many are
// held in memory. The copy is on the disk when it is reported done. The
// destination's previous content is replaced only once the whole copy is written (a temporary
// file beside it is renamed into place), so a failed or interrupted copy leaves it as it was.
CopyResult copyInBlocks(const QString& source, const QString& destination,
                        const std::function<void(int block)>& beforeBlock = {});

// Why a backup may not be written at path, or empty: only a new file in a folder that exists,
// or a regular file to replace. A FIFO, a device, a folder or a link is never replaced or
// written through, and no folder is made.
QString whyNotATarget(const QString& path);

} // namespace Backup
