#pragma once

#include "core/DataError.h"

#include <QApplication>
#include <functional>
#include <type_traits>

// Shows what a handler threw in a box titled "Error" over the window of receiver.
void showHandlerError(QObject* receiver, const QString& text);

// Runs a handler's work and catches what it throws right there: an exception must not unwind
// through Qt's frames (its libraries are built without exception handling).
template <typename Work> void guarded(QObject* receiver, Work&& work) {
    try {
        work();
    } catch (const DataError& e) {
        showHandlerError(receiver, e.message());
    } catch (const std::exception& e) {
        showHandlerError(receiver, QString::fromLocal8Bit(e.what()));
    }
}

// Connects a control's signal to a window's handler, guarded: every window connects its
// handlers this way. The handler takes the signal's arguments or none.
template <typename Sender, typename Signal, typename Receiver, typename Handler>
QMetaObject::Connection connectHandler(Sender* sender, Signal signal, Receiver* receiver,
                                       Handler handler) {
    return QObject::connect(sender, signal, receiver, [receiver, handler](auto... args) {
        guarded(receiver, [&] {
            if constexpr (std::is_invocable_v<Handler, Receiver*, decltype(args)...>)
                std::invoke(handler, receiver, args...);
            else
                std::invoke(handler, receiver);
        });
    });
}

// The application object of both programs: an error that escapes an event handler anyway is
// shown the same way, and the program goes on. The last resort, not the rule.
class VornApplication : public QApplication {
    Q_OBJECT
public:
    VornApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Right-to-left, a Persian font and Qt's own Persian texts for standard buttons and dialogs.
    void setUpLook();
};
