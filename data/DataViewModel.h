#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>

class DataView;

// A read-only table model over a view's visible rows, for grids and combo lists.
// Each column shows one field; headers are the given captions. The rows come as the item view
// asks for more (it does when its last row scrolls into sight), a page at a time.
class DataViewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    DataViewModel(DataView* view, const QStringList& fields, const QStringList& captions = {},
                  QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // A read the model made after the handler that reset the rows had ended failed: the window
    // tells the user (no handler of its own is there to do it).
    void readFailed(const QString& message);

private:
    void mapFields();
    void readFirstPage();

    QPointer<DataView> view_;
    QStringList fields_;
    QStringList captions_;
    QList<int> columns_;
    bool resetting_ = false; // rows read inside a reset are part of it
    bool queued_ = false;
};
