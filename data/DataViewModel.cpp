#include "data/DataViewModel.h"

#include "core/DataError.h"
#include "data/DataView.h"

#include <QScopeGuard>

DataViewModel::DataViewModel(DataView* view, const QStringList& fields, const QStringList& captions,
                             QObject* parent)
    : QAbstractTableModel(parent), view_(view), fields_(fields),
      captions_(captions.isEmpty() ? fields : captions) {
    mapFields();
    readFirstPage();
    // Like Qt's own SQL models, the first page is there as soon as the rows are; from a server
    // once the handler that reset the rows is done (it usually reads them itself meanwhile).
    connect(view, &DataView::rowsReset, this, [this] {
        beginResetModel();
        const auto done = qScopeGuard([this] { endResetModel(); });
        mapFields();
        if (!DataView::readsTravel())
            readFirstPage();
        else if (!queued_)
            queued_ = QMetaObject::invokeMethod(
                this,
                [this] {
                    queued_ = false;
                    try {
                        if (view_ && view_->readRowCount() == 0 && view_->canReadMore())
                            view_->readMore();     // told as rows inserted
                    } catch (const DataError& e) { // no handler of the window's is on the stack
                        Q_EMIT readFailed(e.message());
                    }
                },
                Qt::QueuedConnection);
    });
    connect(view, &DataView::rowsAboutToBeInserted, this, [this](int first, int last) {
        if (!resetting_)
            beginInsertRows({}, first, last);
    });
    connect(view, &DataView::rowsInserted, this, [this] {
        if (!resetting_)
            endInsertRows();
    });
    connect(view, &DataView::rowChanged, this,
            [this](int row) { Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1)); });
}

void DataViewModel::readFirstPage() {
    if (!view_ || view_->readRowCount() > 0 || !view_->canReadMore())
        return;
    resetting_ = true;
    const auto done = qScopeGuard([this] { resetting_ = false; });
    view_->readMore();
}

void DataViewModel::mapFields() {
    columns_.clear();
    for (const QString& f : fields_)
        columns_ << (view_ ? view_->fieldIndex(f) : -1);
}

int DataViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !view_ ? 0 : view_->readRowCount();
}

bool DataViewModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && view_ && view_->canReadMore();
}

void DataViewModel::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent))
        view_->readMore();
}

int DataViewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(fields_.size());
}

QVariant DataViewModel::data(const QModelIndex& index, int role) const {
    if (!view_ || !index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return view_->value(index.row(), columns_.value(index.column(), -1));
}

QVariant DataViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return captions_.value(section);
    return section + 1;
}
