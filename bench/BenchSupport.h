#pragma once

#include <QString>
#include <QTemporaryDir>
#include <functional>

// Shared pieces of the benchmark programs: a database with many subjects, timing and reporting.
namespace Bench {

// Fills the open database with subjects 1..count, each an ide row and an answered Answer row.
// With firstMovedLast, subject 1 is stored after all the others. A count of whole hundred
// thousands past the first is made by copying the first hundred thousand under new codes.
void addSubjects(int count, bool firstMovedLast = false);

// The median of several runs of a step, in milliseconds.
double medianMs(int runs, const std::function<void()>& step);

// Peak resident memory of this process so far, in megabytes.
double peakMemoryMb();

// Prints one measured figure with its goal (none when 0); returns whether the goal was met.
bool report(const QString& what, double value, const QString& unit, double goal);

} // namespace Bench
