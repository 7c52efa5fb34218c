#include "shell/seams/ErrorTrap.h"

#include "core/DataError.h"
#include "shell/seams/Dialogs.h"

#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

void showHandlerError(QObject* receiver, const QString& text) {
    auto* widget = qobject_cast<QWidget*>(receiver);
    Dialogs::get().message(widget ? widget->window() : QApplication::activeWindow(), text,
                           QStringLiteral("Error"), Dialogs::Icon::Critical);
}

VornApplication::VornApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VornApplication::notify(QObject* receiver, QEvent* event) {
    QString error;
    try {
        return QApplication::notify(receiver, event);
    } catch (const DataError& e) {
        error = e.message();
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
    }
    Dialogs::get().message(activeWindow(), error, QStringLiteral("Error"), Dialogs::Icon::Critical);
    return false;
}

void VornApplication::setUpLook() {
    setLayoutDirection(Qt::RightToLeft);
    const QStringList families = QFontDatabase::families();
    for (const char* family : {"Nazli", "Noto Sans Arabic", "Noto Naskh Arabic"}) {
        if (families.contains(QString::fromLatin1(family))) {
            QFont font(QString::fromLatin1(family));
            font.setPointSize(11);
            setFont(font);
            break;
        }
    }
    auto* translator = new QTranslator(this);
    if (translator->load(QLocale(QLocale::Persian, QLocale::Iran), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(translator);
}
