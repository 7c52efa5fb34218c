#include "shell/seams/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

int twips(int value) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return int(value * dpi / 1440.0 + 0.5);
}

void placeWindow(QWidget* window, int leftTwips, int topTwips) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    int x = twips(leftTwips);
    int y = twips(topTwips);
    if (screen) {
        const QRect area = screen->availableGeometry();
        const QSize size = window->frameSize().expandedTo(window->size());
        x = std::clamp(area.left() + x, area.left(),
                       std::max(area.left(), area.right() - size.width()));
        y = std::clamp(area.top() + y, area.top(),
                       std::max(area.top(), area.bottom() - size.height()));
    }
    window->move(x, y);
}

void scaleDesign(QWidget* window) {
    const double factor = twips(1440) / 96.0;
    if (factor == 1.0)
        return;
    auto scaled = [factor](const QRect& r) {
        return QRect(int(r.x() * factor + 0.5), int(r.y() * factor + 0.5),
                     int(r.width() * factor + 0.5), int(r.height() * factor + 0.5));
    };
    for (QWidget* child : window->findChildren<QWidget*>()) {
        // Controls in a layout are placed by it; the rest keep the design's places.
        if (child->isWindow() || (child->parentWidget() && child->parentWidget()->layout()))
            continue;
        child->setGeometry(scaled(child->geometry()));
    }
    window->resize(scaled(QRect(QPoint(), window->size())).size());
}
