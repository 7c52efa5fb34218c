#pragma once

#include "shell/seams/Dialogs.h"

#include <QList>
#include <QPointer>
#include <QVariant>
#include <QWidget>

// Answers boxes from a queue and keeps a log of every box shown. Installs itself while it lives.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString kind; // "notice", "message", "input", "open", "save"
        QString text;
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        QPointer<QWidget> owner;
        int milliseconds = 0;
    };

    ScriptedDialogs() { install(this); }
    ~ScriptedDialogs() override { install(nullptr); }

    // The next box's answer: a Result for a message box, a text for an input or file box.
    void answer(Result result) { answers_.append(QVariant::fromValue(int(result))); }
    void answer(const QString& text) { answers_.append(text); }

    void notice(QWidget* owner, const QString& text, int milliseconds) override;
    Result message(QWidget* owner, const QString& text, const QString& title, Icon icon,
                   Buttons buttons, bool rightToLeft) override;
    QString input(QWidget* owner, const QString& prompt, const QString& title,
                  const QString& initial) override;
    QString openFileName(QWidget* owner, const QString& title, const QString& folder,
                         const QString& filter) override;
    QString saveFileName(QWidget* owner, const QString& title, const QString& proposed,
                         const QString& filter) override;
    void beep() override { ++beeps; }

    QList<Shown> shown;
    int beeps = 0;

private:
    QString nextText();
    QList<QVariant> answers_;
};
