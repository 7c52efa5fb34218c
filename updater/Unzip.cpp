#include "Unzip.h"

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
    Session(const DCL& options, const USERFUNCTIONS& callbacks) : o(options), f(callbacks) {}

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
        base =
            QDir(QString::fromUtf8(o.lpszExtractDir && *o.lpszExtractDir ? o.lpszExtractDir : "."))
                .absolutePath();
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        for (zip_int64_t i = 0; i < count && result != UnzipResult::Cancelled; ++i)
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
        if (o.nvflag)
            return;
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
        for (;;) {
            const zip_int64_t n = zip_fread(file, buffer.data(), zip_uint64_t(buffer.size()));
            if (n < 0) {
                const int code = zip_error_code_zip(zip_file_get_error(file));
                print(QStringLiteral("error:  %1: %2\n")
                          .arg(name, QString::fromUtf8(zip_file_strerror(file))));
                const bool password = st.encryption_method != ZIP_EM_NONE &&
                                      (code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_CRC);
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
                         USERFUNCTIONS* callbacks) {
    Q_UNUSED(ifnv);
    Q_UNUSED(xfnv);
    if (!options || !callbacks || ifnc != 0 || xfnc != 0)
        return UnzipResult::Param;
    return Session(*options, *callbacks).run();
}
