#include "DataView.h"

#include "Database.h"

#include <QSqlQuery>
#include <algorithm>

DataView::DataView(QObject* parent) : QObject(parent) {}
DataView::~DataView() = default;

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

DataView* DataView::create(QObject* window, const char* name, const char* table) {
    auto* view = new DataView(window);
    view->setObjectName(QString::fromLatin1(name));
    view->open(QString::fromLatin1(table));
    return view;
}

void DataView::open(const QString& table) {
    QSqlQuery q(Database::connection());
    Database::exec(q, QStringLiteral("PRAGMA table_info(%1)").arg(Database::quoted(table)));
    QStringList fields;
    while (q.next())
        fields << q.value(1).toString();
    if (fields.isEmpty())
        throw DataError(tr("جدول %1 در پایگاه داده نیست.").arg(table));
    table_ = table;
    fields_ = fields;
    load();
}

void DataView::refresh() {
    if (!isOpen())
        return;
    if (Database::stamp(table_) != stamp_) {
        load();
        return;
    }
    std::erase_if(rows_, [](const Row& r) { return r.added; });
    for (Row& row : rows_)
        row.edits.clear();
    filterColumn_ = -1;
    filterValue_.clear();
    sortColumn_ = -1;
    rebuildVisible();
    resetTo(rowCount() > 0 ? 0 : -1);
}

void DataView::load() {
    stamp_ = Database::stamp(table_);
    QSqlQuery q(Database::connection());
    q.setForwardOnly(true);
    Database::exec(
        q, QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(Database::quoted(table_)));
    std::vector<Row> rows;
    const int columns = int(fields_.size());
    QString buffer;
    while (q.next()) {
        Row row;
        row.rowid = q.value(0).toLongLong();
        row.ends.resize(size_t(columns));
        buffer.resize(0);
        for (int c = 0; c < columns; ++c) {
            const QVariant v = q.value(c + 1);
            const bool null = v.isNull();
            if (!null)
                buffer += v.toString();
            row.ends[size_t(c)] = quint32(buffer.size()) << 1 | (null ? 1u : 0u);
        }
        row.packed = QString(buffer.constData(), buffer.size());
        rows.push_back(std::move(row));
    }
    rows_ = std::move(rows);
    filterColumn_ = -1;
    filterValue_.clear();
    sortColumn_ = -1;
    rebuildVisible();
    resetTo(rowCount() > 0 ? 0 : -1);
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
    current_ = row >= 0 && row < rowCount() ? row : -1;
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
    const int next = row >= 0 && row < rowCount() ? row : -1;
    if (next == current_)
        return;
    current_ = next;
    Q_EMIT currentChanged();
}

void DataView::setFilter(const QString& field, const QString& value) {
    filterColumn_ = requireField(field);
    filterValue_ = value;
    rebuildVisible();
    resetTo(0);
}

void DataView::sort(const QString& field) {
    sortColumn_ = requireField(field);
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
    resetTo(rowCount() - 1);
}

QString DataView::field(const QString& name) const {
    const int column = fieldIndex(name);
    if (current_ < 0 || column < 0)
        return {};
    return value(current_, column);
}

QString DataView::value(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= fields_.size())
        return {};
    return rowValue(rows_[size_t(visible_[size_t(row)])], column);
}

void DataView::setField(const QString& name, const QString& text) {
    const int column = requireField(name);
    if (current_ < 0)
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
// commit leaves every edit pending and the user can try again.
void DataView::commitAll(std::initializer_list<DataView*> views) {
    std::vector<std::pair<DataView*, bool>> writing; // view, its snapshot was current
    for (DataView* view : views)
        if (view->hasPendingChanges())
            writing.emplace_back(view, Database::stamp(view->table_) == view->stamp_);
    if (writing.empty())
        return;
    Database::Transaction transaction;
    for (auto& [view, current] : writing)
        for (Row& row : view->rows_)
            if (row.added || !row.edits.empty())
                view->writeRow(row);
    transaction.commit();
    for (auto& [view, current] : writing) {
        view->applyCommitted();
        // Its snapshot now equals the table, unless another view wrote to the same table.
        const bool alone =
            std::count_if(writing.begin(), writing.end(), [&](const auto& w) {
                return w.first->table_.compare(view->table_, Qt::CaseInsensitive) == 0;
            }) == 1;
        if (current && alone)
            view->stamp_ = Database::stamp(view->table_);
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

void DataView::writeRow(Row& row) {
    QSqlQuery q(Database::connection());
    const QString table = Database::quoted(table_);
    if (row.added) {
        QStringList names, marks;
        for (const auto& [c, text] : row.edits) {
            names << Database::quoted(fields_[c]);
            marks << QStringLiteral("?");
        }
        if (names.isEmpty()) {
            q.prepare(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table));
        } else {
            q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
            for (const auto& edit : row.edits)
                q.addBindValue(edit.second);
        }
        Database::exec(q);
        Database::noteWrite(table_, q.numRowsAffected());
        row.rowid = q.lastInsertId().toLongLong();
        return;
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
        checks << Database::quoted(fields_[c]) + QStringLiteral(" IS ?");
        checkValues << (wasNull ? QVariant() : QVariant(row.stored(c)));
    }
    if (sets.isEmpty())
        return;
    q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=? AND %3")
                  .arg(table, sets.join(QLatin1Char(',')), checks.join(QStringLiteral(" AND "))));
    for (const QVariant& v : setValues)
        q.addBindValue(v);
    q.addBindValue(row.rowid);
    for (const QVariant& v : checkValues)
        q.addBindValue(v);
    Database::exec(q);
    Database::noteWrite(table_, q.numRowsAffected());
    if (q.numRowsAffected() != 1)
        throw DataError(tr("این ردیف از جدول %1 پس از خوانده شدن در جای دیگری تغییر کرده یا حذف "
                           "شده است. چیزی بازنویسی نشد؛ پنجره را دوباره باز کنید.")
                            .arg(table_));
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
    if (current_ < 0)
        throw DataError(tr("ردیف جاری وجود ندارد (جدول %1).").arg(table_));
    const int index = visible_[size_t(current_)];
    if (!rows_[size_t(index)].added) {
        const bool current = Database::stamp(table_) == stamp_;
        QSqlQuery q(Database::connection());
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(Database::quoted(table_)));
        q.addBindValue(rows_[size_t(index)].rowid);
        Database::exec(q);
        Database::noteWrite(table_, q.numRowsAffected());
        if (q.numRowsAffected() != 1)
            throw DataError(
                tr("این ردیف از جدول %1 پیش‌تر در جای دیگری حذف شده است.")
                    .arg(table_));
        if (current)
            stamp_ = Database::stamp(table_);
    }
    const int position = current_;
    rows_.erase(rows_.begin() + index);
    rebuildVisible();
    resetTo(std::min(position, rowCount() - 1));
}
