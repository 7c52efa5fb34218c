#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

// While a window waits for something and lets events run meanwhile (an export, a copy, a box
// shown over it), nothing that reaches it may pull it away under the waiting code. A close or a
// deletion of the window is held and carried out once the wait has unwound. With Disable, its
// controls are disabled too, so a press is refused however it comes: mouse, key or assistive
// technology.
class Busy : public QObject {
public:
    enum class Controls { Disable, Keep };
    explicit Busy(QWidget* window, Controls controls = Controls::Disable,
                  std::function<void()> closeHeld = {});
    ~Busy() override;
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    QList<QPointer<QWidget>> disabled_;
    std::function<void()> onCloseHeld_;
    bool closeHeld_ = false;
    bool deleteHeld_ = false;
};
