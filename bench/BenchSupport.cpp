#include "bench/BenchSupport.h"

#include "data/Content.h"
#include "data/Database.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace Bench {

void addSubjects(int count, bool firstMovedLast) {
    // Past a block, the first block is copied under new codes by SQLite itself: a million
    // subjects in seconds.
    constexpr int Block = 100000;
    if (count > Block && !firstMovedLast && count % Block == 0) {
        addSubjects(Block);
        Database::Transaction all;
        QSqlQuery q(Database::connection());
        for (int k = 1; k < count / Block; ++k)
            for (const char* table : {"ide", "Answer"}) {
                QStringList fields = Tables::byName(QString::fromLatin1(table)).fields;
                fields.removeFirst(); // Code
                Database::exec(q, QStringLiteral("INSERT INTO %1 SELECT CAST(CAST(\"Code\" AS "
                                                 "INTEGER) + %2 AS TEXT), %3 FROM %1 WHERE rowid "
                                                 "<= %4")
                                      .arg(QString::fromLatin1(table))
                                      .arg(qint64(k) * Block)
                                      .arg(Database::quotedList(fields))
                                      .arg(Block));
            }
        all.commit();
        return;
    }
    const QStringList first{QStringLiteral("مریم"), QStringLiteral("علی"), QStringLiteral("سارا"),
                            QStringLiteral("رضا"), QStringLiteral("نگار")};
    const QStringList last{QStringLiteral("احمدی"), QStringLiteral("کریمی"),
                           QStringLiteral("رحیمی"), QStringLiteral("توکلی")};
    Database::Transaction transaction;
    QSqlQuery ide(Database::connection());
    ide.prepare(QStringLiteral(
        "INSERT INTO ide (Code, FName, LName, Jens, Sen, Taahol, Tahsil, \"Group\", Date, Time, "
        "KHalaghiyat, Balidagi, Taahod) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    QString answerSql = QStringLiteral("INSERT INTO Answer VALUES (?");
    for (int i = 0; i < 33; ++i)
        answerSql += QStringLiteral(",?");
    QSqlQuery answer(Database::connection());
    answer.prepare(answerSql + QLatin1Char(')'));
    for (int n = 1; n <= count; ++n) {
        const int code = firstMovedLast ? n % count + 1 : n;
        const QStringList values{QString::number(code),
                                 first[code % first.size()],
                                 last[code % last.size()] + QString::number(code % 997),
                                 code % 2 ? QStringLiteral("زن") : QStringLiteral("مرد"),
                                 QString::number(18 + code % 60),
                                 code % 3 ? QStringLiteral("مجرد") : QStringLiteral("متأهل"),
                                 QStringLiteral("کارشناسی"),
                                 QString(QChar(u'A' + code % 7)),
                                 QStringLiteral("1403/%1/%2")
                                     .arg(1 + code % 12, 2, 10, QLatin1Char('0'))
                                     .arg(1 + code % 28, 2, 10, QLatin1Char('0')),
                                 QStringLiteral("10:%1:00").arg(code % 60, 2, 10, QLatin1Char('0')),
                                 QStringLiteral("3.18"),
                                 QStringLiteral("2.44"),
                                 QStringLiteral("4.07")};
        for (const QString& v : values)
            ide.addBindValue(v);
        Database::exec(ide);
        answer.addBindValue(QString::number(code));
        for (int item = 1; item <= 33; ++item)
            answer.addBindValue(QString::number(1 + (code + item) % 5));
        Database::exec(answer);
    }
    transaction.commit();
}

double medianMs(int runs, const std::function<void()>& step) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double peakMemoryMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

bool report(const QString& what, double value, const QString& unit, double goal) {
    if (goal <= 0) {
        std::printf("%-58s %10.2f %-3s (no goal)\n", qPrintable(what), value, qPrintable(unit));
        return true;
    }
    const bool met = value <= goal;
    std::printf("%-58s %10.2f %-3s goal <= %-8g %s\n", qPrintable(what), value, qPrintable(unit),
                goal, met ? "met" : "NOT MET");
    std::fflush(stdout);
    return met;
}

} // namespace Bench
