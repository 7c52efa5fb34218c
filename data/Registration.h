#pragma once

#include <QString>
#include <QStringList>

class DataView;

// The rules of registering a subject, apart from the panel that shows them.
namespace Registration {

// The code after lastCode that none of taken holds: a whole number counts on as one ("12"
// after "11"), anything else as the number it reads as.
QString skipTakenCode(const QString& lastCode, const QStringList& taken);

// The code to propose for the next subject, from the subjects' view: the last stored code plus
// one, or the next free one after it. Empty when no subject is stored yet.
QString nextFreeCode(DataView& subjects);

enum class Outcome {
    Saved,
    Taken,         // another subject has the code: say so
    TakenMeanwhile // another desk gave the code since it was proposed: offer the next one
};

// Saves the registration in subjects' current row with code, and a new row of answers with
// the same code, both or neither. numbering is read afresh to see whether the code is taken.
Outcome save(DataView& subjects, DataView& answers, DataView& numbering, const QString& code);

} // namespace Registration
