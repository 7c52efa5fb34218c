#pragma once

#include <QString>

class QWidget;

// Every box the program shows goes through here, so tests can answer them and read them.
class Dialogs {
public:
    enum class Icon { None, Information, Exclamation, Critical, Question };
    // YesNoDefaultNo: No is pressed by Enter, for a question whose Yes takes a risk.
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
    enum Result { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

    virtual ~Dialogs() = default;

    // A box titled "پيام" with an OK button and no icon that closes itself after the delay.
    // The caller waits until it closes.
    virtual void notice(QWidget* owner, const QString& text, int milliseconds = 1000) = 0;
    virtual Result message(QWidget* owner, const QString& text, const QString& title,
                           Icon icon = Icon::None, Buttons buttons = Buttons::Ok,
                           bool rightToLeft = true) = 0;
    // The typed text, or an empty text on Cancel.
    virtual QString input(QWidget* owner, const QString& prompt, const QString& title,
                          const QString& initial = {}) = 0;
    // The chosen path, or an empty text when the user cancels.
    virtual QString openFileName(QWidget* owner, const QString& title, const QString& folder,
                                 const QString& filter) = 0;
    virtual QString saveFileName(QWidget* owner, const QString& title, const QString& proposed,
                                 const QString& filter) = 0;
    virtual void beep() = 0;

    static Dialogs& get();
    // Puts another implementation in place (tests); nullptr restores the real one.
    static void install(Dialogs* dialogs);
};

// The real boxes, drawn by Qt.
class QtDialogs : public Dialogs {
public:
    void notice(QWidget* owner, const QString& text, int milliseconds) override;
    Result message(QWidget* owner, const QString& text, const QString& title, Icon icon,
                   Buttons buttons, bool rightToLeft) override;
    QString input(QWidget* owner, const QString& prompt, const QString& title,
                  const QString& initial) override;
    QString openFileName(QWidget* owner, const QString& title, const QString& folder,
                         const QString& filter) override;
    QString saveFileName(QWidget* owner, const QString& title, const QString& proposed,
                         const QString& filter) override;
    void beep() override;
    // "Database Backup |*.mdbB" (description and pattern by "|") as Qt's dialogs read it.
    static QString qtFilter(const QString& filter);
};
