#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The subjects out of the database for analysis: one row per subject with its registration,
// its 33 answers and its three scores. The rows are streamed from the file, never collected,
// and the database is only read.
namespace Export {

enum class Format { Csv, Xlsx, Sav };

// The format a file name asks for by its ending (.csv, .xlsx, .sav), if any.
std::optional<Format> formatOf(const QString& path);

// Told how far the export is (rows written of all); answers false to stop it.
using Progress = std::function<bool(qint64 done, qint64 total)>;

struct Result {
    QString error;          // Persian, for the user; empty when the file was written
    bool cancelled = false; // stopped by the user: no file either
    qint64 rows = 0;
    // Texts the format could not hold whole, cut at a letter's end: "آزمودنی CODE: FIELD"
    QStringList cut;
};

// Writes the subjects of the group (every subject when group is empty) to path. The file is
// written beside its name and takes it only when whole: after a failure or a cancel an older
// file of that name is as it was, and no half-written file is left.
Result write(const QString& path, Format format, const QString& group, const Progress& progress);

} // namespace Export
