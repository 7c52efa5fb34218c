#include "shell/seams/FieldBinding.h"

#include "data/DataView.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

FieldBinding::FieldBinding(QWidget* widget, DataView* view, const QString& field)
    : QObject(widget), widget_(widget) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        connect(edit, &QLineEdit::textEdited, this, &FieldBinding::edited);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        // Only the user's choice or typing: filling the list must not write into the row.
        connect(combo, &QComboBox::textActivated, this, &FieldBinding::edited);
        if (combo->lineEdit())
            connect(combo->lineEdit(), &QLineEdit::textEdited, this, &FieldBinding::edited);
    } else if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
        connect(text, &QPlainTextEdit::textChanged, this,
                [this, text] { edited(text->toPlainText()); });
    }
    bind(view, field);
}

void FieldBinding::bind(DataView* view, const QString& field) {
    disconnect(connection_);
    view_ = view;
    field_ = field;
    if (view_)
        connection_ = connect(view_, &DataView::currentChanged, this, &FieldBinding::show);
    show();
}

void FieldBinding::show() {
    const QString text = view_ ? view_->field(field_) : QString();
    showing_ = true;
    if (auto* edit = qobject_cast<QLineEdit*>(widget_)) {
        if (edit->text() != text)
            edit->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget_)) {
        label->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
        if (combo->currentText() != text) {
            if (combo->isEditable())
                combo->setEditText(text);
            else
                combo->setCurrentIndex(combo->findText(text));
        }
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget_)) {
        if (plain->toPlainText() != text)
            plain->setPlainText(text);
    }
    showing_ = false;
}

// An edit with no current row has nowhere to go: the view stands before its first row.
void FieldBinding::edited(const QString& text) {
    if (showing_ || !view_ || !view_->hasCurrent())
        return;
    view_->setField(field_, text);
}
