#pragma once

#include <QList>
#include <QString>
#include <array>
#include <functional>

// The questionnaire's scoring key and the texts scoring produces. No widget here.
namespace Scoring {

struct Subscale {
    const char* caption; // as printed: "خلاقيت", "باليدگي", "تعهد"
    const char* field;   // the score's field in ide
    QList<int> items;
    int divisor;
};

// Innovativeness, maturity, engagement; no item is reverse-scored.
const std::array<Subscale, 3>& key();

// The score of a subscale: the mean of its answers as decimal text, cut (not rounded) to its
// first four characters: 35 over 11 gives "3.18", 54 over 11 "4.90".
QString ScoreText(double sum, int divisor);

// The three scores, in the key's order, from the answers (answer(n) is item n's stored text; an
// answer that is not a number counts as 0).
std::array<QString, 3> scores(const std::function<QString(int item)>& answer);

// The unanswered items as the refusal lists them: " 3   17  " for items 3 and 17.
QString MissingItemsText(const QList<int>& items);

} // namespace Scoring
