#include "Twips.h"

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
