#pragma once

#include "data/Database.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <initializer_list>
#include <utility>
#include <vector>

class QSqlQuery;

// A window's view of one table: a snapshot of its rows in stored order, a current row (or none),
// one filter and one sort. Edits stay in the snapshot until commit(), which writes every pending
// row of the view, all or nothing: only the changed fields, and never over a row that changed in
// the file meanwhile (that row then shows what is stored, its edits dropped). Table and field
// names are matched without regard to case. Database failures throw DataError.
//
// Rows are read when they are first needed, a page at a time, so that a view of a large table
// costs what its window looks at: nothing at open, one page for the current row, every row only
// for rowCount() and what needs all of them (sort, moveLast). A filter set while nothing is
// pending reads only the matching rows (a bound WHERE); with edits pending it filters the whole
// snapshot in memory, so no edit is lost.
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
    // refresh() then setFilter(field, value), in one reset and one read.
    void refreshFiltered(const QString& field, const QString& value);
    bool isOpen() const { return !table_.isEmpty(); }
    const QString& table() const { return table_; }
    const QStringList& fields() const { return fields_; }
    int fieldIndex(const QString& name) const; // -1 when the table has no such field

    int rowCount() const; // reads every row of the snapshot
    bool isEmpty() const; // reads at most one page
    bool hasCurrent() const { return currentRow() >= 0; }
    int currentRow() const;
    void setCurrentRow(int row); // -1 (or out of range) leaves no current row
    // The current row is known without reading.
    bool currentKnown() const { return !firstPending_ && (started_ || current_ >= 0); }
    // Each read is a round trip to a server: what can wait for the handler to end should.
    static bool readsTravel();
    void moveFirst() { setCurrentRow(isEmpty() ? -1 : 0); }
    void moveLast() { setCurrentRow(rowCount() - 1); }

    // For item views that read as they scroll: the rows read so far, and the next page.
    int readRowCount() const { return int(visible_.size()); }
    bool canReadMore() const { return isOpen() && !complete_; }
    void readMore();

    // Answers about the table as it is now, without touching the snapshot: the field of the
    // last stored row (empty when there is none), and whether any row holds value in field.
    QString lastStored(const QString& field) const;
    bool anyStored(const QString& field, const QString& value) const;
    // The same for each (field, value), in one question.
    std::vector<bool> anyStored(const std::vector<std::pair<QString, QString>>& asked) const;
    // Each text given, once, any order. fewValues: the field holds few distinct texts among many
    // rows (names): each is found by a seek of the field's index instead of reading every row.
    QStringList distinctStored(const QString& field, bool fewValues = false) const;
    // The same for several fields, in one question.
    QList<QStringList> distinctStored(const QStringList& fields, bool fewValues) const;

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
    void rowsReset(); // the visible rows changed as a whole
    // Rows read later, inserted before the rows added in the view: first..last are their places.
    void rowsAboutToBeInserted(int first, int last);
    void rowsInserted();
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

    void startReading(int column, const QString& value);
    void forgetReads(int column, const QString& value);
    // The next rows of the snapshot; all of them when limit < 0. On a server the first page of
    // each other view of the window that waits for it comes in the same round trip.
    void read(int limit) const;
    struct Page;
    Database::Read nextRead(int limit, Page& page) const;
    void takeRows(QSqlQuery& q, const Database::Stamp& now, Page& page) const;
    void place(Page& page) const;
    void readWith(std::vector<Database::Read> reads, Page* page = nullptr) const;
    bool waitsForFirstPage() const;
    void readFirstPage() const;
    void settleFirst() const;
    void readUpTo(int row) const;
    void readEverything() const { read(-1); }
    void readWholeKeepingEdits();
    QString readCondition(int column, const QString& value, QVariantList& binds) const;
    void applyCommitted();
    void rebuildVisible();
    void resetTo(int row);
    void resetToFirst();
    QString rowValue(const Row& row, int column) const;
    int requireField(const QString& name) const;
    Database::Write rowWrite(Row& row);
    void rereadRow(qint64 rowid);
    void dropRow(int index);
    static void fillRow(Row& row, const QSqlQuery& q, int first, int columns, QString& buffer);
    static void applyEdits(Row& row, int columns);

    static constexpr int kPage = 64; // more than a grid's first screen

    QString table_;
    QStringList fields_;
    // rows_[0, stored_) were read, in stored order; the rows after them were added in the view.
    mutable std::vector<Row> rows_;
    mutable size_t stored_ = 0;
    mutable std::vector<int> visible_;
    mutable int current_ = -1;
    mutable bool firstPending_ = false; // the first row read becomes current
    // What the reads take: the rows whose field readColumn_ equals readValue_, or all (-1).
    int readColumn_ = -1;
    QString readValue_;
    mutable bool started_ = false;
    mutable bool complete_ = false;
    mutable qint64 lastRowid_ = 0;
    int filterColumn_ = -1;
    QString filterValue_;
    int sortColumn_ = -1;
    // The file's state when the snapshot was read, or after own writes; none when its pages were
    // read at different states.
    mutable Database::Stamp stamp_;
};
