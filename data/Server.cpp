#include "data/Server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <unistd.h>

namespace {

const QStringList kSslModes{"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};

} // namespace

namespace Server {

QString settingsPath(const QString& programFolder) {
    return QDir(programFolder).filePath(QStringLiteral("DBVORN/server.conf"));
}

// One "name = value" a line; blank lines and lines starting with # are notes.
Read read(const QString& programFolder) {
    const QString path = settingsPath(programFolder);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    Read result;
    const QString where = QDir::toNativeSeparators(path);
    QFile f(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly | QIODevice::Text) || f.size() > 65536) {
        result.error = QString::fromUtf8("پروندهٔ اتصال به سرور خوانده نشد: %1").arg(where);
        return result;
    }
    ServerSettings s;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString name = line.left(eq).trimmed().toLower();
        const QString value = eq < 0 ? QString() : line.mid(eq + 1).trimmed();
        bool ok = true;
        if (name.contains(QLatin1String("pass"))) {
            // Its value is never shown: the password belongs in the user's ~/.pgpass.
            result.error =
                QString::fromUtf8(
                    "در پروندهٔ اتصال به سرور (%1) گذرواژه نوشته شده است. گذرواژه "
                    "جای آن نیست: آن سطر را بردارید و گذرواژه را در پروندهٔ ‎~/.pgpass‎ "
                    "کاربری که VORN را اجرا می‌کند بنویسید (با دسترسی 600).")
                    .arg(where);
            return result;
        }
        if (name == QLatin1String("host"))
            s.host = value;
        else if (name == QLatin1String("port"))
            s.port = value.toInt(&ok);
        else if (name == QLatin1String("database"))
            s.database = value;
        else if (name == QLatin1String("user"))
            s.user = value;
        else if (name == QLatin1String("sslmode"))
            s.sslMode = value;
        else
            ok = false;
        if (!ok || s.port < 1 || s.port > 65535 || !kSslModes.contains(s.sslMode)) {
            result.error =
                QString::fromUtf8("پروندهٔ اتصال به سرور درست نیست (%1): «%2»").arg(where, line);
            return result;
        }
    }
    if (s.host.isEmpty() || s.database.isEmpty() || s.user.isEmpty()) {
        result.error =
            QString::fromUtf8("در پروندهٔ اتصال به سرور (%1) نشانی سرور، نام پایگاه داده یا نام "
                              "کاربر نیامده است.")
                .arg(where);
        return result;
    }
    result.settings = s;
    return result;
}

QString setAside(const QString& programFolder) {
    const QString path = settingsPath(programFolder);
    for (int n = 1; n < 1000; ++n) {
        const QString aside =
            path + (n == 1 ? QStringLiteral(".off") : QStringLiteral(".off%1").arg(n));
        if (QFileInfo::exists(aside) || QFileInfo(aside).isSymLink())
            continue;
        // link and unlink: the new name is never one that appeared meanwhile
        if (::link(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0)
            return {};
        return QFile::remove(path) ? aside : QString();
    }
    return {};
}

QString write(const QString& programFolder, const ServerSettings& s) {
    for (const QString& value : {s.host, s.database, s.user, s.sslMode})
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) ||
            value.trimmed() != value || value.isEmpty())
            return QString::fromUtf8(
                "نشانی سرور، نام پایگاه داده و نام کاربر باید هر کدام یک سطر باشند، بی "
                "فاصله در آغاز و پایان.");
    if (!kSslModes.contains(s.sslMode) || s.port < 1 || s.port > 65535)
        return QString::fromUtf8("درگاه یا حالت رمزگذاری درست نیست.");
    const QString path = settingsPath(programFolder);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QString::fromUtf8("پوشهٔ %1 ساخته نشد.")
            .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return f.errorString();
    const QString text = QStringLiteral("# VORN: the clinic's database on a PostgreSQL server.\n"
                                        "# The password is kept in the user's ~/.pgpass.\n"
                                        "host = %1\nport = %2\ndatabase = %3\nuser = %4\n"
                                        "sslmode = %5\n")
                             .arg(s.host, QString::number(s.port), s.database, s.user, s.sslMode);
    f.write(text.toUtf8());
    if (!f.commit())
        return f.errorString();
    return {};
}

} // namespace Server
