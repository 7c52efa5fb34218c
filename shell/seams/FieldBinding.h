#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class DataView;
class QWidget;

// Ties a line edit, label, combo box or plain text edit to one field of a view: the widget shows
// the current row's field, and the user's edits go into the row (they reach the file on commit).
class FieldBinding : public QObject {
    Q_OBJECT
public:
    FieldBinding(QWidget* widget, DataView* view, const QString& field);

    void bind(DataView* view, const QString& field);

private:
    void show();
    void edited(const QString& text);

    QWidget* widget_;
    QPointer<DataView> view_;
    QString field_;
    QMetaObject::Connection connection_;
    bool showing_ = false;
};
