#pragma once

#include "Database.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <utility>
#include <vector>

// A window's view of one whole table: a snapshot of its rows in stored order, a current row
// (or none), one filter and one sort, applied in memory. Edits stay in the snapshot until
// commit(), which writes every pending row of the view, all or nothing: only the changed fields,
// and never over a row that changed in the file meanwhile. Table and field names are matched
// without regard to case. Database failures throw DataError.
class DataView : public QObject {
    Q_OBJECT
public:
    explicit DataView(QObject* parent = nullptr);
    ~DataView() override;

    void open(const QString& table);
    // A window's view, named as the window calls it, opened on a table.
    static DataView* create(QObject* window, const char* name, const char* table);
    // Reopens the table: drops uncommitted rows and edits, the filter and the sort, and shows
    // what other views committed. Rereads the file only when something was written since.
    void refresh();
    bool isOpen() const { return !table_.isEmpty(); }
    const QString& table() const { return table_; }
    const QStringList& fields() const { return fields_; }
    int fieldIndex(const QString& name) const; // -1 when the table has no such field

    int rowCount() const { return int(visible_.size()); }
    bool hasCurrent() const { return current_ >= 0; }
    int currentRow() const { return current_; }
    void setCurrentRow(int row); // -1 (or out of range) leaves no current row
    void moveFirst() { setCurrentRow(rowCount() > 0 ? 0 : -1); }
    void moveLast() { setCurrentRow(rowCount() - 1); }

    // Leaves visible the rows whose field text equals value exactly; the first becomes current.
    void setFilter(const QString& field, const QString& value);
    void sort(const QString& field);

    void addRow();
    QString field(const QString& name) const; // of the current row; empty when none
    QString value(int row, int column) const; // of a visible row
    void setField(const QString& name, const QString& text);
    bool hasPendingChanges() const;
    void commit();
    // Commits the pending rows of several views in one transaction: all of them or none.
    static void commitAll(std::initializer_list<DataView*> views);
    void deleteCurrent();

Q_SIGNALS:
    void rowsReset();         // the visible rows changed as a whole
    void rowChanged(int row); // values of one visible row changed
    void currentChanged();    // another row is current, or the current row's values changed

private:
    struct Row {
        qint64 rowid = 0;
        bool added = false;
        QString packed;                             // stored values, end to end
        std::vector<quint32> ends;                  // per field: end offset << 1 | is-null
        std::vector<std::pair<int, QString>> edits; // fields changed in the view
        QString stored(int column) const;
        bool storedNull(int column) const { return ends[size_t(column)] & 1u; }
        const QString* edited(int column) const;
    };

    void load();
    void applyCommitted();
    void rebuildVisible();
    void resetTo(int row);
    QString rowValue(const Row& row, int column) const;
    int requireField(const QString& name) const;
    void writeRow(Row& row);
    static void applyEdits(Row& row, int columns);

    QString table_;
    QStringList fields_;
    std::vector<Row> rows_;
    std::vector<int> visible_;
    int current_ = -1;
    int filterColumn_ = -1;
    QString filterValue_;
    int sortColumn_ = -1;
    Database::Stamp stamp_; // the file's state when the snapshot was read, or after own writes
};
