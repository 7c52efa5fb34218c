#pragma once

#include <QString>

// The earlier program's database (a Jet or ACE file) brought into VORN: read by the helper
// VORNimport in a process of its own, written as a new VORN database, then checked like any.
namespace Legacy {

// Whether the file at path begins as a Jet or ACE database does.
bool isEarlierFormat(const QString& path);

struct Conversion {
    QString problem; // Persian, naming the file and the reason; empty when it was converted
    QString summary; // Persian: what came over, and what was noticed on the way
};

struct Helper {
    QString program;  // the helper to start; by default VORNimport beside this program
    int seconds = -1; // its time limit; by default one that grows with the file's size
};

// Converts source into a new VORN database at target (made here, removed on failure). The
// windows go on meanwhile.
Conversion convert(const QString& source, const QString& target, const Helper& helper = {});

// At start-up: the program folder's database, in the earlier format, converted in place. The
// original is kept beside it under a name of its own, never overwritten; the converted file
// takes the database's name in one rename. What happened, for the user.
Conversion bringIn(const QString& programFolder, const Helper& helper = {});

} // namespace Legacy
