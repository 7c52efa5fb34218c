#include "updater/CGUnzipFiles.h"

#include "shell/seams/Dialogs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <memory>
#include <new>
#include <zip.h>

namespace {

// Blank-filled to a width, text placed from a column (counted from 1).
void place(QString& line, int column, const QString& text) {
    line.replace(column - 1, text.size(), text);
}

QString lastDigits(unsigned value, int digits) {
    return QStringLiteral("%1").arg(value % (digits == 2 ? 100 : 10000), digits, 10,
                                    QLatin1Char('0'));
}

short sixteenBits(int value) {
    if (value < -32768 || value > 32767)
        throw UnzipError(6, QStringLiteral("Overflow"), QStringLiteral("CGUnZipFiles::Unzip"));
    return short(value);
}

} // namespace

// One extraction: the archive's members in order, each refused, skipped or written whole.
class Extraction {
public:
    explicit Extraction(CGUnzipFiles& unzip)
        : u(unzip), o(unzip.options_), totalLimit(unzip.options_.MaxTotalBytes) {}

    int run() {
        const QByteArray zipName = QFile::encodeName(u.zipFileName_);
        int error = 0;
        zip_t* archive = zip_open(zipName.constData(), ZIP_RDONLY, &error);
        if (!archive) {
            print(QStringLiteral("cannot open zipfile %1\n").arg(u.zipFileName_));
            return error == ZIP_ER_INCONS || error == ZIP_ER_READ || error == ZIP_ER_CRC
                       ? UnzipResult::BadError
                       : UnzipResult::NoZip;
        }
        std::unique_ptr<zip_t, void (*)(zip_t*)> closer(archive, zip_discard);
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        // Entries that share their compressed data (a "bomb") declare more data than the
        // archive holds.
        const qint64 archiveSize = QFileInfo(u.zipFileName_).size();
        qint64 declared = 0;
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t st;
            if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) == 0)
                declared += qint64(st.comp_size) + 30; // each has a local header of 30 bytes
        }
        if (declared > archiveSize) {
            print(QStringLiteral("error:  %1: entries overlap (their data would take %2 bytes of "
                                 "%3); nothing extracted\n")
                      .arg(u.zipFileName_)
                      .arg(declared)
                      .arg(archiveSize));
            return UnzipResult::BadError;
        }
        limit = totalLimit > 0 ? totalLimit : std::max<qint64>(64 << 20, 100 * archiveSize);
        base = QDir(u.extractDir_.isEmpty() ? QStringLiteral(".") : u.extractDir_).absolutePath();
        for (zip_int64_t i = 0; i < count && !stopped; ++i)
            member(archive, zip_uint64_t(i));
        if (done == 0 && badPasswords > 0)
            return UnzipResult::BadPassword;
        return result;
    }

private:
    // Everything printed is kept in one text that grows; a piece that begins with a line feed
    // is a line break.
    void print(const QString& text) {
        QString piece = text.size() > kPrintedAtMost ? text.left(kPrintedAtMost) : text;
        if (piece.startsWith(QLatin1Char('\n')))
            piece = QStringLiteral("\r\n");
        u.message_ += piece;
    }

    void worse(int code) { result = std::max(result, code); }

    void list(const zip_stat_t& st, const QString& name) {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(st.mtime);
        if (u.listed_ == 0)
            u.listing_ = CGUnzipFiles::ListingHeader() + QStringLiteral("\r\n");
        u.listing_ += CGUnzipFiles::ListingLine(
                          name, st.size, unsigned(when.date().month()), unsigned(when.date().day()),
                          unsigned(when.date().year()), unsigned(when.time().hour()),
                          unsigned(when.time().minute())) +
                      QStringLiteral("\r\n");
        ++u.listed_;
    }

    // A member name that would land outside the extraction folder is refused.
    QString target(QString name) const {
        if (o.SpaceToUnderScore)
            name.replace(QLatin1Char(' '), QLatin1Char('_'));
        if (!o.HonorDirectories)
            name = QFileInfo(name).fileName();
        if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')) ||
            (name.size() > 1 && name[1] == QLatin1Char(':')))
            return {};
        const QString path = QDir::cleanPath(base + QLatin1Char('/') + name);
        return path.startsWith(base + QLatin1Char('/')) ? path : QString();
    }

    void member(zip_t* archive, zip_uint64_t index) {
        zip_stat_t st;
        if (zip_stat_index(archive, index, 0, &st) != 0) {
            worse(UnzipResult::Error);
            return;
        }
        const QString name = QString::fromUtf8(st.name);
        list(st, name);
        // Before any path arithmetic: a name longer than a file system takes (4,096 bytes, 255
        // in one part) is refused, as Qt's path functions would cut it short.
        const QByteArray raw(st.name);
        const QList<QByteArray> parts = raw.split('/');
        const bool tooLong = raw.size() >= 4096 ||
                             std::any_of(parts.cbegin(), parts.cend(),
                                         [](const QByteArray& part) { return part.size() > 255; });
        if (o.ExtractList)
            return;
        if (tooLong) {
            print(QStringLiteral("warning:  skipped a member whose name is %1 bytes long\n")
                      .arg(raw.size()));
            worse(UnzipResult::Warning);
            return;
        }
        const bool folder = name.endsWith(QLatin1Char('/'));
        if (folder && !o.HonorDirectories)
            return;
        const QString path = target(name);
        if (path.isEmpty()) {
            print(
                QStringLiteral(
                    "warning:  skipped \"%1\": it would be written outside the extraction folder\n")
                    .arg(name));
            worse(UnzipResult::Warning);
            return;
        }
        if (folder) {
            if (!o.TestZip)
                QDir().mkpath(path);
            return;
        }
        if (!o.TestZip && !o.WriteToStdOut && !mayWrite(path, name, st))
            return;

        zip_file_t* file = nullptr;
        if (st.encryption_method != ZIP_EM_NONE) {
            QByteArray password;
            if (!askPassword(&password)) {
                print(QStringLiteral("   skipping: %1  unable to get password\n").arg(name));
                ++badPasswords;
                worse(UnzipResult::Warning);
                return;
            }
            file = zip_fopen_index_encrypted(archive, index, 0, password.constData());
            if (!file) {
                print(QStringLiteral("   skipping: %1  incorrect password\n").arg(name));
                ++badPasswords;
                worse(UnzipResult::Warning);
                return;
            }
        } else {
            file = zip_fopen_index(archive, index, 0);
        }
        if (!file) {
            print(QStringLiteral("error: cannot read %1: %2\n")
                      .arg(name, QString::fromUtf8(zip_strerror(archive))));
            worse(UnzipResult::Error);
            return;
        }
        std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> closer(file, zip_fclose);
        copy(file, path, name, st);
    }

    bool mayWrite(const QString& path, const QString& name, const zip_stat_t& st) {
        const QFileInfo existing(path);
        if (!existing.exists())
            return !o.ExtractNewer; // freshen: only files already there
        if (noneMore)
            return false;
        if ((o.ExtractOnlyNewer || o.ExtractNewer) &&
            existing.lastModified() >= QDateTime::fromSecsSinceEpoch(st.mtime))
            return false;
        if (o.OverWriteFiles || overwriteAll)
            return true;
        if (!o.PromptOverwrite)
            return false;
        switch (Dialogs::get().message(
            nullptr, QStringLiteral("Overwrite ") + name.left(256) + QLatin1Char('?'),
            QStringLiteral("VBUnZip32 - File Already Exists!"), Dialogs::Icon::Exclamation,
            Dialogs::Buttons::YesNoCancel, false)) {
        case Dialogs::Yes:
            return true;
        case Dialogs::No:
            return false;
        default:
            noneMore = true;
            return false;
        }
    }

    void copy(zip_file_t* file, const QString& path, const QString& name, const zip_stat_t& st) {
        QSaveFile out(path);
        const bool writing = !o.TestZip && !o.WriteToStdOut;
        if (writing) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (!out.open(QIODevice::WriteOnly)) {
                print(QStringLiteral("error:  cannot create %1\n").arg(path));
                worse(UnzipResult::Disk);
                return;
            }
        }
        QByteArray buffer(65536, Qt::Uninitialized);
        char last = 0;
        qint64 memberBytes = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(file, buffer.data(), zip_uint64_t(buffer.size()));
            if (n < 0) {
                const int code = zip_error_code_zip(zip_file_get_error(file));
                print(QStringLiteral("error:  %1: %2\n")
                          .arg(name, QString::fromUtf8(zip_file_strerror(file))));
                // A damaged member is an error even with the right password; only a refused
                // password counts as one.
                const bool password =
                    st.encryption_method != ZIP_EM_NONE && code == ZIP_ER_WRONGPASSWD;
                if (password)
                    ++badPasswords;
                else
                    worse(UnzipResult::Error);
                if (writing)
                    out.cancelWriting();
                return;
            }
            if (n == 0)
                break;
            // A member never yields more than it declares, and the whole extraction never
            // writes more than its limit.
            memberBytes += n;
            total += n;
            if (memberBytes > qint64(st.size) || total > limit) {
                print(memberBytes > qint64(st.size)
                          ? QStringLiteral("error:  %1: more data than the %2 bytes declared\n")
                                .arg(name)
                                .arg(st.size)
                          : QStringLiteral("error:  extraction stopped at %1 bytes written\n")
                                .arg(limit));
                worse(UnzipResult::Error);
                stopped = total > limit;
                if (writing)
                    out.cancelWriting();
                return;
            }
            QByteArray piece(buffer.constData(), qsizetype(n));
            if (o.ConvertCRtoCRLF) {
                QByteArray converted;
                for (char c : piece) {
                    if (c == '\n' && last != '\r')
                        converted += '\r';
                    converted += c;
                    last = c;
                }
                piece = converted;
            }
            if (o.WriteToStdOut)
                print(QString::fromUtf8(piece));
            else if (writing && out.write(piece) != piece.size()) {
                print(QStringLiteral("error:  writing %1: %2\n").arg(path, out.errorString()));
                worse(UnzipResult::Disk);
                out.cancelWriting();
                return;
            }
        }
        if (writing) {
            if (!out.commit()) {
                worse(UnzipResult::Disk);
                return;
            }
            QFile(path).setFileTime(QDateTime::fromSecsSinceEpoch(st.mtime),
                                    QFileDevice::FileModificationTime);
            print(QStringLiteral("  inflating: %1\n").arg(name));
        } else if (o.TestZip) {
            print(QStringLiteral("    testing: %1   OK\n").arg(name));
        }
        ++done;
    }

    // Asked once a member; an empty answer asks no more in this extraction.
    bool askPassword(QByteArray* password) {
        if (skipPassword)
            return false;
        const QString answer =
            Dialogs::get().input(nullptr, QStringLiteral("Please Enter The Password!"), QString());
        if (answer.isEmpty()) {
            skipPassword = true;
            return false;
        }
        *password = answer.toLatin1().left(80);
        return true;
    }

    static constexpr qsizetype kPrintedAtMost = 32801;
    CGUnzipFiles& u;
    const CGUnzipFiles::Options& o;
    bool skipPassword = false;
    QString base;
    int result = UnzipResult::Ok;
    int done = 0;
    int badPasswords = 0;
    bool overwriteAll = false;
    bool noneMore = false;
    qint64 totalLimit;
    qint64 limit = 0;
    qint64 total = 0;
    bool stopped = false;
};

int CGUnzipFiles::Unzip(const QString& sZipFileName, const QString& sExtractDir) {
    if (!sZipFileName.isEmpty())
        zipFileName_ = sZipFileName;
    if (!sExtractDir.isEmpty())
        extractDir_ = sExtractDir;
    message_.clear();
    listing_.clear();
    listed_ = 0;
    sixteenBits(options_.MessageLevel);
    sixteenBits(options_.ExtractList);
    sixteenBits(options_.Privilege);
    try {
        return Extraction(*this).run();
    } catch (const std::bad_alloc&) {
        throw UnzipError(7, QStringLiteral("Out of memory"), QStringLiteral("CGUnZipFiles::Unzip"));
    }
}

QString CGUnzipFiles::ListingHeader() {
    QString line(80, QLatin1Char(' '));
    place(line, 1, QStringLiteral("Filename:"));
    place(line, 53, QStringLiteral("Size"));
    place(line, 62, QStringLiteral("Date"));
    place(line, 71, QStringLiteral("Time"));
    return line;
}

QString CGUnzipFiles::ListingLine(const QString& name, unsigned long size, unsigned month,
                                  unsigned day, unsigned year, unsigned hour, unsigned minute) {
    QString line(80, QLatin1Char(' '));
    place(line, 1, name.left(50));
    place(line, 51, (QStringLiteral("        ") + QString::number(size)).right(7));
    place(line, 60,
          lastDigits(month, 2) + QLatin1Char('/') + lastDigits(day, 2) + QLatin1Char('/') +
              lastDigits(year, 2));
    place(line, 70, QStringLiteral("%1:").arg(hour % 100, 2, 10, QLatin1Char(' ')));
    place(line, 73, lastDigits(minute, 2));
    return line;
}
