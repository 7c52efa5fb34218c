#include "PictureButton.h"

#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>

PictureButton::PictureButton(QLabel* normal, QLabel* highlighted, const QString& picture,
                             const QString& highlightedPicture, const QString& accessibleName)
    : QObject(normal), normal_(normal), highlighted_(highlighted) {
    normal->setPixmap(QIcon(picture).pixmap(normal->size()));
    highlighted->setPixmap(QIcon(highlightedPicture).pixmap(highlighted->size()));
    for (QLabel* label : {normal, highlighted}) {
        label->setAccessibleName(accessibleName);
        label->setMouseTracking(true);
        label->installEventFilter(this);
    }
    showNormal();
}

void PictureButton::showNormal() {
    highlighted_->hide();
    normal_->show();
}

void PictureButton::showHighlighted() {
    normal_->hide();
    highlighted_->show();
}

bool PictureButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == normal_)
            showHighlighted();
        return true; // a move over the pictures is not a move over the window's surface
    }
    if (watched == highlighted_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Q_EMIT clicked();
        return true;
    }
    return false;
}
