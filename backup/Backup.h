#pragma once

#include "data/FileCopy.h"

#include <functional>

// What the backup window runs between the blocks of a copy: its events are processed whenever
// 15 ms have passed since the last time, often enough for it to answer at once, rarely enough
// not to slow the copy down.
std::function<void()> keepAnswering();

// The copy as the backup window uses it: the window answers between blocks, and a failure is
// shown to the user ("اشکال در ايجاد نسخه پشتيباني" and the system's description). Returns 1 when
// the destination holds an exact copy, otherwise 0.
int CopyFileInBlocks(const QString& source, const QString& destination);
