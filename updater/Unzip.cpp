#include "updater/Unzip.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <memory>
#include <zip.h>

namespace {

class Session {
public:
    Session(const DCL& options, const USERFUNCTIONS& callbacks, qint64 maxTotal)
        : o(options), f(callbacks), totalLimit(maxTotal) {}

    int run() {
        int error = 0;
        zip_t* archive = zip_open(o.lpszZipFN ? o.lpszZipFN : "", ZIP_RDONLY, &error);
        if (!archive) {
            print(QStringLiteral("cannot open zipfile %1\n").arg(QString::fromUtf8(o.lpszZipFN)));
            return error == ZIP_ER_INCONS || error == ZIP_ER_READ || error == ZIP_ER_CRC
                       ? UnzipResult::BadError
                       : UnzipResult::NoZip;
        }
        std::unique_ptr<zip_t, void (*)(zip_t*)> closer(archive, zip_discard);
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        // Entries that share their compressed data (a "bomb") declare more data than the
        // archive holds.
        const qint64 archiveSize = QFileInfo(QString::fromUtf8(o.lpszZipFN)).size();
        qint64 declared = 0;
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t st;
            if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) == 0)
                declared += qint64(st.comp_size) + 30; // each has a local header of 30 bytes
        }
        if (declared > archiveSize) {
            print(QStringLiteral("error:  %1: entries overlap (their data would take %2 bytes of "
                                 "%3); nothing extracted\n")
                      .arg(QString::fromUtf8(o.lpszZipFN))
                      .arg(declared)
                      .arg(archiveSize));
            return UnzipResult::BadError;
        }
        limit = totalLimit > 0 ? totalLimit : std::max<qint64>(64 << 20, 100 * archiveSize);
        base =
            QDir(QString::fromUtf8(o.lpszExtractDir && *o.lpszExtractDir ? o.lpszExtractDir : "."))
                .absolutePath();
        for (zip_int64_t i = 0; i < count && result != UnzipResult::Cancelled && !stopped; ++i)
            member(archive, zip_uint64_t(i));
        if (done == 0 && badPasswords > 0)
            return UnzipResult::BadPassword;
        return result;
    }

private:
    void print(const QString& text) {
        if (!f.print)
            return;
        const QByteArray bytes = text.toUtf8();
        f.print(bytes.constData(), bytes.size());
    }

    void worse(int code) { result = std::max(result, code); }

    void list(const zip_stat_t& st, const QString& name) {
        if (!f.SendApplicationMessage)
            return;
        const QDateTime when = QDateTime::fromSecsSinceEpoch(st.mtime);
        const unsigned factor =
            st.size > 0 ? unsigned(100 - std::min<zip_uint64_t>(100, st.comp_size * 100 / st.size))
                        : 0;
        const QByteArray bytes = name.toUtf8();
        f.SendApplicationMessage(st.size, st.comp_size, factor, unsigned(when.date().month()),
                                 unsigned(when.date().day()), unsigned(when.date().year()),
                                 unsigned(when.time().hour()), unsigned(when.time().minute()), ' ',
                                 bytes.constData(), st.comp_method ? "Defl:N" : "Stored", st.crc,
                                 st.encryption_method != ZIP_EM_NONE ? 'E' : ' ');
    }

    // A member name that would land outside the extraction folder is refused.
    QString target(QString name) const {
        if (o.SpaceToUnderscore)
            name.replace(QLatin1Char(' '), QLatin1Char('_'));
        if (!o.ndflag)
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
        if (o.nvflag)
            return;
        if (tooLong) {
            print(QStringLiteral("warning:  skipped a member whose name is %1 bytes long\n")
                      .arg(raw.size()));
            worse(UnzipResult::Warning);
            return;
        }
        if (f.ServCallBk && f.ServCallBk(st.name, st.size) != 0) {
            result = UnzipResult::Cancelled;
            return;
        }
        const bool folder = name.endsWith(QLatin1Char('/'));
        if (folder && !o.ndflag)
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
            if (!o.ntflag)
                QDir().mkpath(path);
            return;
        }
        if (!o.ntflag && !o.ncflag && !mayWrite(path, name, st))
            return;

        zip_file_t* file = nullptr;
        if (st.encryption_method != ZIP_EM_NONE) {
            char password[81] = {};
            const QByteArray raw = name.toUtf8();
            if (!f.password ||
                f.password(password, sizeof password, "Enter password: ", raw.constData()) != 0) {
                print(QStringLiteral("   skipping: %1  unable to get password\n").arg(name));
                ++badPasswords;
                worse(UnzipResult::Warning);
                return;
            }
            file = zip_fopen_index_encrypted(archive, index, 0, password);
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
            return !o.nfflag; // freshen: only files already there
        if (noneMore)
            return false;
        if ((o.ExtractOnlyNewer || o.nfflag) &&
            existing.lastModified() >= QDateTime::fromSecsSinceEpoch(st.mtime))
            return false;
        if (o.noflag || overwriteAll)
            return true;
        if (!o.PromptToOverwrite || !f.replace)
            return false;
        const QByteArray raw = name.toUtf8();
        switch (f.replace(raw.constData())) {
        case ReplaceAnswer::Yes:
            return true;
        case ReplaceAnswer::All:
            overwriteAll = true;
            return true;
        case ReplaceAnswer::None:
            noneMore = true;
            return false;
        default:
            return false;
        }
    }

    void copy(zip_file_t* file, const QString& path, const QString& name, const zip_stat_t& st) {
        QSaveFile out(path);
        const bool writing = !o.ntflag && !o.ncflag;
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
            if (o.naflag) {
                QByteArray converted;
                for (char c : piece) {
                    if (c == '\n' && last != '\r')
                        converted += '\r';
                    converted += c;
                    last = c;
                }
                piece = converted;
            }
            if (o.ncflag)
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
        } else if (o.ntflag) {
            print(QStringLiteral("    testing: %1   OK\n").arg(name));
        }
        ++done;
    }

    const DCL& o;
    const USERFUNCTIONS& f;
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

void fill(char* field, size_t size, const char* text) {
    std::memset(field, ' ', size);
    std::memcpy(field, text, std::min(size - 1, std::strlen(text)));
    field[size - 1] = '\0';
}

} // namespace

void UzpVersion2(UzpVer2* version) {
    if (!version)
        return;
    version->structlen = sizeof(UzpVer2);
    version->flag = 0;
    fill(version->betalevel, sizeof version->betalevel, "");
    fill(version->date, sizeof version->date, "");
    fill(version->zlib_version, sizeof version->zlib_version, zip_libzip_version());
    const unsigned char ours[4] = {6, 0, 0, 0};
    std::memcpy(version->unzip, ours, 4);
    std::memcpy(version->zipinfo, ours, 4);
    std::memset(version->os2dll, 0, 4);
    std::memset(version->windll, 0, 4);
}

int Wiz_SingleEntryUnzip(int ifnc, char** ifnv, int xfnc, char** xfnv, DCL* options,
                         USERFUNCTIONS* callbacks, long long maxTotalBytes) {
    Q_UNUSED(ifnv);
    Q_UNUSED(xfnv);
    if (!options || !callbacks || ifnc != 0 || xfnc != 0)
        return UnzipResult::Param;
    return Session(*options, *callbacks, maxTotalBytes).run();
}
