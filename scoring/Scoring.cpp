#include "scoring/Scoring.h"

#include "core/Val.h"

#include <algorithm>
#include <cmath>

namespace Scoring {

const std::array<Subscale, 3>& key() {
    static const std::array<Subscale, 3> subscales{{
        {"خلاقيت", "KHalaghiyat", {1, 5, 7, 11, 14, 17, 24, 25, 26, 28, 29}, 11},
        {"باليدگي", "Balidagi", {2, 12, 15, 19, 23, 30, 31, 32, 33}, 9},
        {"تعهد", "Taahod", {3, 4, 6, 8, 9, 10, 13, 16, 18, 20, 21, 22, 27}, 13},
    }};
    return subscales;
}

QString ScoreText(double sum, int divisor) {
    return NumberText(sum / divisor).left(4);
}

QString MissingItemsText(const QList<int>& items) {
    QString text;
    for (int item : items)
        text += QLatin1Char(' ') + QString::number(item) + QStringLiteral("  ");
    return text;
}

std::array<QString, 3> scores(const std::function<QString(int item)>& answer) {
    std::array<QString, 3> texts;
    for (size_t i = 0; i < key().size(); ++i) {
        double sum = 0;
        for (int item : key()[i].items)
            sum += Val(answer(item));
        texts[i] = ScoreText(sum, key()[i].divisor);
    }
    return texts;
}

} // namespace Scoring
