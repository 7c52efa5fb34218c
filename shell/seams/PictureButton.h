#pragma once

#include <QObject>

class QLabel;
class QWidget;

// A picture button made of two pictures at one place: the normal one, and the highlighted one
// that takes its place while the pointer is over it. It acts like a button: a click counts only
// when the button is released over the picture it was pressed on, Enter and Space press it when
// it has the focus, and assistive technology sees a button it can press.
class PictureButton : public QObject {
    Q_OBJECT
public:
    PictureButton(QLabel* normal, QLabel* highlighted, const QString& picture,
                  const QString& highlightedPicture, const QString& accessibleName);

    void showNormal();
    void showHighlighted();
    // What a click, a key or an accessibility action on the button does.
    void press();

Q_SIGNALS:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(QLabel* shown, QLabel* hidden);

    QLabel* normal_;
    QLabel* highlighted_;
    QLabel* pressed_ = nullptr; // the picture the left button went down on
};
