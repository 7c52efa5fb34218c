#include "shell/seams/Dialogs.h"

#include "shell/seams/Busy.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace {

Dialogs* installed = nullptr;

QMessageBox::Icon boxIcon(Dialogs::Icon icon) {
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(Dialogs::Buttons buttons) {
    switch (buttons) {
    case Dialogs::Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Dialogs::Buttons::YesNo:
    case Dialogs::Buttons::YesNoDefaultNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Dialogs::Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Dialogs::Buttons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

} // namespace

Dialogs& Dialogs::get() {
    static QtDialogs real;
    return installed ? *installed : real;
}

void Dialogs::install(Dialogs* dialogs) {
    installed = dialogs;
}

// One closing timer per owner window: a second notice restarts it, and when it fires it closes
// every notice of that owner still open, so none is left behind.
void QtDialogs::notice(QWidget* owner, const QString& text, int milliseconds) {
    static const QString kTimerName = QStringLiteral("noticeTimer");
    static QObject ownerless;
    QObject* host = owner ? static_cast<QObject*>(owner) : &ownerless;
    auto* timer = host->findChild<QTimer*>(kTimerName, Qt::FindDirectChildrenOnly);
    if (!timer) {
        timer = new QTimer(host);
        timer->setObjectName(kTimerName);
        timer->setSingleShot(true);
    }

    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8("پيام"), text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("notice"));
    const auto connection = QObject::connect(timer, &QTimer::timeout, &box, &QMessageBox::accept);
    timer->start(milliseconds);
    // A close of the owner that arrives meanwhile closes the notice at once to get through.
    const Busy guard(owner, Busy::Controls::Keep, [&box] { box.accept(); });
    box.exec();
    QObject::disconnect(connection);
}

Dialogs::Result QtDialogs::message(QWidget* owner, const QString& text, const QString& title,
                                   Icon icon, Buttons buttons, bool rightToLeft) {
    QMessageBox box(boxIcon(icon), title, text, boxButtons(buttons), owner);
    if (buttons == Buttons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    box.setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    const Busy guard(owner, Busy::Controls::Keep);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Yes;
    case QMessageBox::No:
        return No;
    case QMessageBox::Cancel:
        return Cancel;
    default:
        return Ok;
    }
}

QString QtDialogs::input(QWidget* owner, const QString& prompt, const QString& title,
                         const QString& initial) {
    QInputDialog box(owner);
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(initial);
    const Busy guard(owner, Busy::Controls::Keep);
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

QString QtDialogs::openFileName(QWidget* owner, const QString& title, const QString& folder,
                                const QString& filter) {
    const Busy guard(owner, Busy::Controls::Keep);
    return QFileDialog::getOpenFileName(owner, title, folder, qtFilter(filter));
}

QString QtDialogs::saveFileName(QWidget* owner, const QString& title, const QString& proposed,
                                const QString& filter) {
    const Busy guard(owner, Busy::Controls::Keep);
    return QFileDialog::getSaveFileName(owner, title, proposed, qtFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

// A description that already shows its pattern does not get it twice.
QString QtDialogs::qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString shown = QStringLiteral("(") + parts[i + 1].trimmed() + QLatin1Char(')');
        entries << (description.endsWith(shown) ? description
                                                : description + QLatin1Char(' ') + shown);
    }
    return entries.isEmpty() ? filter : entries.join(QStringLiteral(";;"));
}

void QtDialogs::beep() {
    QApplication::beep();
}
