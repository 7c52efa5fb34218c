#include "data/DataView.h"

#include "data/Connection.h"
#include "data/Content.h"
#include "data/Database.h"

#include <QSignalBlocker>
#include <QSqlQuery>
#include <algorithm>

DataView::DataView(QObject* parent) : QObject(parent) {
    Database::Connection::current().views.push_back(this);
}

DataView::~DataView() {
    std::erase(Database::Connection::current().views, this);
}

// The rows one read gave, before they are placed in the snapshot.
struct DataView::Page {
    int limit = 0;
    bool taken = false;
    int count = 0;
    std::vector<Row> rows;
};

QString DataView::Row::stored(int column) const {
    const quint32 start = column == 0 ? 0 : ends[size_t(column - 1)] >> 1;
    const quint32 end = ends[size_t(column)] >> 1;
    return packed.mid(qsizetype(start), qsizetype(end - start));
}

const QString* DataView::Row::edited(int column) const {
    for (const auto& [c, text] : edits)
        if (c == column)
            return &text;
    return nullptr;
}

// The row's stored values from the query's columns first.. (one a field).
void DataView::fillRow(Row& row, const QSqlQuery& q, int first, int columns, QString& buffer) {
    row.ends.resize(size_t(columns));
    buffer.resize(0);
    for (int c = 0; c < columns; ++c) {
        const QVariant v = q.value(first + c);
        const bool null = v.isNull();
        if (!null)
            buffer += v.toString();
        row.ends[size_t(c)] = quint32(buffer.size()) << 1 | (null ? 1u : 0u);
    }
    row.packed = QString(buffer.constData(), buffer.size());
}

namespace {
// A row changed or deleted by someone else since the view read it.
struct ChangedMeanwhile : DataError {
    ChangedMeanwhile(const QString& message, DataView* view, qint64 rowid)
        : DataError(message), view(view), rowid(rowid) {}
    DataView* view;
    qint64 rowid;
};
} // namespace

DataView* DataView::create(QObject* window, const char* name, const char* table) {
    auto* view = new DataView(window);
    view->setObjectName(QString::fromLatin1(name));
    view->open(QString::fromLatin1(table));
    return view;
}

void DataView::open(const QString& table) {
    QString name;
    const QStringList fields = Database::columns(table, &name);
    if (fields.isEmpty())
        throw DataError(tr("جدول %1 در پایگاه داده نیست.").arg(table));
    table_ = name;
    fields_ = fields;
    startReading(-1, {});
}

void DataView::refresh() {
    if (!isOpen())
        return;
    // On a server asking whether anything changed is a round trip, as is the first page read
    // again with its stamp: it is read again, when it is needed.
    if (!started_ || readColumn_ >= 0 || Database::kind() == Database::Kind::Server ||
        Database::stamp(table_) != stamp_) {
        startReading(-1, {});
        return;
    }
    std::erase_if(rows_, [](const Row& r) { return r.added; });
    for (Row& row : rows_)
        row.edits.clear();
    filterColumn_ = -1;
    filterValue_.clear();
    sortColumn_ = -1;
    rebuildVisible();
    resetToFirst();
}

void DataView::refreshFiltered(const QString& field, const QString& value) {
    if (isOpen())
        startReading(requireField(field), value);
}

// Drops every row and reads afresh, lazily, the rows whose field column equals value (all rows
// when column < 0), with no sort.
void DataView::startReading(int column, const QString& value) {
    rows_.clear(); // nothing is pending when reading starts afresh
    forgetReads(column, value);
    filterColumn_ = column;
    filterValue_ = value;
    sortColumn_ = -1;
    rebuildVisible();
    resetToFirst();
}

// What the reads take from now on, nothing of it read yet (the rows read before are gone).
void DataView::forgetReads(int column, const QString& value) {
    stored_ = 0;
    readColumn_ = column;
    readValue_ = value;
    started_ = false;
    complete_ = false;
    lastRowid_ = 0;
}

QString DataView::readCondition(int column, const QString& value, QVariantList& binds) const {
    if (column < 0)
        return {};
    const QString name = Database::quoted(fields_[column]);
    // An empty text matches a field never given, as it does in the snapshot.
    if (value.isEmpty())
        return QStringLiteral(" AND (%1='' OR %1 IS NULL)").arg(name);
    return QStringLiteral(" AND ") + Database::sameText(name, value, binds);
}

void DataView::read(int limit) const {
    if (!isOpen() || complete_) {
        settleFirst();
        return;
    }
    Page page;
    readWith({nextRead(limit, page)}, &page);
}

// The reads given, this view's page among them when page is given, and on a server the first
// page of each other view of the window that waits for it, in the same round trip.
void DataView::readWith(std::vector<Database::Read> reads, Page* page) const {
    std::vector<const DataView*> views;
    std::vector<Page> pages;
    if (Database::kind() == Database::Kind::Server && parent())
        for (const DataView* other : Database::Connection::current().views)
            if ((other != this || !page) && other->parent() == parent() &&
                other->waitsForFirstPage())
                views.push_back(other);
    pages.resize(views.size());
    for (size_t i = 0; i < views.size(); ++i)
        reads.push_back(views[i]->nextRead(kPage, pages[i]));
    Database::readTogether(reads);
    // Placed (and told) once every result is in: a slot may read again.
    if (page && page->taken)
        place(*page);
    for (size_t i = 0; i < views.size(); ++i)
        if (pages[i].taken)
            views[i]->place(pages[i]);
}

// Unfiltered or filtered by an indexed field: its first page costs one seek.
bool DataView::waitsForFirstPage() const {
    if (!isOpen() || started_ || complete_)
        return false;
    if (readColumn_ < 0)
        return true;
    const auto& indexes = Tables::indexes();
    return !readValue_.isEmpty() &&
           std::any_of(indexes.begin(), indexes.end(), [this](const Tables::Index& index) {
               return index.table.compare(table_, Qt::CaseInsensitive) == 0 &&
                      index.field.compare(fields_[readColumn_], Qt::CaseInsensitive) == 0;
           });
}

bool DataView::readsTravel() {
    return Database::kind() == Database::Kind::Server;
}

Database::Read DataView::nextRead(int limit, Page& page) const {
    page.limit = limit;
    Database::Read r;
    r.table = table_;
    r.values = {lastRowid_};
    r.sql =
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1>?")
            .arg(Database::rowColumn(), Database::quotedList(fields_), Database::quoted(table_));
    r.sql += readCondition(readColumn_, readValue_, r.values);
    r.sql += QStringLiteral(" ORDER BY ") + Database::rowColumn();
    if (limit >= 0) {
        r.sql += QStringLiteral(" LIMIT ?");
        r.values << limit;
    }
    r.take = [this, &page](QSqlQuery& q, const Database::Stamp& now) { takeRows(q, now, page); };
    return r;
}

void DataView::takeRows(QSqlQuery& q, const Database::Stamp& now, Page& page) const {
    if (!started_)
        stamp_ = now;
    else if (now != stamp_)
        stamp_ = Database::Stamp{}; // pages of different moments: refresh reads again
    started_ = true;
    page.taken = true;
    const int columns = int(fields_.size());
    QString buffer;
    while (q.next()) {
        ++page.count;
        const qint64 rowid = q.value(0).toLongLong();
        lastRowid_ = rowid;
        // A row this view added and committed is already in the snapshot.
        if (std::any_of(rows_.begin() + qsizetype(stored_), rows_.end(),
                        [rowid](const Row& r) { return !r.added && r.rowid == rowid; }))
            continue;
        Row row;
        row.rowid = rowid;
        fillRow(row, q, 1, columns, buffer);
        page.rows.push_back(std::move(row));
    }
}

void DataView::place(Page& page) const {
    if (page.limit < 0 || page.count < page.limit)
        complete_ = true;
    std::vector<Row>& rows = page.rows;
    if (!rows.empty()) {
        // Every row read is visible (the reads take the filter); they go before the added rows.
        const auto place = std::find_if(visible_.begin(), visible_.end(),
                                        [this](int i) { return size_t(i) >= stored_; });
        const int first = int(place - visible_.begin());
        const int n = int(rows.size());
        auto* self = const_cast<DataView*>(this);
        Q_EMIT self->rowsAboutToBeInserted(first, first + n - 1);
        rows_.insert(rows_.begin() + qsizetype(stored_), std::make_move_iterator(rows.begin()),
                     std::make_move_iterator(rows.end()));
        for (int& i : visible_)
            if (size_t(i) >= stored_)
                i += n;
        std::vector<int> added(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k)
            added[size_t(k)] = int(stored_) + k;
        visible_.insert(visible_.begin() + first, added.begin(), added.end());
        stored_ += size_t(n);
        if (current_ >= first)
            current_ += n;
        Q_EMIT self->rowsInserted();
    }
    settleFirst();
}

void DataView::settleFirst() const {
    if (firstPending_ && (!visible_.empty() || complete_)) {
        firstPending_ = false;
        current_ = visible_.empty() ? -1 : 0;
    }
}

void DataView::readFirstPage() const {
    if (!started_ || firstPending_)
        read(kPage);
}

void DataView::readUpTo(int row) const {
    readFirstPage();
    while (row >= int(visible_.size()) && !complete_)
        read(std::max(kPage, row + 1 - int(visible_.size())));
}

void DataView::readMore() {
    read(kPage);
}

int DataView::rowCount() const {
    readEverything();
    return int(visible_.size());
}

bool DataView::isEmpty() const {
    readUpTo(0);
    return visible_.empty();
}

// A row added here is current without anything read: typing into it needs no database.
int DataView::currentRow() const {
    if (!currentKnown())
        readFirstPage();
    return current_;
}

// With edits pending the snapshot must keep them: the rest of the table is read around the
// edited rows, which keep what was read of them, so their commit still checks against that.
void DataView::readWholeKeepingEdits() {
    if (readColumn_ < 0) {
        readEverything();
        return;
    }
    std::vector<Row> edited;
    for (size_t i = 0; i < stored_; ++i)
        if (!rows_[i].edits.empty())
            edited.push_back(std::move(rows_[i]));
    rows_.erase(rows_.begin(), rows_.begin() + qsizetype(stored_));
    forgetReads(-1, {});
    visible_.clear();
    current_ = -1;
    firstPending_ = false;
    filterColumn_ = -1;
    {
        const QSignalBlocker quiet(this);
        read(-1);
    }
    stamp_ = Database::Stamp{}; // the kept rows are of an earlier read
    for (Row& row : edited) {
        const auto at =
            std::lower_bound(rows_.begin(), rows_.begin() + qsizetype(stored_), row.rowid,
                             [](const Row& r, qint64 id) { return r.rowid < id; });
        if (at != rows_.begin() + qsizetype(stored_) && at->rowid == row.rowid) {
            *at = std::move(row);
        } else {
            rows_.insert(at, std::move(row));
            ++stored_;
        }
    }
}

// An added row stays visible whatever the filter says, like a new record in a form.
void DataView::rebuildVisible() {
    visible_.clear();
    visible_.reserve(rows_.size());
    for (int i = 0; i < int(rows_.size()); ++i)
        if (filterColumn_ < 0 || rows_[size_t(i)].added ||
            rowValue(rows_[size_t(i)], filterColumn_) == filterValue_)
            visible_.push_back(i);
    if (sortColumn_ >= 0) {
        std::stable_sort(visible_.begin(), visible_.end(), [this](int a, int b) {
            return rowValue(rows_[size_t(a)], sortColumn_)
                       .compare(rowValue(rows_[size_t(b)], sortColumn_), Qt::CaseInsensitive) < 0;
        });
    }
}

void DataView::resetTo(int row) {
    current_ = row >= 0 && row < int(visible_.size()) ? row : -1;
    firstPending_ = false;
    Q_EMIT rowsReset();
    Q_EMIT currentChanged();
}

// The first row becomes current, once it is read if it is not yet.
void DataView::resetToFirst() {
    if (!visible_.empty() || complete_) {
        resetTo(0);
        return;
    }
    current_ = -1;
    firstPending_ = true;
    Q_EMIT rowsReset();
    Q_EMIT currentChanged();
}

QString DataView::rowValue(const Row& row, int column) const {
    if (const QString* e = row.edited(column))
        return *e;
    return row.stored(column);
}

int DataView::fieldIndex(const QString& name) const {
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int DataView::requireField(const QString& name) const {
    const int column = fieldIndex(name);
    if (column < 0)
        throw DataError(tr("فیلد %1 در جدول %2 نیست.").arg(name, table_));
    return column;
}

void DataView::setCurrentRow(int row) {
    readUpTo(row);
    const int next = row >= 0 && row < int(visible_.size()) ? row : -1;
    if (next == current_)
        return;
    current_ = next;
    Q_EMIT currentChanged();
}

void DataView::setFilter(const QString& field, const QString& value) {
    const int column = requireField(field);
    if (!hasPendingChanges() && sortColumn_ < 0) {
        // The same filter again keeps its rows: a filter does not read the table again (a
        // refresh does).
        if (started_ && readColumn_ == column && readValue_ == value)
            resetToFirst();
        else
            startReading(column, value);
        return;
    }
    readWholeKeepingEdits();
    filterColumn_ = column;
    filterValue_ = value;
    rebuildVisible();
    resetTo(0);
}

void DataView::sort(const QString& field) {
    sortColumn_ = requireField(field);
    readEverything();
    rebuildVisible();
    resetTo(0);
}

void DataView::addRow() {
    if (!isOpen())
        throw DataError(tr("نمای داده باز نیست."));
    Row row;
    row.added = true;
    row.ends.assign(size_t(fields_.size()), 1u);
    rows_.push_back(std::move(row));
    visible_.push_back(int(rows_.size()) - 1);
    resetTo(int(visible_.size()) - 1);
}

QString DataView::field(const QString& name) const {
    const int column = fieldIndex(name);
    if (currentRow() < 0 || column < 0)
        return {};
    return value(current_, column);
}

QString DataView::value(int row, int column) const {
    if (row < 0 || column < 0 || column >= fields_.size())
        return {};
    readUpTo(row);
    if (row >= int(visible_.size()))
        return {};
    return rowValue(rows_[size_t(visible_[size_t(row)])], column);
}

void DataView::setField(const QString& name, const QString& text) {
    const int column = requireField(name);
    if (currentRow() < 0)
        throw DataError(tr("ردیف جاری وجود ندارد (جدول %1).").arg(table_));
    Row& row = rows_[size_t(visible_[size_t(current_)])];
    if (rowValue(row, column) == text)
        return;
    bool found = false;
    for (auto& [c, edit] : row.edits)
        if (c == column) {
            edit = text;
            found = true;
        }
    if (!found)
        row.edits.emplace_back(column, text);
    Q_EMIT rowChanged(current_);
    Q_EMIT currentChanged();
}

bool DataView::hasPendingChanges() const {
    return std::any_of(rows_.begin(), rows_.end(),
                       [](const Row& r) { return r.added || !r.edits.empty(); });
}

void DataView::commit() {
    commitAll({this});
}

// The snapshots take the written values only once the transaction has succeeded, so a failed
// commit (a full disk, a lost server) leaves every edit pending and the user can try again.
void DataView::commitAll(std::initializer_list<DataView*> views) {
    std::vector<DataView*> writing;
    QStringList tables;
    for (DataView* view : views)
        if (view->hasPendingChanges()) {
            writing.push_back(view);
            tables << view->table_;
        }
    if (writing.empty())
        return;
    std::vector<Database::Stamp> stamps; // as it began, then as it committed, by view
    try {
        Database::Transaction transaction(tables, &stamps);
        // Every row's write in one round trip on a server; each is checked before the commit.
        std::vector<Database::Write> writes;
        for (DataView* view : writing)
            for (Row& row : view->rows_)
                if (row.added || !row.edits.empty())
                    if (Database::Write w = view->rowWrite(row); !w.sql.isEmpty())
                        writes.push_back(std::move(w));
        transaction.commit(tables, &stamps, writes);
    } catch (const ChangedMeanwhile& changed) {
        // Its edit can never be written over the other change, and kept pending it would be
        // refused again at every save, so that the window could not even be closed: the row
        // shows what is stored now. The other edits stay pending.
        changed.view->rereadRow(changed.rowid);
        throw;
    }
    const size_t n = writing.size();
    for (size_t i = 0; i < n; ++i) {
        DataView* view = writing[i];
        view->applyCommitted();
        // Its snapshot now equals the table, unless another view wrote to the same table.
        const bool alone = std::count_if(tables.begin(), tables.end(), [&](const QString& t) {
                               return t.compare(view->table_, Qt::CaseInsensitive) == 0;
                           }) == 1;
        if (stamps[i] == view->stamp_ && alone)
            view->stamp_ = stamps[n + i];
    }
}

void DataView::applyCommitted() {
    for (Row& row : rows_) {
        if (row.added || !row.edits.empty()) {
            applyEdits(row, int(fields_.size()));
            row.added = false;
        }
    }
}

// The statement that writes the row (none when nothing differs), and what takes its result.
Database::Write DataView::rowWrite(Row& row) {
    const QString table = Database::quoted(table_);
    Database::Write w;
    if (row.added) {
        QStringList names, marks;
        for (const auto& [c, text] : row.edits) {
            names << Database::quoted(fields_[c]);
            marks << QStringLiteral("?");
        }
        w.sql = (names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                 : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                       .arg(table, names.join(QLatin1Char(',')),
                                            marks.join(QLatin1Char(',')))) +
                Database::returningRow();
        for (const auto& edit : row.edits)
            w.values << edit.second;
        w.take = [this, &row](QSqlQuery& q) {
            Database::noteWrite(table_, q.numRowsAffected());
            if (Database::returningRow().isEmpty())
                row.rowid = q.lastInsertId().toLongLong();
            else if (q.next())
                row.rowid = q.value(0).toLongLong();
        };
        return w;
    }
    // Only fields that really differ from what was read; each must still hold what was read.
    QStringList sets, checks;
    QVariantList setValues, checkValues;
    for (const auto& [c, text] : row.edits) {
        const bool wasNull = row.storedNull(c);
        if (!wasNull && row.stored(c) == text)
            continue;
        sets << Database::quoted(fields_[c]) + QStringLiteral("=?");
        setValues << text;
        checks << Database::quoted(fields_[c]) + Database::isSame();
        checkValues << (wasNull ? QVariant() : QVariant(row.stored(c)));
    }
    if (sets.isEmpty())
        return w;
    w.sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3=? AND %4")
                .arg(table, sets.join(QLatin1Char(',')), Database::rowColumn(),
                     checks.join(QStringLiteral(" AND ")));
    w.values = setValues + QVariantList{row.rowid} + checkValues;
    w.take = [this, rowid = row.rowid](QSqlQuery& q) {
        Database::noteWrite(table_, q.numRowsAffected());
        if (q.numRowsAffected() != 1)
            throw ChangedMeanwhile(
                tr("این ردیف از جدول %1 پس از خوانده شدن در جای دیگری تغییر کرده یا "
                   "حذف شده است. چیزی بازنویسی نشد؛ پنجره را دوباره باز کنید.")
                    .arg(table_),
                this, rowid);
    };
    return w;
}

// The row as it is stored now, its edits dropped; out of the view when it was deleted.
void DataView::rereadRow(qint64 rowid) {
    const auto found = std::find_if(rows_.begin(), rows_.begin() + qsizetype(stored_),
                                    [rowid](const Row& r) { return r.rowid == rowid; });
    if (found == rows_.begin() + qsizetype(stored_))
        return;
    const int index = int(found - rows_.begin());
    Database::Statement q(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3=?")
            .arg(Database::quotedList(fields_), Database::quoted(table_), Database::rowColumn()));
    q.bind({rowid});
    q.exec();
    stamp_ = Database::Stamp{}; // the rest of the snapshot is older than this row: refresh reads
    const auto shown = std::find(visible_.begin(), visible_.end(), index);
    const int place = shown == visible_.end() ? -1 : int(shown - visible_.begin());
    if (q->next()) {
        QString buffer;
        fillRow(*found, *q, 0, int(fields_.size()), buffer);
        found->edits.clear();
        if (place >= 0)
            Q_EMIT rowChanged(place);
        if (place >= 0 && place == current_)
            Q_EMIT currentChanged();
        return;
    }
    dropRow(index);
}

// Takes a row out of the view; the one after it takes its place as current.
void DataView::dropRow(int index) {
    const int position = current_;
    rows_.erase(rows_.begin() + index);
    if (size_t(index) < stored_)
        --stored_;
    rebuildVisible();
    readUpTo(position);
    resetTo(std::min(position, int(visible_.size()) - 1));
}

void DataView::applyEdits(Row& row, int columns) {
    if (row.edits.empty() && !row.added)
        return;
    QString packed;
    std::vector<quint32> ends(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        const QString* e = row.edited(c);
        const bool null = !e && row.storedNull(c);
        packed += e ? *e : row.stored(c);
        ends[size_t(c)] = quint32(packed.size()) << 1 | (null ? 1u : 0u);
    }
    row.packed = std::move(packed);
    row.ends = std::move(ends);
    row.edits.clear();
}

void DataView::deleteCurrent() {
    if (currentRow() < 0)
        throw DataError(tr("ردیف جاری وجود ندارد (جدول %1).").arg(table_));
    const int index = visible_[size_t(current_)];
    if (!rows_[size_t(index)].added) {
        Database::requirePagesChecked();
        Database::Statement q(QStringLiteral("DELETE FROM %1 WHERE %2=?")
                                  .arg(Database::quoted(table_), Database::rowColumn()));
        q.bind({rows_[size_t(index)].rowid});
        Database::Stamp before, after;
        q.exec(table_, &before, &after);
        if (q.rowsAffected() != 1) {
            // Gone already: it leaves the view, so that the next delete takes the next row.
            stamp_ = Database::Stamp{};
            dropRow(index);
            throw DataError(
                tr("این ردیف از جدول %1 پیش‌تر در جای دیگری حذف شده است.")
                    .arg(table_));
        }
        if (before == stamp_)
            stamp_ = after;
    }
    dropRow(index);
}

QString DataView::lastStored(const QString& name) const {
    const int column = requireField(name);
    QSqlQuery q(Database::connection());
    Database::exec(q, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3 DESC LIMIT 1")
                          .arg(Database::quoted(fields_[column]), Database::quoted(table_),
                               Database::rowColumn()));
    return q.next() ? q.value(0).toString() : QString();
}

bool DataView::anyStored(const QString& name, const QString& value) const {
    return anyStored({{name, value}}).front();
}

std::vector<bool> DataView::anyStored(const std::vector<std::pair<QString, QString>>& asked) const {
    std::vector<bool> found(asked.size());
    std::vector<Database::Read> reads;
    for (size_t i = 0; i < asked.size(); ++i) {
        Database::Read r;
        r.table = table_;
        const QString condition =
            readCondition(requireField(asked[i].first), asked[i].second, r.values);
        r.sql = QStringLiteral("SELECT 1 FROM %1 WHERE 1=1%2 LIMIT 1")
                    .arg(Database::quoted(table_), condition);
        r.take = [&found, i](QSqlQuery& q, const Database::Stamp&) { found[i] = q.next(); };
        reads.push_back(std::move(r));
    }
    if (!reads.empty())
        readWith(std::move(reads));
    return found;
}

QStringList DataView::distinctStored(const QString& name, bool fewValues) const {
    return distinctStored(QStringList{name}, fewValues).front();
}

QList<QStringList> DataView::distinctStored(const QStringList& names, bool fewValues) const {
    QStringList fields;
    for (const QString& name : names)
        fields << fields_[requireField(name)];
    return Database::distinct(table_, fields, fewValues);
}
