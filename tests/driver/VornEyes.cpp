// A user's eyes and one hand inside a real program (VORN or VORNupdate), for the tests that run
// the executables as clinics do. Qt loads it as an input plugin (QT_QPA_GENERIC_PLUGINS=
// vorneyes). It reports on standard output, one line each, every window and box the program
// shows (to the file named by VORN_EYES_LOG), and takes the commands addressed to it from the
// file named by VORN_EYES_COMMANDS, one a line, the program's name first:
//   VORN press WINDOW CONTROL   clicks a button as a user or an accessibility tool does
//   VORN text WINDOW CONTROL    reports what a label, box or button shows (and whether an
//                               option is checked); for a grid, the number of rows it has and
//                               the first column of each
//   VORN type WINDOW CONTROL T  types T into a box or an editable list, in place of its text
//   VORN scroll WINDOW CONTROL  scrolls a grid to its end, as a user drags the scroll bar down
//   VORN pick WINDOW CONTROL N  chooses item N of a list, as a user does in its popup
//   VORN choose PATH            chooses a file in the file dialog shown
//   VORN answer TEXT            types TEXT into the question box shown and presses its OK
//   VORN reply yes|no|ok        presses that button of the message box shown
//   VORN act WINDOW CONTROL     presses a button through its accessibility action, as a
//                               screen reader or automation tool does
//   VORN close WINDOW           closes a window, as its close box does
// With VORN_EYES_ACCEPT set, every message box is answered with its default button once it has
// been reported, as a user who reads it and presses Enter.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGenericPlugin>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>

namespace {

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\t'), QLatin1Char(' '));
}

// Every program that loads the plugin appends to one log (VORN_EYES_LOG), so what a program
// started by another shows is seen too, after the first has ended.
void say(const QStringList& fields) {
    QStringList line{QFileInfo(QCoreApplication::applicationFilePath()).fileName()};
    for (const QString& f : fields)
        line << oneLine(f);
    const QByteArray bytes = "@" + line.join(QLatin1Char('\t')).toUtf8() + "\n";
    if (FILE* log = std::fopen(qgetenv("VORN_EYES_LOG").constData(), "a")) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), log);
        std::fclose(log);
    }
}

QWidget* shownWindow(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == name)
            return w;
    return nullptr;
}

QString gridText(QAbstractItemView* grid) {
    const QAbstractItemModel* model = grid->model();
    QStringList first;
    for (int r = 0; model && r < model->rowCount(); ++r)
        first << model->index(r, 0).data().toString();
    return QString::number(first.size()) + QLatin1Char(' ') + first.join(QLatin1Char(','));
}

class Eyes : public QObject {
public:
    Eyes() {
        accept_ = qEnvironmentVariableIsSet("VORN_EYES_ACCEPT");
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, &Eyes::look);
        timer_.start();
        // Only commands written from now on: a program started later must not replay what
        // was said to an earlier one of its name.
        commands_.setFileName(qEnvironmentVariable("VORN_EYES_COMMANDS"));
        read_ = QFileInfo(commands_.fileName()).size();
    }

private:
    void look() {
        // Opened afresh each time: a file object's idea of the size may lag behind the file.
        if (commands_.open(QIODevice::ReadOnly)) {
            commands_.seek(read_);
            const QByteArray more = commands_.readAll();
            commands_.close();
            read_ += more.size();
            pending_ += more;
            const QString me = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
            while (pending_.contains('\n')) {
                const qsizetype end = pending_.indexOf('\n');
                QStringList words = QString::fromUtf8(pending_.left(end)).split(QLatin1Char(' '));
                pending_.remove(0, end + 1);
                if (words.value(0) == me)
                    command(words.mid(1));
            }
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || seen_.contains(w))
                continue;
            seen_.append(w);
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                say({QStringLiteral("box"), box->windowTitle(), box->text()});
                if (accept_)
                    QTimer::singleShot(100, box, [box] {
                        QAbstractButton* b = box->defaultButton();
                        if (!b && !box->buttons().isEmpty())
                            b = box->buttons().front();
                        if (b)
                            b->click();
                    });
            } else {
                const QString name = w->objectName().isEmpty()
                                         ? QString::fromLatin1(w->metaObject()->className())
                                         : w->objectName();
                say({QStringLiteral("shown"), name, w->windowTitle()});
            }
        }
        seen_.removeAll(nullptr);
    }

    void command(const QStringList& words) {
        if (words.value(0) == QLatin1String("choose")) { // a file, in the file dialog shown
            const QString path = words.mid(1).join(QLatin1Char(' '));
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
                    // Typed into the name box, as a user does.
                    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                        name->setText(path);
                    say({QStringLiteral("chosen"), dialog->selectedFiles().value(0)});
                    QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
                    return;
                }
            say({QStringLiteral("missing"), words.join(QLatin1Char(' '))});
            return;
        }
        if (words.value(0) == QLatin1String("reply")) {
            const auto which = words.value(1) == QLatin1String("yes")  ? QMessageBox::Yes
                               : words.value(1) == QLatin1String("ok") ? QMessageBox::Ok
                                                                       : QMessageBox::No;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    if (QAbstractButton* b = box->button(which)) {
                        say({QStringLiteral("replied"), words.value(1)});
                        QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
                        return;
                    }
            say({QStringLiteral("missing"), words.join(QLatin1Char(' '))});
            return;
        }
        if (words.value(0) == QLatin1String("close")) {
            if (QWidget* window = shownWindow(words.value(1))) {
                say({QStringLiteral("closing"), words.value(1)});
                window->close();
                return;
            }
            say({QStringLiteral("missing"), words.join(QLatin1Char(' '))});
            return;
        }
        if (words.value(0) == QLatin1String("answer")) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QInputDialog*>(w); dialog && dialog->isVisible()) {
                    if (auto* box = dialog->findChild<QLineEdit*>()) {
                        box->setFocus();
                        box->selectAll();
                        box->insert(words.mid(1).join(QLatin1Char(' ')));
                    }
                    say({QStringLiteral("answered"), dialog->textValue()});
                    QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
                    return;
                }
            say({QStringLiteral("missing"), words.join(QLatin1Char(' '))});
            return;
        }
        QWidget* window = shownWindow(words.value(1));
        QWidget* control = window ? window->findChild<QWidget*>(words.value(2)) : nullptr;
        if (!control) {
            say({QStringLiteral("missing"), words.join(QLatin1Char(' '))});
            return;
        }
        if (words.value(0) == QLatin1String("act")) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
            const bool offered = a && a->actionInterface() &&
                                 a->actionInterface()->actionNames().contains(
                                     QAccessibleActionInterface::pressAction());
            say({QStringLiteral("acted"), words.value(1), words.value(2),
                 offered ? QStringLiteral("offered") : QStringLiteral("refused")});
            if (a && a->actionInterface())
                a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        } else if (words.value(0) == QLatin1String("press")) {
            if (auto* button = qobject_cast<QAbstractButton*>(control))
                QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
            say({QStringLiteral("pressed"), words.value(1), words.value(2)});
        } else if (words.value(0) == QLatin1String("text")) {
            QString text;
            if (auto* label = qobject_cast<QLabel*>(control))
                text = label->text();
            else if (auto* box = qobject_cast<QLineEdit*>(control))
                text = box->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(control))
                text = button->text();
            else if (auto* grid = qobject_cast<QAbstractItemView*>(control))
                text = gridText(grid);
            QStringList fields{QStringLiteral("text"), words.value(1), words.value(2), text};
            if (auto* button = qobject_cast<QAbstractButton*>(control);
                button && button->isCheckable())
                fields << (button->isChecked() ? QStringLiteral("checked")
                                               : QStringLiteral("unchecked"));
            say(fields);
        } else if (words.value(0) == QLatin1String("type")) {
            auto* box = qobject_cast<QLineEdit*>(control);
            if (auto* list = qobject_cast<QComboBox*>(control))
                box = list->lineEdit();
            if (box) {
                box->setFocus();
                box->selectAll();
                box->insert(words.mid(3).join(QLatin1Char(' '))); // one edit, as typed
                Q_EMIT box->textEdited(box->text());
            }
            say({QStringLiteral("typed"), words.value(1), words.value(2)});
        } else if (words.value(0) == QLatin1String("pick")) {
            if (auto* list = qobject_cast<QComboBox*>(control)) {
                const int item = words.value(3).toInt();
                list->setCurrentIndex(item);
                Q_EMIT list->activated(item);
                Q_EMIT list->textActivated(list->itemText(item));
            }
            say({QStringLiteral("picked"), words.value(1), words.value(2)});
        } else if (words.value(0) == QLatin1String("scroll")) {
            if (auto* grid = qobject_cast<QAbstractScrollArea*>(control))
                grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
            say({QStringLiteral("scrolled"), words.value(1), words.value(2)});
        }
    }

    QTimer timer_;
    QList<QPointer<QWidget>> seen_;
    QFile commands_;
    qint64 read_ = 0;
    QByteArray pending_;
    bool accept_ = false;
};

class EyesPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "vorneyes.json")
public:
    QObject* create(const QString& key, const QString&) override {
        return key.compare(QLatin1String("vorneyes"), Qt::CaseInsensitive) == 0 ? new Eyes
                                                                                : nullptr;
    }
};

} // namespace

#include "VornEyes.moc"
