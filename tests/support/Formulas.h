#pragma once

#include <QList>
#include <numeric>

// The statistics by their textbook formulas, written out plainly, to check the program's.
inline double sampleVariance(const QList<double>& xs) {
    double mean = 0;
    for (double x : xs)
        mean += x;
    mean /= double(xs.size());
    double squares = 0;
    for (double x : xs)
        squares += (x - mean) * (x - mean);
    return squares / double(xs.size() - 1);
}

// Cronbach's alpha of subjects' answers (one list per subject, one value per item).
inline double alphaByFormula(const QList<QList<double>>& subjects) {
    const qsizetype k = subjects.front().size();
    double itemVariances = 0;
    for (qsizetype i = 0; i < k; ++i) {
        QList<double> item;
        for (const auto& s : subjects)
            item << s[i];
        itemVariances += sampleVariance(item);
    }
    QList<double> totals;
    for (const auto& s : subjects)
        totals << std::accumulate(s.begin(), s.end(), 0.0);
    return double(k) / double(k - 1) * (1 - itemVariances / sampleVariance(totals));
}
