#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <array>
#include <vector>

// Group statistics of the questionnaire: pure arithmetic over numbers, no database, no widget.
namespace Statistics {

inline constexpr int Subscales = 3;
inline constexpr int Items = 33;

// Count, mean, sample standard deviation, lowest and highest of a series; a figure that a
// series cannot give (a mean of nothing, a deviation of one value) is NaN.
struct Summary {
    qint64 n = 0;
    double mean, sd, min, max;
};

// Running sums of one series, taken one value at a time.
class Series {
public:
    void add(double x);
    Summary summary() const;

private:
    qint64 n_ = 0;
    double sum_ = 0, squares_ = 0, min_ = 0, max_ = 0;
};

// Cronbach's alpha over subjects who answered all k items of a scale:
// k / (k - 1) * (1 - sum of the item variances / variance of the total). Undefined (NaN) for
// fewer than two subjects or items, or when the totals do not vary.
class Alpha {
public:
    explicit Alpha(int items);
    void add(const std::vector<double>& answers); // one subject, one answer per item
    qint64 count() const { return n_; }
    double value() const;

private:
    qint64 n_ = 0;
    std::vector<Series> items_;
    Series total_;
};

// Everything the report shows of one group (or of all subjects).
struct Group {
    QString name; // empty for all subjects
    qint64 scored = 0;
    std::array<Summary, Subscales> scores;
    std::array<double, Subscales> alpha;
    std::array<qint64, Subscales> alphaCount;
    std::array<double, Items> itemMeans;
};

// One scored subject: its three stored scores and its 33 answers (NaN where unanswered).
struct Subject {
    QString group;
    std::array<double, Subscales> scores;
    std::array<double, Items> answers;
};

// The groups' figures as subjects stream in: all subjects first, then each group by name.
class Groups {
public:
    // items: for each subscale the item numbers (1 to 33) it sums
    explicit Groups(const std::array<QList<int>, Subscales>& items);
    void add(const Subject& subject);
    QList<Group> result() const;

private:
    struct Sums;
    Sums& sums(const QString& name);
    std::array<QList<int>, Subscales> items_;
    std::vector<std::pair<QString, std::shared_ptr<Sums>>> groups_; // all subjects first
    QHash<QString, Sums*> byName_;                                  // the groups but the first
};

} // namespace Statistics
