#pragma once

#include <QObject>

class QLineEdit;

// A box that takes only digits: Backspace, Enter and the digits pass (Persian and Arabic-Indic
// digits become 0 to 9); any other typed key beeps, is discarded and shows the notice
// "شما بايد عدد وارد كنيد". Pasted text must be digits too, and no longer than the box allows.
class DigitFilter : public QObject {
    Q_OBJECT
public:
    static void install(QLineEdit* box, int maxLength);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit DigitFilter(QLineEdit* box);
    QLineEdit* box_;
};
