#include "shell/seams/DigitFilter.h"

#include "shell/seams/Dialogs.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {

int digitValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= QChar(0x06F0) && c <= QChar(0x06F9))
        return c.unicode() - 0x06F0;
    if (c >= QChar(0x0660) && c <= QChar(0x0669))
        return c.unicode() - 0x0660;
    return -1;
}

} // namespace

DigitFilter::DigitFilter(QLineEdit* box) : QObject(box), box_(box) {}

void DigitFilter::install(QLineEdit* box, int maxLength) {
    box->setMaxLength(maxLength);
    box->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxLength)), box));
    box->installEventFilter(new DigitFilter(box));
}

bool DigitFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != box_ || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString typed = key->text();
    // Keys that type nothing (arrows, Tab) and shortcuts (Ctrl+C, Ctrl+V) are the box's own.
    if (typed.isEmpty() || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Return ||
        key->key() == Qt::Key_Enter || typed.front().category() == QChar::Other_Control)
        return false;
    const int digit = typed.size() == 1 ? digitValue(typed.front()) : -1;
    if (digit >= 0) {
        if (typed.front().unicode() == u'0' + digit)
            return false;
        box_->insert(QString(QChar(u'0' + digit)));
        return true;
    }
    Dialogs::get().beep();
    Dialogs::get().notice(box_->window(), QString::fromUtf8("شما بايد عدد وارد كنيد"));
    return true;
}
