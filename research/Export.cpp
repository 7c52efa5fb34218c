#include "research/Export.h"

#include "core/Val.h"
#include "data/Content.h"
#include "data/Database.h"
#include "data/Subjects.h"
#include "scoring/Scoring.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <readstat.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>
#include <xlsxwriter.h>

namespace Export {

namespace {

// How a column's text becomes a value where a format has numbers.
enum class Kind { Text, Number, Answer, Sex, Marital };

struct Column {
    QString name;    // the SPSS variable name
    QString caption; // the Persian header, and the variable label
    QString source;  // the SQL expression it is read from
    Kind kind;
    // Sex and marital status: the text of each code, from 1. The registration's own choices
    // come first; any other text stored gets a code of its own after them.
    QStringList labels = {};
};

QList<Column> columns() {
    QList<Column> all{
        {"code", QString::fromUtf8("کد"), "i.\"Code\"", Kind::Text},
        {"fname", QString::fromUtf8("نام"), "i.\"FName\"", Kind::Text},
        {"lname", QString::fromUtf8("نام خانوادگي"), "i.\"LName\"", Kind::Text},
        {"sex", QString::fromUtf8("جنسيت"), "i.\"Jens\"", Kind::Sex},
        {"age", QString::fromUtf8("سن"), "i.\"Sen\"", Kind::Number},
        {"marital", QString::fromUtf8("وضعيت تأهل"), "i.\"Taahol\"", Kind::Marital},
        {"educ", QString::fromUtf8("تحصيلات"), "i.\"Tahsil\"", Kind::Text},
        {"group", QString::fromUtf8("گروه"), "i.\"Group\"", Kind::Text},
        {"date", QString::fromUtf8("تاريخ"), "i.\"Date\"", Kind::Text},
        {"time", QString::fromUtf8("ساعت"), "i.\"Time\"", Kind::Text},
    };
    for (int item = 1; item <= Tables::ItemCount; ++item)
        all.append({QStringLiteral("item%1").arg(item, 2, 10, QLatin1Char('0')),
                    QString::fromUtf8("سؤال %1").arg(item), QStringLiteral("a.\"%1\"").arg(item),
                    Kind::Answer});
    const char* names[] = {"innov", "matur", "engag"};
    for (size_t i = 0; i < Scoring::key().size(); ++i)
        all.append({QString::fromLatin1(names[i]), QString::fromUtf8(Scoring::key()[i].caption),
                    QStringLiteral("i.\"%1\"").arg(QString::fromLatin1(Scoring::key()[i].field)),
                    Kind::Number});
    return all;
}

// Persian and Arabic-Indic digits (and the Arabic decimal separator) as the ASCII ones.
QString latinDigits(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x06F0 && u <= 0x06F9)
            c = QChar(u'0' + (u - 0x06F0));
        else if (u >= 0x0660 && u <= 0x0669)
            c = QChar(u'0' + (u - 0x0660));
        else if (u == 0x066B)
            c = QLatin1Char('.');
    }
    return text;
}

// A number where the text is one; nothing (missing) where it is empty or no number at all.
std::optional<double> number(const QString& text, const Column& column) {
    // The usual answer, one digit, without the general parse: an export has millions of them.
    if (text.size() == 1 && text[0] >= u'0' && text[0] <= u'9' && column.labels.isEmpty())
        return double(text[0].unicode() - u'0');
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    if (!column.labels.isEmpty()) {
        const qsizetype i = column.labels.indexOf(t);
        return i < 0 ? std::nullopt : std::optional<double>(double(i + 1));
    }
    bool plain = false;
    const double v = latinDigits(t).toDouble(&plain); // "3.18", "4", "۳۰"
    if (plain && std::isfinite(v))
        return v;
    return std::nullopt;
}

// Every text stored in a field of ide beyond the registration's own choices, in order.
QStringList labelsOf(const QString& field, const QStringList& choices) {
    QStringList others;
    for (const QString& stored : Subjects::distinct(field))
        if (const QString t = stored.trimmed();
            !t.isEmpty() && !choices.contains(t) && !others.contains(t))
            others << t;
    std::sort(others.begin(), others.end());
    return choices + others;
}

// Why a file could not be written into folder, in words a clinic's user can act on; detail is
// the library's own text.
QString whyNotWritten(const QString& folder, const QString& detail) {
    const QByteArray where = QFile::encodeName(folder);
    struct statvfs disk {};
    QString why;
    if (::access(where.constData(), W_OK) != 0)
        why =
            errno == EROFS
                ? QString::fromUtf8("این دیسک یا پوشه فقط‌خواندنی است.")
            : errno == ENOENT ? QString::fromUtf8("این پوشه وجود ندارد.")
                              : QString::fromUtf8("اجازهٔ نوشتن در این پوشه را ندارید.");
    else if (::statvfs(where.constData(), &disk) == 0 &&
             qint64(disk.f_bavail) * qint64(disk.f_frsize) < (qint64(1) << 20))
        why = QString::fromUtf8("جای خالی دیسک تمام شده است.");
    else
        why = QString::fromUtf8("نوشتن پرونده ممکن نشد.");
    return detail.isEmpty() ? why : why + QStringLiteral(" (") + detail + QLatin1Char(')');
}

// The mode a new export gets: that of the file it replaces, or what the user's umask allows.
mode_t exportMode(const QString& path) {
    struct stat old {};
    if (::stat(QFile::encodeName(path).constData(), &old) == 0)
        return old.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// One writer per format: a header, rows of texts, and the end. Each answers an error text.
class Writer {
public:
    virtual ~Writer() = default;
    virtual QString begin(const QList<Column>& columns, qint64 rows, const QList<int>& widths) = 0;
    virtual QString row(const QStringList& values) = 0;
    virtual QString end() = 0;
    // "subject code: field" of every text the format could not hold whole
    QStringList cut;

protected:
    void noteCut(const QStringList& values, const Column& column) {
        cut << QString::fromUtf8("آزمودنی %1: %2").arg(values.value(0), column.caption);
    }
};

// The most a .sav text variable holds, in bytes: SPSS and PSPP read it without a word (from
// about 9,400 bytes PSPP warns, from 32,768 it splits the variable).
constexpr int SavTextBytes = 4000;
// The most characters an XLSX cell holds.
constexpr int XlsxCellCharacters = 32767;

// At most max bytes of UTF-8, never cutting a letter in two.
QByteArray cutUtf8(const QByteArray& bytes, qsizetype max) {
    if (bytes.size() <= max)
        return bytes;
    qsizetype end = max;
    while (end > 0 && (quint8(bytes[end]) & 0xC0) == 0x80)
        --end;
    return bytes.left(end);
}

// RFC 4180: every field quoted when it needs to be, quotes doubled, CR LF between records; a
// byte-order mark first so a spreadsheet takes the file as UTF-8.
class CsvWriter : public Writer {
public:
    explicit CsvWriter(const QString& path) : file_(path) {}
    QString begin(const QList<Column>& columns, qint64, const QList<int>&) override {
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return file_.errorString();
        file_.write("\xEF\xBB\xBF");
        QStringList header;
        for (const Column& c : columns)
            header << c.caption;
        return row(header);
    }
    QString row(const QStringList& values) override {
        QByteArray line;
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i > 0)
                line += ',';
            QByteArray field = values[i].toUtf8();
            // A spreadsheet would take such a text for a formula (a name "=1+1", a link): it
            // gets a leading apostrophe. Numbers stay numbers.
            if (!field.isEmpty() && QByteArray("=+-@\t\r").contains(field[0])) {
                bool number = false;
                values[i].toDouble(&number);
                if (!number)
                    field.prepend('\'');
            }
            if (field.contains('"') || field.contains(',') || field.contains('\n') ||
                field.contains('\r') || field.startsWith(' ') || field.endsWith(' ')) {
                field.replace("\"", "\"\"");
                field = '"' + field + '"';
            }
            line += field;
        }
        line += "\r\n";
        return file_.write(line) == line.size() ? QString() : file_.errorString();
    }
    // The same for a row of the cursor, from the bytes the database stores: no text is made.
    QString row(Subjects::Cursor& r, int columns) {
        line_.clear();
        for (int i = 0; i < columns; ++i) {
            if (i > 0)
                line_ += ',';
            append(r.utf8(i));
        }
        line_ += "\r\n";
        return file_.write(line_) == line_.size() ? QString() : file_.errorString();
    }
    QString end() override {
        if (!file_.flush())
            return file_.errorString();
        file_.close();
        return file_.error() == QFileDevice::NoError ? QString() : file_.errorString();
    }

private:
    void append(QByteArrayView field) {
        bool apostrophe = false;
        if (!field.isEmpty() && std::strchr("=+-@\t\r", field[0])) {
            bool number = false;
            QByteArray::fromRawData(field.data(), field.size()).toDouble(&number);
            apostrophe = !number;
        }
        const bool quote = field.contains('"') || field.contains(',') || field.contains('\n') ||
                           field.contains('\r') || field.startsWith(' ') || field.endsWith(' ');
        if (quote)
            line_ += '"';
        if (apostrophe)
            line_ += '\'';
        if (quote) {
            for (char c : field) {
                if (c == '"')
                    line_ += '"';
                line_ += c;
            }
            line_ += '"';
        } else {
            line_ += field;
        }
    }

    QFile file_;
    QByteArray line_;
};

// The sheet reads right to left with the Persian header; answers, age and scores are numbers.
class XlsxWriter : public Writer {
public:
    explicit XlsxWriter(const QString& path) : path_(path.toUtf8()) {}
    // Only after a failure: nothing more is written, and the sheet's temporary file, which the
    // library closes only when it assembles the book, is closed here.
    ~XlsxWriter() override {
        if (!book_)
            return;
        if (sheet_ && sheet_->optimize_tmpfile) {
            std::fclose(sheet_->optimize_tmpfile);
            sheet_->optimize_tmpfile = nullptr;
        }
        lxw_workbook_free(book_);
    }
    QString begin(const QList<Column>& columns, qint64, const QList<int>&) override {
        columns_ = columns;
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE; // rows go to the file as they come
        tmpdir_ = QFileInfo(QString::fromUtf8(path_)).absolutePath().toUtf8();
        options.tmpdir = tmpdir_.data();
        book_ = workbook_new_opt(path_.constData(), &options);
        if (!book_)
            return QString::fromUtf8("پرونده ساخته نشد.");
        sheet_ = workbook_add_worksheet(book_, "VORN");
        bold_ = workbook_add_format(book_);
        format_set_bold(bold_);
        worksheet_right_to_left(sheet_);
        worksheet_freeze_panes(sheet_, 1, 0);
        for (int c = 0; c < int(columns.size()); ++c) {
            const QByteArray text = columns[c].caption.toUtf8();
            if (const lxw_error e =
                    worksheet_write_string(sheet_, 0, lxw_col_t(c), text.constData(), bold_))
                return QString::fromUtf8(lxw_strerror(e));
        }
        return {};
    }
    QString row(const QStringList& values) override {
        ++row_;
        for (int c = 0; c < int(values.size()); ++c) {
            if (values[c].isEmpty())
                continue;
            lxw_error e = LXW_NO_ERROR;
            const Kind kind = columns_[c].kind;
            const std::optional<double> n = kind == Kind::Number || kind == Kind::Answer
                                                ? number(values[c], columns_[c])
                                                : std::nullopt;
            if (n) {
                e = worksheet_write_number(sheet_, lxw_row_t(row_), lxw_col_t(c), *n, nullptr);
            } else {
                QString value = values[c];
                if (value.size() > XlsxCellCharacters) {
                    value.truncate(value[XlsxCellCharacters - 1].isHighSurrogate()
                                       ? XlsxCellCharacters - 1
                                       : XlsxCellCharacters);
                    noteCut(values, columns_[c]);
                }
                const QByteArray text = value.toUtf8();
                e = worksheet_write_string(sheet_, lxw_row_t(row_), lxw_col_t(c), text.constData(),
                                           nullptr);
            }
            if (e != LXW_NO_ERROR)
                return QString::fromUtf8(lxw_strerror(e));
        }
        return {};
    }
    QString end() override {
        // A book that fails to close may leave its sheet's temporary file open (deleted, on the
        // export's disk): its descriptor is closed then, so the disk can be taken out.
        const int sheetFile = sheet_->optimize_tmpfile ? fileno(sheet_->optimize_tmpfile) : -1;
        const lxw_error e = workbook_close(book_);
        book_ = nullptr;
        if (e == LXW_NO_ERROR)
            return {};
        if (sheetFile >= 0 && stillOurs(sheetFile))
            ::close(sheetFile);
        return QString::fromUtf8(lxw_strerror(e));
    }

private:
    // The descriptor still names a deleted file in the export's folder.
    bool stillOurs(int fd) const {
        const QString target = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
        return target.startsWith(QString::fromUtf8(tmpdir_) + QLatin1Char('/')) &&
               target.endsWith(QLatin1String(" (deleted)"));
    }

    QByteArray path_;
    QByteArray tmpdir_;
    QList<Column> columns_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* bold_ = nullptr;
    qint64 row_ = 0;
};

// SPSS: names SPSS accepts, the Persian captions and each item's statement as variable labels,
// value labels for the answers, sex and marital status, missing answers system-missing.
class SavWriter : public Writer {
public:
    explicit SavWriter(const QString& path) : file_(path) {}
    ~SavWriter() override {
        if (writer_)
            readstat_writer_free(writer_);
    }
    QString begin(const QList<Column>& columns, qint64 rows, const QList<int>& widths) override {
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return file_.errorString();
        writer_ = readstat_writer_init();
        readstat_set_data_writer(writer_, [](const void* data, size_t len, void* ctx) -> ssize_t {
            auto* file = static_cast<QFile*>(ctx);
            return file->write(static_cast<const char*>(data), qint64(len)) == qint64(len)
                       ? ssize_t(len)
                       : -1;
        });
        readstat_writer_set_file_label(writer_, "VORN");
        readstat_writer_set_compression(writer_, READSTAT_COMPRESS_ROWS);
        auto labels = [this](const char* name, const QStringList& texts) {
            readstat_label_set_t* set = readstat_add_label_set(writer_, READSTAT_TYPE_DOUBLE, name);
            for (int i = 0; i < int(texts.size()); ++i)
                readstat_label_double_value(set, i + 1, texts[i].toUtf8().constData());
            return set;
        };
        readstat_label_set_t* answers =
            labels("answers", {QString::fromUtf8("کاملاً موافق"), QString::fromUtf8("موافق"),
                               QString::fromUtf8("نمي دانم"), QString::fromUtf8("مخالف"),
                               QString::fromUtf8("کاملاً مخالف")});
        readstat_label_set_t* sexes = nullptr;
        readstat_label_set_t* marital = nullptr;
        for (const Column& col : columns)
            if (col.kind == Kind::Sex)
                sexes = labels("sexes", col.labels);
            else if (col.kind == Kind::Marital)
                marital = labels("marital", col.labels);
        for (int c = 0; c < int(columns.size()); ++c) {
            const Column& col = columns[c];
            const bool text = col.kind == Kind::Text;
            readstat_variable_t* v =
                readstat_add_variable(writer_, col.name.toUtf8().constData(),
                                      text ? READSTAT_TYPE_STRING : READSTAT_TYPE_DOUBLE,
                                      text ? size_t(std::clamp(widths[c], 1, SavTextBytes)) : 0);
            QString label = col.caption;
            if (col.kind == Kind::Answer) {
                const int item = c - 9; // items follow the ten registration fields
                label += QStringLiteral(": ") + Tables::itemTexts()[size_t(item - 1)];
            }
            readstat_variable_set_label(v, cutUtf8(label.toUtf8(), 255).constData());
            if (col.kind == Kind::Answer)
                readstat_variable_set_label_set(v, answers);
            else if (col.kind == Kind::Sex)
                readstat_variable_set_label_set(v, sexes);
            else if (col.kind == Kind::Marital)
                readstat_variable_set_label_set(v, marital);
            // Codes, answers and ages are whole numbers; the scores have two decimals.
            if (!text)
                readstat_variable_set_format(
                    v,
                    col.kind == Kind::Number && col.name != QLatin1String("age") ? "F8.2" : "F8.0");
            readstat_variable_set_measure(v, text                       ? READSTAT_MEASURE_NOMINAL
                                             : col.kind == Kind::Number ? READSTAT_MEASURE_SCALE
                                             : col.kind == Kind::Answer ? READSTAT_MEASURE_ORDINAL
                                                                        : READSTAT_MEASURE_NOMINAL);
            variables_.append(v);
            kinds_.append(col.kind);
            columns_.append(col);
        }
        return error(readstat_begin_writing_sav(writer_, &file_, long(rows)));
    }
    QString row(const QStringList& values) override {
        if (const QString e = error(readstat_begin_row(writer_)); !e.isEmpty())
            return e;
        for (int c = 0; c < int(values.size()); ++c) {
            readstat_error_t e = READSTAT_OK;
            if (kinds_[c] == Kind::Text) {
                // Longer than its variable (a very long text, or one whose stored bytes were not
                // UTF-8 and grew when read): cut at a letter's end, and said.
                QByteArray bytes = values[c].toUtf8();
                const qsizetype width =
                    qsizetype(readstat_variable_get_storage_width(variables_[c]));
                if (bytes.size() > width) {
                    bytes = cutUtf8(bytes, width);
                    noteCut(values, columns_[c]);
                }
                e = readstat_insert_string_value(writer_, variables_[c], bytes.constData());
            } else if (const std::optional<double> n = number(values[c], columns_[c])) {
                e = readstat_insert_double_value(writer_, variables_[c], *n);
            } else {
                e = readstat_insert_missing_value(writer_, variables_[c]);
            }
            if (e != READSTAT_OK)
                return error(e);
        }
        return error(readstat_end_row(writer_));
    }
    QString end() override {
        if (const QString e = error(readstat_end_writing(writer_)); !e.isEmpty())
            return e;
        if (!file_.flush())
            return file_.errorString();
        file_.close();
        return file_.error() == QFileDevice::NoError ? QString() : file_.errorString();
    }

private:
    QString error(readstat_error_t e) const {
        if (e == READSTAT_OK)
            return {};
        if (file_.error() != QFileDevice::NoError)
            return file_.errorString();
        return QString::fromUtf8(readstat_error_message(e));
    }
    QFile file_;
    readstat_writer_t* writer_ = nullptr;
    QList<readstat_variable_t*> variables_;
    QList<Kind> kinds_;
    QList<Column> columns_;
};

// Rows from the reading thread to the writing one, in batches, at most Depth batches waiting.
class RowPipe {
public:
    static constexpr size_t Depth = 4;
    static constexpr qsizetype Batch = 256;

    // False when the writer has failed: reading stops.
    bool put(const QStringList& row) {
        batch_.push_back(row);
        return batch_.size() < Batch || flush();
    }
    bool flush() {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return rows_.size() < Depth || !error_.isEmpty(); });
        if (!error_.isEmpty())
            return false;
        if (!batch_.isEmpty())
            rows_.push_back(std::move(batch_));
        batch_ = {};
        ready_.notify_one();
        return true;
    }
    void drain(Writer& writer) {
        for (;;) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return !rows_.empty() || closed_; });
            if (rows_.empty())
                return;
            const QList<QStringList> batch = std::move(rows_.front());
            rows_.pop_front();
            room_.notify_one();
            lock.unlock();
            for (const QStringList& row : batch)
                if (const QString e = writer.row(row); !e.isEmpty()) {
                    lock.lock();
                    error_ = e;
                    rows_.clear();
                    room_.notify_all();
                    return;
                }
        }
    }
    // Ends the rows and waits for the writer; its error, if it had one.
    QString close(std::thread& writing) {
        flush();
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
        writing.join();
        return error_;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<QList<QStringList>> rows_;
    QList<QStringList> batch_;
    bool closed_ = false;
    QString error_;
};

} // namespace

std::optional<Format> formatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
    if (suffix == QLatin1String("xlsx"))
        return Format::Xlsx;
    if (suffix == QLatin1String("sav"))
        return Format::Sav;
    return std::nullopt;
}

Result write(const QString& path, Format format, const QString& group, const Progress& progress) {
    Result result;
    QList<Column> cols = columns();
    const QString folder = QFileInfo(path).absolutePath();
    auto failed = [&](const QString& why) {
        result.error = QString::fromUtf8("پروندهٔ خروجی %1 نوشته نشد: %2")
                           .arg(QDir::toNativeSeparators(path), why);
        return result;
    };
    auto notWritten = [&](const QString& detail) { return failed(whyNotWritten(folder, detail)); };
    try {
        // The count, the labels and the rows from one moment, whatever other desks write.
        const Database::Snapshot moment;
        for (Column& c : cols)
            if (c.kind == Kind::Sex)
                c.labels = labelsOf(QStringLiteral("\"Jens\""), Tables::sexChoices());
            else if (c.kind == Kind::Marital)
                c.labels = labelsOf(QStringLiteral("\"Taahol\""), Tables::maritalChoices());
        // The number of rows comes first (the progress), and for a .sav file the widths of its
        // text columns: it declares them before its rows.
        QStringList measures{QStringLiteral("COUNT(*)")};
        if (format == Format::Sav)
            for (const Column& c : cols)
                measures << QStringLiteral("MAX(%1)").arg(Database::byteLength(c.source));
        const QVariantList measured = Subjects::measure(measures, group);
        qint64 total = 0;
        QList<int> widths;
        if (!measured.isEmpty()) {
            total = measured.value(0).toLongLong();
            for (int c = 1; c < measured.size(); ++c)
                widths << measured.value(c).toInt();
        }

        QTemporaryFile temp(
            QFileInfo(path).absoluteDir().filePath(QStringLiteral(".vorn-export-XXXXXX")));
        if (!temp.open())
            return notWritten(temp.errorString());
        temp.close(); // the writers open it by name
        std::unique_ptr<Writer> writer;
        switch (format) {
        case Format::Csv:
            writer = std::make_unique<CsvWriter>(temp.fileName());
            break;
        case Format::Xlsx:
            writer = std::make_unique<XlsxWriter>(temp.fileName());
            break;
        case Format::Sav:
            writer = std::make_unique<SavWriter>(temp.fileName());
            break;
        }
        if (const QString e = writer->begin(cols, total, widths); !e.isEmpty())
            return notWritten(e);

        QStringList select;
        for (const Column& c : cols)
            select << c.source;
        Subjects::Cursor q(select, group);
        // A CSV row is written here, from the cursor's bytes. The other formats' rows are read
        // here and written by a thread of their own, a few hundred apart: the format libraries'
        // work (number text, compression) overlaps the reading.
        auto* csv = dynamic_cast<CsvWriter*>(writer.get());
        RowPipe pipe;
        std::thread writing;
        if (!csv)
            writing = std::thread([&pipe, &writer] { pipe.drain(*writer); });
        QString writeError;
        bool stopped = false;
        while (q.next()) {
            if (csv) {
                if (writeError = csv->row(q, int(cols.size())); !writeError.isEmpty())
                    break;
            } else {
                QStringList values;
                values.reserve(cols.size());
                for (int c = 0; c < int(cols.size()); ++c)
                    values << q.value(c).toString();
                if (!pipe.put(values))
                    break; // the writer failed
            }
            ++result.rows;
            if (result.rows % 256 != 0)
                continue;
            if (progress && !progress(result.rows, total)) {
                stopped = true;
                break;
            }
        }
        const QString readError = q.failure();
        if (!csv)
            writeError = pipe.close(writing);
        if (stopped) {
            result.cancelled = true;
            return result;
        }
        if (!writeError.isEmpty())
            return notWritten(writeError);
        if (!readError.isEmpty())
            return failed(readError);
        if (const QString e = writer->end(); !e.isEmpty())
            return notWritten(e);
        result.cut = writer->cut;
        writer.reset();
        // A temporary file is its owner's alone; the export holds patients' data, so it gets
        // no more than the user's umask allows, or the mode of the file it replaces.
        ::chmod(QFile::encodeName(temp.fileName()).constData(), exportMode(path));
        // The whole file takes its name in one step (over an older one of that name).
        if (std::rename(QFile::encodeName(temp.fileName()).constData(),
                        QFile::encodeName(path).constData()) != 0)
            return notWritten(QString::fromLocal8Bit(std::strerror(errno)));
        temp.setAutoRemove(false);
        if (progress)
            progress(result.rows, total);
    } catch (const DataError& e) {
        return failed(e.message());
    }
    return result;
}

} // namespace Export
