#include "shell/seams/Accessible.h"

#include "shell/seams/PictureButton.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>

namespace {

const char* const kPictureButton = "vornPictureButton";

class PictureButtonInterface : public QAccessibleWidget {
public:
    explicit PictureButtonInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Button) {}
    QStringList actionNames() const override {
        return widget()->isEnabled() ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& actionName) override {
        if (actionName != pressAction() || !widget()->isEnabled())
            return;
        if (auto* button = widget()->property(kPictureButton).value<PictureButton*>())
            button->press();
    }
};

QAccessibleInterface* pictureButtonFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QLabel") && object->property(kPictureButton).isValid())
        return new PictureButtonInterface(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

void Accessible::markPictureButton(QLabel* picture, PictureButton* button) {
    static const bool installed = [] {
        QAccessible::installFactory(pictureButtonFactory);
        return true;
    }();
    Q_UNUSED(installed);
    picture->setProperty(kPictureButton, QVariant::fromValue(button));
    // An interface made before (a screen reader that was already listening) is a plain picture.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(picture);
        made && made->role() != QAccessible::Button)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void Accessible::followListChoices(QComboBox* list) {
    QAbstractItemView* view = list->view();
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, list,
                     [list, view] {
                         // With the popup open the selection follows the pointer: the click
                         // decides there, as it always did.
                         if (view->isVisible())
                             return;
                         const QModelIndexList rows = view->selectionModel()->selectedRows();
                         if (rows.size() != 1 || rows.front().row() == list->currentIndex())
                             return;
                         list->setCurrentIndex(rows.front().row());
                         Q_EMIT list->activated(rows.front().row());
                     });
}
