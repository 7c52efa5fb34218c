#include "shell/seams/PictureButton.h"

#include "shell/seams/Accessible.h"

#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

static void initResources() {
    Q_INIT_RESOURCE(shell);
}

PictureButton::PictureButton(QLabel* normal, QLabel* highlighted, const QString& picture,
                             const QString& highlightedPicture, const QString& accessibleName)
    : QObject(normal), normal_(normal), highlighted_(highlighted) {
    initResources();
    normal->setPixmap(QIcon(picture).pixmap(normal->size()));
    highlighted->setPixmap(QIcon(highlightedPicture).pixmap(highlighted->size()));
    for (QLabel* label : {normal, highlighted}) {
        Accessible::markPictureButton(label, this); // before anything asks for its interface
        label->setAccessibleName(accessibleName);
        label->setMouseTracking(true);
        label->setFocusPolicy(Qt::StrongFocus);
        label->installEventFilter(this);
    }
    showNormal();
}

void PictureButton::showNormal() {
    show(normal_, highlighted_);
}

void PictureButton::showHighlighted() {
    show(highlighted_, normal_);
}

// The focus stays on the button while its pictures change places.
void PictureButton::show(QLabel* shown, QLabel* hidden) {
    const bool focused = hidden->hasFocus();
    shown->show();
    if (focused)
        shown->setFocus();
    hidden->hide();
}

void PictureButton::press() {
    Q_EMIT clicked();
}

bool PictureButton::eventFilter(QObject* watched, QEvent* event) {
    auto* label = static_cast<QLabel*>(watched);
    switch (event->type()) {
    case QEvent::MouseMove:
        if (watched == normal_ && !pressed_)
            showHighlighted();
        return true; // a move over the pictures is not a move over the window's surface
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            pressed_ = label;
        return true;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return true;
        const bool over = pressed_ == label && label->rect().contains(mouse->position().toPoint());
        pressed_ = nullptr;
        if (over)
            press();
        return true;
    }
    case QEvent::KeyPress:
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            press();
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}
