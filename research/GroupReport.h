#pragma once

#include "research/Statistics.h"

#include <memory>

class Report;

// The group statistics report: all subjects and each group, read from the database.
namespace GroupReport {

struct Figures {
    QList<Statistics::Group> groups; // all subjects first, then each group by name
    qint64 notScored = 0;            // left out: registered, but not (wholly) scored
};

// Streams the subjects from the database; only reads it.
Figures compute();

// A figure as the report prints it: two decimals, or "—" where there is none.
QString number(double value);
// Alpha with the number of subjects it was taken over, or why there is none.
QString alphaText(double alpha, qint64 count);

// The report of those figures, ready to present or write as PDF.
std::unique_ptr<Report> report(const Figures& figures, const QString& clinic);

} // namespace GroupReport
