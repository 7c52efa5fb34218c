#pragma once

#include <QApplication>

// The application object of both programs: an error that escapes an event handler is shown to
// the user in a box titled "Error" with its text, and the program goes on.
class VornApplication : public QApplication {
    Q_OBJECT
public:
    VornApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Right-to-left, a Persian font and Qt's own Persian texts for standard buttons and dialogs.
    void setUpLook();
};
