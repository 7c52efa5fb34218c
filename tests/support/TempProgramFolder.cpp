#include "tests/support/TempProgramFolder.h"

#include "data/Server.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QWidget>

namespace {

QString serverSocket() {
    static const QString socket = [] {
        QFile state(qEnvironmentVariable("VORN_TEST_SUITE_SERVER"));
        if (state.fileName().isEmpty())
            return QString();
        if (!state.open(QIODevice::ReadOnly))
            qFatal("the test run's server is not started (%s)", qPrintable(state.fileName()));
        return QString::fromUtf8(state.readAll()).trimmed();
    }();
    return socket;
}

// A connection of the server's administrator to one of its databases, not yet open.
QSqlDatabase addServerConnection(const QString& name, const QString& database) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(serverSocket());
    db.setDatabaseName(database);
    db.setUserName(QStringLiteral("postgres"));
    return db;
}

// CREATE or DROP DATABASE, as the server's administrator.
void administer(const QString& sql) {
    {
        QSqlDatabase db =
            addServerConnection(QStringLiteral("suite-administrator"), QStringLiteral("postgres"));
        if (!db.open())
            qFatal("the test run's server: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("suite-administrator"));
}

} // namespace

bool suiteOnServer() {
    return !serverSocket().isEmpty();
}

TempProgramFolder::TempProgramFolder(Kind kind) : platform(dir_.path()) {
    const QDir skins(QStringLiteral(VORN_SKIN_DIR));
    for (const QString& name : skins.entryList({QStringLiteral("*.skn")}, QDir::Files))
        QFile::copy(skins.filePath(name), QDir(dir_.path()).filePath(name));
    if (kind == Kind::File || !suiteOnServer())
        return;
    static int made = 0;
    serverDatabase_ =
        QStringLiteral("vorn_suite_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    administer(QStringLiteral("CREATE DATABASE ") + serverDatabase_);
    ServerSettings s;
    s.host = serverSocket();
    s.database = serverDatabase_;
    s.user = QStringLiteral("postgres");
    s.sslMode = QStringLiteral("disable");
    if (const QString error = Server::write(path(), s); !error.isEmpty())
        qFatal("%s", qPrintable(error));
}

TempProgramFolder::~TempProgramFolder() {
    Database::close();
    if (onServer())
        administer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(serverDatabase_));
}

Database::OpenResult TempProgramFolder::openDatabase() {
    return Database::open(path());
}

QSqlDatabase TempProgramFolder::openAnother(const QString& connectionName) const {
    QSqlDatabase db;
    if (onServer()) {
        db = addServerConnection(connectionName, serverDatabase_);
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(databasePath());
    }
    db.open();
    return db;
}

void refuseWrites(const char* event, const char* table) {
    QSqlQuery q(Database::connection());
    const QString sql =
        Database::kind() == Database::Kind::Server
            ? QStringLiteral(
                  "CREATE FUNCTION vorn_test_refuse() RETURNS trigger LANGUAGE plpgsql AS "
                  "$$BEGIN RAISE EXCEPTION 'locked'; END$$; "
                  "CREATE TRIGGER keep BEFORE %1 ON \"%2\" FOR EACH ROW "
                  "EXECUTE FUNCTION vorn_test_refuse()")
            : QStringLiteral("CREATE TRIGGER keep BEFORE %1 ON \"%2\" "
                             "BEGIN SELECT RAISE(ABORT, 'locked'); END");
    if (!q.exec(sql.arg(QString::fromLatin1(event), QString::fromLatin1(table))))
        qFatal("%s", qPrintable(q.lastError().text()));
}

void allowWrites(const char* table) {
    QSqlQuery q(Database::connection());
    const bool done =
        Database::kind() == Database::Kind::Server
            ? q.exec(QStringLiteral("DROP TRIGGER keep ON \"%1\"; DROP FUNCTION vorn_test_refuse()")
                         .arg(QString::fromLatin1(table)))
            : q.exec(QStringLiteral("DROP TRIGGER keep"));
    if (!done)
        qFatal("%s", qPrintable(q.lastError().text()));
}

void pressThroughAccessibility(QWidget* button) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(button);
    QVERIFY(a && a->actionInterface());
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

void deleteAllWindows() {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!w->parentWidget())
            windows << w;
    for (const QPointer<QWidget>& w : windows)
        delete w.data();
}
