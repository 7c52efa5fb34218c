#include "tests/support/ScriptedDialogs.h"

void ScriptedDialogs::notice(QWidget* owner, const QString& text, int milliseconds) {
    shown.append({QStringLiteral("notice"), text, QString::fromUtf8("پيام"), Icon::None,
                  Buttons::Ok, owner, milliseconds});
}

// With no answer queued, a box gets the answer that does nothing: OK, No or Cancel.
Dialogs::Result ScriptedDialogs::message(QWidget* owner, const QString& text, const QString& title,
                                         Icon icon, Buttons buttons, bool) {
    shown.append({QStringLiteral("message"), text, title, icon, buttons, owner, 0});
    if (!answers_.isEmpty())
        return Result(answers_.takeFirst().toInt());
    switch (buttons) {
    case Buttons::Ok:
        return Ok;
    case Buttons::OkCancel:
        return Cancel;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
    case Buttons::YesNoDefaultNo:
        break;
    }
    return No;
}

QString ScriptedDialogs::nextText() {
    return answers_.isEmpty() ? QString() : answers_.takeFirst().toString();
}

QString ScriptedDialogs::input(QWidget* owner, const QString& prompt, const QString& title,
                               const QString&) {
    shown.append({QStringLiteral("input"), prompt, title, Icon::None, Buttons::OkCancel, owner, 0});
    return nextText();
}

QString ScriptedDialogs::openFileName(QWidget* owner, const QString& title, const QString& folder,
                                      const QString&) {
    shown.append({QStringLiteral("open"), folder, title, Icon::None, Buttons::OkCancel, owner, 0});
    return nextText();
}

QString ScriptedDialogs::saveFileName(QWidget* owner, const QString& title, const QString& proposed,
                                      const QString&) {
    shown.append(
        {QStringLiteral("save"), proposed, title, Icon::None, Buttons::OkCancel, owner, 0});
    return nextText();
}
