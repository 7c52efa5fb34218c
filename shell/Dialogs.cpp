#include "Dialogs.h"

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
        return QMessageBox::Yes | QMessageBox::No;
    case Dialogs::Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Dialogs::Buttons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

// "Database Backup |*.mdbB" (description and pattern by "|") in the form Qt's dialogs read.
QString qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i].trimmed() + QStringLiteral(" (") + parts[i + 1].trimmed() +
                       QLatin1Char(')');
    return entries.isEmpty() ? filter : entries.join(QStringLiteral(";;"));
}

// While a box is up, its owner window must not close or go away under it: assistive technology
// can still press the owner's buttons, where the mouse and keys cannot. A close that arrives
// meanwhile is held (a notice closes at once to let it through) and carried out after the box
// has returned to its caller.
class OwnerGuard : public QObject {
public:
    OwnerGuard(QWidget* owner, QDialog* box, bool closeBox)
        : window_(owner ? owner->window() : nullptr), box_(box), closeBox_(closeBox) {
        if (window_)
            window_->installEventFilter(this);
    }
    ~OwnerGuard() override {
        if (!window_)
            return;
        window_->removeEventFilter(this);
        if (deleteHeld_)
            window_->deleteLater();
        else if (closeHeld_)
            QTimer::singleShot(0, window_.data(), [w = window_] {
                if (w)
                    w->close();
            });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_)
            return false;
        if (event->type() == QEvent::Close) {
            event->ignore();
            closeHeld_ = true;
            if (closeBox_)
                box_->accept();
            return true;
        }
        if (event->type() == QEvent::DeferredDelete) {
            deleteHeld_ = true;
            return true;
        }
        return false;
    }

private:
    QPointer<QWidget> window_;
    QDialog* box_;
    bool closeBox_;
    bool closeHeld_ = false;
    bool deleteHeld_ = false;
};

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
    const OwnerGuard guard(owner, &box, true);
    box.exec();
    QObject::disconnect(connection);
}

Dialogs::Result QtDialogs::message(QWidget* owner, const QString& text, const QString& title,
                                   Icon icon, Buttons buttons, bool rightToLeft) {
    QMessageBox box(boxIcon(icon), title, text, boxButtons(buttons), owner);
    box.setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    const OwnerGuard guard(owner, &box, false);
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
    const OwnerGuard guard(owner, &box, false);
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

QString QtDialogs::openFileName(QWidget* owner, const QString& title, const QString& folder,
                                const QString& filter) {
    const OwnerGuard guard(owner, nullptr, false);
    return QFileDialog::getOpenFileName(owner, title, folder, qtFilter(filter));
}

QString QtDialogs::saveFileName(QWidget* owner, const QString& title, const QString& proposed,
                                const QString& filter) {
    const OwnerGuard guard(owner, nullptr, false);
    return QFileDialog::getSaveFileName(owner, title, proposed, qtFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void QtDialogs::beep() {
    QApplication::beep();
}
