#include "research/Statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace Statistics {

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

double variance(qint64 n, double sum, double squares) {
    return n < 2 ? NaN : std::max(0.0, (squares - sum * sum / double(n)) / double(n - 1));
}
} // namespace

void Series::add(double x) {
    min_ = n_ == 0 ? x : std::min(min_, x);
    max_ = n_ == 0 ? x : std::max(max_, x);
    ++n_;
    sum_ += x;
    squares_ += x * x;
}

Summary Series::summary() const {
    if (n_ == 0)
        return {0, NaN, NaN, NaN, NaN};
    return {n_, sum_ / double(n_), std::sqrt(variance(n_, sum_, squares_)), min_, max_};
}

Alpha::Alpha(int items) : items_(size_t(std::max(0, items))) {}

void Alpha::add(const std::vector<double>& answers) {
    if (answers.size() != items_.size())
        return;
    double total = 0;
    for (size_t i = 0; i < answers.size(); ++i) {
        items_[i].add(answers[i]);
        total += answers[i];
    }
    total_.add(total);
    ++n_;
}

double Alpha::value() const {
    const auto k = double(items_.size());
    if (n_ < 2 || k < 2)
        return NaN;
    const Summary t = total_.summary();
    const double totalVariance = t.sd * t.sd;
    if (!(totalVariance > 1e-12))
        return NaN;
    double itemVariances = 0;
    for (const Series& item : items_) {
        const Summary s = item.summary();
        itemVariances += s.sd * s.sd;
    }
    return k / (k - 1) * (1 - itemVariances / totalVariance);
}

struct Groups::Sums {
    explicit Sums(const std::array<QList<int>, Subscales>& items)
        : alpha{Alpha(int(items[0].size())), Alpha(int(items[1].size())),
                Alpha(int(items[2].size()))} {}
    qint64 scored = 0;
    std::array<Series, Subscales> scores;
    std::array<Alpha, Subscales> alpha;
    std::array<Series, Items> answers;
};

Groups::Groups(const std::array<QList<int>, Subscales>& items) : items_(items) {
    groups_.emplace_back(QString(), std::make_shared<Sums>(items_));
}

// Found by name in one step: a search through the groups for every subject made 100,000 groups
// take minutes.
Groups::Sums& Groups::sums(const QString& name) {
    if (Sums* found = byName_.value(name))
        return *found;
    groups_.emplace_back(name, std::make_shared<Sums>(items_));
    byName_.insert(name, groups_.back().second.get());
    return *groups_.back().second;
}

void Groups::add(const Subject& subject) {
    for (Sums* s : {groups_.front().second.get(), &sums(subject.group)}) {
        ++s->scored;
        for (int i = 0; i < Subscales; ++i)
            if (!std::isnan(subject.scores[size_t(i)]))
                s->scores[size_t(i)].add(subject.scores[size_t(i)]);
        for (int i = 0; i < Items; ++i)
            if (!std::isnan(subject.answers[size_t(i)]))
                s->answers[size_t(i)].add(subject.answers[size_t(i)]);
        for (int i = 0; i < Subscales; ++i) {
            std::vector<double> answers;
            for (int item : items_[size_t(i)])
                answers.push_back(subject.answers[size_t(item - 1)]);
            if (std::none_of(answers.begin(), answers.end(),
                             [](double a) { return std::isnan(a); }))
                s->alpha[size_t(i)].add(answers);
        }
    }
}

QList<Group> Groups::result() const {
    QList<Group> all;
    auto convert = [](const QString& name, const Sums& s) {
        Group g;
        g.name = name;
        g.scored = s.scored;
        for (int i = 0; i < Subscales; ++i) {
            g.scores[size_t(i)] = s.scores[size_t(i)].summary();
            g.alpha[size_t(i)] = s.alpha[size_t(i)].value();
            g.alphaCount[size_t(i)] = s.alpha[size_t(i)].count();
        }
        for (int i = 0; i < Items; ++i)
            g.itemMeans[size_t(i)] = s.answers[size_t(i)].summary().mean;
        return g;
    };
    all << convert(QString(), *groups_.front().second);
    auto rest = groups_;
    rest.erase(rest.begin());
    std::sort(rest.begin(), rest.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, s] : rest)
        all << convert(name, *s);
    return all;
}

} // namespace Statistics
