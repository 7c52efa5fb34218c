#include "data/Registration.h"

#include "core/Val.h"
#include "data/DataView.h"
#include "data/Database.h"

#include <QSet>
#include <cmath>

namespace Registration {

namespace {

// A code written as a whole number the way the proposal writes one ("12", not "012" or "12.0").
bool plainWholeNumber(QStringView code, qint64* value) {
    if (code.isEmpty() || code.size() > 15 || (code.size() > 1 && code.front() == u'0'))
        return false;
    qint64 n = 0;
    for (QChar c : code) {
        if (c < u'0' || c > u'9')
            return false;
        n = n * 10 + (c.unicode() - u'0');
    }
    *value = n;
    return true;
}

} // namespace

QString skipTakenCode(const QString& lastCode, const QStringList& taken) {
    double candidate = Val(lastCode) + 1;
    // Whole codes, the usual case, are counted as integers; text is made only for the answer.
    if (candidate >= 1 && candidate < 1e15 && candidate == std::floor(candidate)) {
        QSet<qint64> numbers;
        numbers.reserve(taken.size());
        qint64 n = 0;
        for (const QString& code : taken)
            if (plainWholeNumber(code, &n))
                numbers.insert(n);
        auto next = qint64(candidate);
        while (numbers.contains(next))
            ++next;
        return QString::number(next);
    }
    const QSet<QString> codes(taken.cbegin(), taken.cend());
    // Past 15 digits adding one changes nothing: stop there rather than loop.
    while (codes.contains(NumberText(candidate)) && candidate + 1 != candidate)
        candidate += 1;
    return NumberText(candidate);
}

QString nextFreeCode(DataView& subjects) {
    subjects.refresh();
    if (subjects.isEmpty())
        return {};
    // Usually the last code plus one is free: one lookup. Only when it is taken are all the
    // codes read to find the next free one.
    const QString code = QStringLiteral("Code");
    const QString last = subjects.lastStored(code);
    QString proposal = skipTakenCode(last, {});
    if (subjects.anyStored(code, proposal))
        proposal = skipTakenCode(last, subjects.distinctStored(code));
    return proposal;
}

Outcome save(DataView& subjects, DataView& answers, DataView& numbering, const QString& code) {
    // A server refuses a code taken by itself, whenever it was taken (below): asking first would
    // cost a round trip.
    if (Database::kind() == Database::Kind::File) {
        numbering.refresh();
        numbering.setFilter(QStringLiteral("Code"), code);
        if (numbering.rowCount() > 0) {
            numbering.refresh();
            return Outcome::Taken;
        }
    }
    subjects.setField(QStringLiteral("Code"), code);
    answers.refresh(); // an answer row left from a failed save must not be written twice
    answers.addRow();
    answers.setField(QStringLiteral("Code"), code);
    try {
        DataView::commitAll({&subjects, &answers});
    } catch (const CodeTaken&) {
        // Another desk on the same server gave this code a moment ago; nothing was written.
        answers.refresh();
        return Outcome::TakenMeanwhile;
    }
    return Outcome::Saved;
}

} // namespace Registration
