// Reads a database of the earlier program (a Jet 3, Jet 4 or ACE file) with libmdb and writes its
// four tables into a new VORN database. It runs as a process of its own because the library was
// not written for hostile files: whatever a damaged file does to it ends here, not in VORN.
//
//   VORNimport SOURCE TARGET
//
// On success (exit 0) it prints one line per fact: "subjects N", "answers N", "scores N",
// "themes N", "ignored TABLE", "duplicate CODE". On a refusal (exit 2) one line "refused WHY",
// WHY being "unreadable", "foreign", "columns TABLE COLUMN", "damaged TABLE" or "write TEXT".
#include "Content.h"
#include "Database.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <cstdio>
#include <mdbtools.h>
#include <memory>
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
            Column c{col, {}, 0};
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

    bool next(QVariantList& row) {
        if (!mdb_fetch_row(table_))
            return false;
        row.clear();
        for (Column& c : columns_) {
            if (c.col->col_type != MDB_MEMO) {
                row << QString::fromUtf8(c.buffer.data(),
                                         qstrnlen(c.buffer.data(), c.buffer.size()));
            } else if (c.col->cur_value_len <= 0) {
                row << QString();
            } else {
                char* text = mdb_col_to_string(mdb_, mdb_->pg_buf, c.col->cur_value_start, MDB_MEMO,
                                               c.col->cur_value_len);
                row << QString::fromUtf8(text ? text : "");
                g_free(text);
            }
        }
        return true;
    }

private:
    struct Column {
        MdbColumn* col;
        std::vector<char> buffer;
        int length;
    };
    MdbHandle* mdb_;
    MdbTableDef* table_ = nullptr;
    std::vector<Column> columns_;
};

bool isScored(const QVariantList& row, const QStringList& fields) {
    for (const char* score : {"KHalaghiyat", "Balidagi", "Taahod"})
        if (!row[fields.indexOf(QLatin1String(score))].toString().isEmpty())
            return true;
    return false;
}

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
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("import"));
        db.setDatabaseName(args[2]);
        if (!db.open())
            refuse(QStringLiteral("write ") + db.lastError().text());
        QSqlQuery q(db);
        auto run = [&](QSqlQuery& query) {
            if (!query.exec())
                refuse(QStringLiteral("write ") + query.lastError().text());
        };
        // A new file nobody uses yet, removed if anything fails: no journal, no syncing but the
        // program's own check of the whole file afterwards.
        for (const char* pragma :
             {"PRAGMA journal_mode=OFF", "PRAGMA synchronous=OFF", "PRAGMA cache_size=-65536"}) {
            q.prepare(QLatin1String(pragma));
            run(q);
        }
        // The delivered statements and settings give way to the clinic's own.
        db.transaction();
        q.prepare(QStringLiteral("DELETE FROM \"QUS\""));
        run(q);
        q.prepare(QStringLiteral("DELETE FROM \"Theme\""));
        run(q);
        for (const Tables::Table& t : Tables::all()) {
            Reader reader(file.mdb, t);
            QStringList places, names;
            for (const QString& f : t.fields) {
                names << Database::quoted(f);
                places << QStringLiteral("?");
            }
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(Database::quoted(t.name), names.join(QLatin1Char(',')),
                                    places.join(QLatin1Char(','))));
            QVariantList row;
            while (reader.next(row)) {
                if (t.name == QLatin1String(Tables::Theme) && ++themes > 1)
                    continue; // the earlier program read the first one only
                for (int i = 0; i < row.size(); ++i)
                    insert.bindValue(i, row[i]);
                run(insert);
                if (t.name == QLatin1String(Tables::Ide)) {
                    ++subjects;
                    scored += isScored(row, t.fields);
                } else if (t.name == QLatin1String(Tables::Answer)) {
                    ++answers;
                }
            }
        }
        q.prepare(
            QStringLiteral("SELECT \"Code\" FROM \"ide\" GROUP BY \"Code\" HAVING count(*) > 1 "
                           "ORDER BY min(rowid)"));
        run(q);
        while (q.next())
            duplicates << q.value(0).toString();
        q.finish();
        if (!db.commit())
            refuse(QStringLiteral("write ") + db.lastError().text());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("import"));
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
