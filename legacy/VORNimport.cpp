// Reads a database of the earlier program (a Jet 3, Jet 4 or ACE file) with libmdb and writes its
// four tables into a new VORN database. It runs as a process of its own because the library was
// not written for hostile files: whatever a damaged file does to it ends here, not in VORN.
//
//   VORNimport SOURCE TARGET
//
// On success (exit 0) it prints one line per fact: "subjects N", "answers N", "scores N",
// "themes N", "ignored TABLE", "duplicate CODE". On a refusal (exit 2) one line "refused WHY",
// WHY being "unreadable", "foreign", "columns TABLE COLUMN", "damaged TABLE" or "write TEXT".
#include "data/Content.h"
#include "data/Database.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <mdbtools.h>
#include <memory>
#include <sqlite3.h>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void refuse(const QString& why) {
    std::printf("refused %s\n", why.toUtf8().constData());
    std::fflush(stdout);
    std::_Exit(2);
}

void say(const char* what, const QString& value) {
    std::printf("%s %s\n", what, value.toUtf8().constData());
}

struct Handle {
    MdbHandle* mdb;
    ~Handle() {
        if (mdb)
            mdb_close(mdb);
    }
};

// One table of the earlier file, its rows read one by one with the program's fields in the
// program's order; a NULL and an empty text both read as an empty text.
class Reader {
public:
    Reader(MdbHandle* mdb, const Tables::Table& table) : mdb_(mdb) {
        table_ = mdb_read_table_by_name(mdb, table.name.toUtf8().data(), MDB_TABLE);
        if (!table_ || !mdb_read_columns(table_) || table_->num_cols == 0)
            refuse(QStringLiteral("damaged ") + table.name);
        for (const QString& field : table.fields) {
            int found = -1;
            for (unsigned int i = 0; i < table_->num_cols; ++i) {
                auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
                if (QString::fromUtf8(col->name).compare(field, Qt::CaseInsensitive) == 0)
                    found = int(i);
            }
            if (found < 0)
                refuse(QStringLiteral("columns %1 %2").arg(table.name, field));
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, guint(found)));
            if (col->col_type == MDB_OLE || col->col_type == MDB_BINARY)
                refuse(QStringLiteral("columns %1 %2").arg(table.name, field));
            Column c{col, {}, 0, nullptr};
            // A memo is read whole after each row; anything else arrives as text in its buffer.
            if (col->col_type != MDB_MEMO) {
                c.buffer.assign(MDB_BIND_SIZE, '\0');
                mdb_bind_column(table_, found + 1, c.buffer.data(), &c.length);
            }
            columns_.push_back(std::move(c));
        }
        mdb_rewind_table(table_);
    }
    ~Reader() { mdb_free_tabledef(table_); }

    // The next row's values as UTF-8, valid until the next call.
    bool next(std::vector<std::string_view>& row) {
        if (!mdb_fetch_row(table_))
            return false;
        row.clear();
        for (Column& c : columns_) {
            if (c.col->col_type != MDB_MEMO) {
                row.emplace_back(c.buffer.data(), qstrnlen(c.buffer.data(), c.buffer.size()));
                continue;
            }
            c.memo.reset();
            if (c.col->cur_value_len > 0)
                c.memo.reset(mdb_col_to_string(mdb_, mdb_->pg_buf, c.col->cur_value_start, MDB_MEMO,
                                               c.col->cur_value_len));
            row.emplace_back(c.memo ? c.memo.get() : "");
        }
        return true;
    }

private:
    struct Free {
        void operator()(char* p) const { g_free(p); }
    };
    struct Column {
        MdbColumn* col;
        std::vector<char> buffer;
        int length;
        std::unique_ptr<char, Free> memo;
    };
    MdbHandle* mdb_;
    MdbTableDef* table_ = nullptr;
    std::vector<Column> columns_;
};

// The converted file, written with SQLite's own interface: the values go in as the UTF-8 they
// were read as.
class Writer {
public:
    explicit Writer(const QString& path) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE,
                            nullptr) != SQLITE_OK)
            fail();
        // A new file nobody uses yet, removed if anything fails: no journal and no syncing; the
        // program checks the whole file afterwards.
        run("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-16384; BEGIN; "
            "DELETE FROM \"QUS\"; DELETE FROM \"Theme\";");
        // The indexes are made again, in their own words, once the rows are in: sorting once
        // costs less than keeping them in order row by row.
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT name, sql FROM sqlite_master WHERE type = 'index'", -1,
                               &q, nullptr) != SQLITE_OK)
            fail();
        QStringList names;
        while (sqlite3_step(q) == SQLITE_ROW) {
            names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
            indexes_ << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(q, 1)));
        }
        sqlite3_finalize(q);
        for (const QString& name : names)
            run(("DROP INDEX " + Database::quoted(name)).toUtf8().constData());
    }
    void makeIndexes() {
        for (const QByteArray& sql : indexes_)
            run(sql.constData());
    }
    ~Writer() {
        sqlite3_finalize(insert_);
        sqlite3_close(db_);
    }
    void run(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail();
    }
    void into(const Tables::Table& t) {
        sqlite3_finalize(insert_);
        insert_ = nullptr;
        QStringList names, places;
        for (const QString& f : t.fields) {
            names << Database::quoted(f);
            places << QStringLiteral("?");
        }
        const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(Database::quoted(t.name), names.join(QLatin1Char(',')),
                                        places.join(QLatin1Char(',')))
                                   .toUtf8();
        if (sqlite3_prepare_v2(db_, sql.constData(), -1, &insert_, nullptr) != SQLITE_OK)
            fail();
    }
    void add(const std::vector<std::string_view>& row) {
        for (size_t i = 0; i < row.size(); ++i)
            sqlite3_bind_text(insert_, int(i + 1), row[i].data(), int(row[i].size()),
                              SQLITE_STATIC);
        if (sqlite3_step(insert_) != SQLITE_DONE)
            fail();
        sqlite3_reset(insert_);
    }
    QStringList duplicateCodes() {
        QStringList codes;
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(db_,
                               "SELECT \"Code\" FROM \"ide\" GROUP BY \"Code\" HAVING count(*) > 1 "
                               "ORDER BY min(rowid)",
                               -1, &q, nullptr) != SQLITE_OK)
            fail();
        while (sqlite3_step(q) == SQLITE_ROW)
            codes << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
        sqlite3_finalize(q);
        return codes;
    }

private:
    [[noreturn]] void fail() {
        refuse(QStringLiteral("write ") + QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : "?"));
    }
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    QList<QByteArray> indexes_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: VORNimport SOURCE TARGET\n");
        return 64;
    }
    Handle file{mdb_open(QFile::encodeName(args[1]).constData(), MDB_NOFLAGS)};
    if (!file.mdb || !mdb_read_catalog(file.mdb, MDB_TABLE))
        refuse(QStringLiteral("unreadable"));

    QStringList found, ignored;
    for (unsigned int i = 0; i < file.mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(file.mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry))
            continue;
        const QString name = QString::fromUtf8(entry->object_name);
        const Tables::Table& ours = Tables::byName(name);
        if (ours.name.isEmpty())
            ignored << name;
        else
            found << ours.name;
    }
    for (const Tables::Table& t : Tables::all())
        if (!found.contains(t.name))
            refuse(QStringLiteral("foreign"));

    if (const QString error = Database::createFile(args[2]); !error.isEmpty())
        refuse(QStringLiteral("write ") + error);
    long long subjects = 0, answers = 0, scored = 0, themes = 0;
    QStringList duplicates;
    {
        Writer out(args[2]);
        std::vector<std::string_view> row;
        for (const Tables::Table& t : Tables::all()) {
            Reader reader(file.mdb, t);
            out.into(t);
            const bool ide = t.name == QLatin1String(Tables::Ide);
            const bool theme = t.name == QLatin1String(Tables::Theme);
            std::vector<qsizetype> scores;
            for (const char* score : {"KHalaghiyat", "Balidagi", "Taahod"})
                scores.push_back(t.fields.indexOf(QLatin1String(score)));
            while (reader.next(row)) {
                if (theme && ++themes > 1)
                    continue; // the earlier program read the first one only
                out.add(row);
                if (ide) {
                    ++subjects;
                    scored += std::any_of(scores.begin(), scores.end(),
                                          [&](qsizetype i) { return !row[size_t(i)].empty(); });
                } else if (t.name == QLatin1String(Tables::Answer)) {
                    ++answers;
                }
            }
        }
        out.makeIndexes();
        duplicates = out.duplicateCodes();
        out.run("COMMIT");
    }
    say("subjects", QString::number(subjects));
    say("answers", QString::number(answers));
    say("scores", QString::number(scored));
    say("themes", QString::number(themes));
    for (const QString& name : ignored)
        say("ignored", name);
    for (const QString& code : duplicates)
        say("duplicate", code);
    return 0;
}
