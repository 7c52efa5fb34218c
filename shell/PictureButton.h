#pragma once

#include <QObject>

class QLabel;
class QWidget;

// A picture button made of two pictures at one place: the normal one, and the highlighted one
// that takes its place while the pointer is over it. Only the highlighted picture takes clicks;
// the window puts the normal one back when the pointer reaches its free surface.
class PictureButton : public QObject {
    Q_OBJECT
public:
    PictureButton(QLabel* normal, QLabel* highlighted, const QString& picture,
                  const QString& highlightedPicture, const QString& accessibleName);

    void showNormal();
    void showHighlighted();

Q_SIGNALS:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* normal_;
    QLabel* highlighted_;
};
