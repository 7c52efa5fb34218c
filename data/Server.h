#pragma once

#include <QString>
#include <optional>

// A PostgreSQL server that holds the clinic's database instead of the file, named by the
// connection file DBVORN/server.conf in the program folder. The password is never kept there:
// the server's client library reads it from the user's password file (~/.pgpass).
struct ServerSettings {
    QString host;
    int port = 5432;
    QString database;
    QString user;
    QString sslMode =
        QStringLiteral("prefer"); // disable, allow, prefer, require, verify-ca, verify-full
    bool operator==(const ServerSettings&) const = default;
};

namespace Server {

QString settingsPath(const QString& programFolder);

struct Read {
    std::optional<ServerSettings> settings; // none: no connection file, the file is used
    QString error;                          // Persian: why the connection file cannot be used
};
Read read(const QString& programFolder);
// Puts the connection file aside under a new name (never over another file), so that the
// program uses the file on this computer; the new path, or empty when it could not be renamed.
QString setAside(const QString& programFolder);
// Writes the connection file whole or not at all; the error text, or empty.
QString write(const QString& programFolder, const ServerSettings& settings);

} // namespace Server
