#include "shell/seams/Busy.h"

#include <QEvent>
#include <QTimer>

Busy::Busy(QWidget* window, Controls controls, std::function<void()> closeHeld)
    : window_(window ? window->window() : nullptr), onCloseHeld_(std::move(closeHeld)) {
    if (!window_)
        return;
    window_->installEventFilter(this);
    if (controls == Controls::Keep)
        return;
    // Child windows (the progress window, a box) stay usable.
    for (QWidget* w : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!w->isWindow() && w->isEnabled()) {
            w->setEnabled(false);
            disabled_ << w;
        }
}

Busy::~Busy() {
    if (!window_)
        return;
    window_->removeEventFilter(this);
    for (const QPointer<QWidget>& w : disabled_)
        if (w)
            w->setEnabled(true);
    if (deleteHeld_)
        window_->deleteLater();
    else if (closeHeld_)
        QTimer::singleShot(0, window_.data(), [w = window_] {
            if (w)
                w->close();
        });
}

bool Busy::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_)
        return false;
    if (event->type() == QEvent::Close) {
        event->ignore();
        closeHeld_ = true;
        if (onCloseHeld_)
            onCloseHeld_();
        return true;
    }
    if (event->type() == QEvent::DeferredDelete) {
        deleteHeld_ = true;
        return true;
    }
    return false;
}
