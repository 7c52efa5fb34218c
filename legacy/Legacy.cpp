#include "legacy/Legacy.h"

#include "data/Database.h"
#include "data/Module7.h"
#include "shell/seams/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace Legacy {

namespace {

// The reason the helper gave, in the user's words.
QString reason(const QString& why) {
    const QStringList part = why.split(QLatin1Char(' '));
    if (part[0] == QLatin1String("unreadable"))
        return QString::fromUtf8("پایگاه دادهٔ Jet یا ACE خوانا نیست");
    if (part[0] == QLatin1String("foreign"))
        return QString::fromUtf8(
            "جدول‌های ide، Answer، QUS و Theme در آن نیست: پایگاه دادهٔ برنامهٔ دیگری است");
    if (part[0] == QLatin1String("columns") && part.size() >= 3)
        return QString::fromUtf8("جدول %1 ستون %2 را ندارد (یا نوع آن متن نیست)")
            .arg(part[1], part[2]);
    if (part[0] == QLatin1String("damaged") && part.size() >= 2)
        return QString::fromUtf8("پرونده آسیب دیده است: جدول %1 خوانده نشد").arg(part[1]);
    if (part[0] == QLatin1String("write"))
        return QString::fromUtf8("پایگاه دادهٔ تازه نوشته نشد (%1)").arg(why.mid(6));
    return why;
}

QString summaryOf(const QStringList& lines) {
    QString subjects, answers, scores;
    QStringList ignored, duplicates;
    int themes = 0;
    for (const QString& line : lines) {
        const QString value = line.section(QLatin1Char(' '), 1);
        const QString key = line.section(QLatin1Char(' '), 0, 0);
        if (key == QLatin1String("subjects"))
            subjects = value;
        else if (key == QLatin1String("answers"))
            answers = value;
        else if (key == QLatin1String("scores"))
            scores = value;
        else if (key == QLatin1String("themes"))
            themes = value.toInt();
        else if (key == QLatin1String("ignored"))
            ignored << value;
        else if (key == QLatin1String("duplicate"))
            duplicates << value;
    }
    QString text =
        QString::fromUtf8(
            "از پایگاه دادهٔ برنامهٔ پیشین آورده شد: %1 آزمودنی، %2 ردیف پاسخ و نمره‌های "
            "%3 آزمودنی، همه همان‌گونه که بودند.")
            .arg(subjects, answers, scores);
    if (!ignored.isEmpty())
        text += QLatin1Char('\n') +
                QString::fromUtf8(
                    "جدول‌های %1 از VORN نیستند و آورده نشدند.")
                    .arg(ignored.join(QStringLiteral("، ")));
    if (themes > 1)
        text +=
            QLatin1Char('\n') +
            QString::fromUtf8("جدول Theme %1 ردیف داشت؛ تنها ردیف نخست نگه داشته شد، "
                              "همان که برنامهٔ پیشین به کار می‌برد.")
                .arg(themes);
    if (!duplicates.isEmpty())
        text += QLatin1Char('\n') +
                QString::fromUtf8("این کدها را بیش از یک آزمودنی دارد و همه نگه داشته شدند؛ "
                                  "آن‌ها را از هم جدا کنید: %1")
                    .arg(duplicates.join(QStringLiteral("، ")));
    return text;
}

} // namespace

bool isEarlierFormat(const QString& path) {
    // Only a regular file is read: opening a FIFO would wait for a writer.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    return head.size() == 20 && head.startsWith(QByteArray("\0\1\0\0", 4)) &&
           (head.mid(4) == QByteArray("Standard Jet DB\0", 16) ||
            head.mid(4) == QByteArray("Standard ACE DB\0", 16));
}

Conversion convert(const QString& source, const QString& target, const Helper& helper) {
    Conversion result;
    const QString named = QDir::toNativeSeparators(source);
    auto refused = [&](const QString& why) {
        QFile::remove(target);
        result.problem =
            QString::fromUtf8("پایگاه دادهٔ برنامهٔ پیشین (%1) به VORN آورده نشد: %2. چیزی تغییر "
                              "نکرد.")
                .arg(named, why);
        return result;
    };
    QFile::remove(target);
    const QString program =
        helper.program.isEmpty()
            ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("VORNimport"))
            : helper.program;
    // A minute, and a second more for every megabyte: the helper reads some ten a second.
    const int seconds =
        helper.seconds > 0 ? helper.seconds : 60 + int(QFileInfo(source).size() >> 20);
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardErrorFile(QProcess::nullDevice());
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            loop.quit();
    });
    process.start(program, {source, target});
    limit.start(seconds * 1000);
    if (process.state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (process.error() == QProcess::FailedToStart)
        return refused(QString::fromUtf8("برنامهٔ کمکی %1 اجرا نشد (%2)")
                           .arg(QDir::toNativeSeparators(program), process.errorString()));
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return refused(QString::fromUtf8("خواندن آن در %1 ثانیه به پایان نرسید").arg(seconds));
    }
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (process.exitStatus() != QProcess::NormalExit)
        return refused(
            QString::fromUtf8("برنامهٔ کمکی خواندن آن هنگام کار از کار افتاد؛ پرونده احتمالاً آسیب "
                              "دیده است"));
    if (process.exitCode() != 0) {
        const QString line = lines.isEmpty() ? QString() : lines.last();
        return refused(
            line.startsWith(QLatin1String("refused "))
                ? reason(line.mid(8))
                : QString::fromUtf8("برنامهٔ کمکی با کد %1 پایان یافت").arg(process.exitCode()));
    }
    // Whatever the helper wrote is judged like any other file before it is used.
    if (const QString problem = Database::checkFile(target); !problem.isEmpty())
        return refused(problem);
    result.summary = summaryOf(lines);
    return result;
}

Conversion bringIn(const QString& programFolder, const Helper& helper) {
    const QString database = Database::filePath(programFolder);
    const QFileInfo info(database);
    const QString temp = info.absoluteDir().filePath(QStringLiteral(".DBVORN-import.mdb"));
    Conversion result = convert(database, temp, helper);
    if (!result.problem.isEmpty())
        return result;
    // The original keeps its bytes under a name of its own: a link, so nothing is copied and
    // nothing is overwritten (the call fails when the name is taken, and the next is tried).
    const QString stem =
        QStringLiteral("DBVORN-earlier-") + Module7::SolarDate(Platform::get().now().date())
                                                .replace(QLatin1Char('/'), QLatin1Char('-'));
    QString kept;
    for (int n = 1; n < 1000 && kept.isEmpty(); ++n) {
        const QString name = info.absoluteDir().filePath(
            stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".mdb"));
        if (::link(QFile::encodeName(database).constData(), QFile::encodeName(name).constData()) ==
                0 ||
            (errno != EEXIST && QFile::copy(database, name)))
            kept = name;
    }
    if (kept.isEmpty() || std::rename(QFile::encodeName(temp).constData(),
                                      QFile::encodeName(database).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temp);
        if (!kept.isEmpty())
            QFile::remove(kept);
        result.summary.clear();
        result.problem =
            QString::fromUtf8(
                "پایگاه دادهٔ برنامهٔ پیشین (%1) به VORN آورده نشد: پرونده‌ها در پوشهٔ "
                "DBVORN جابه‌جا نشدند (%2). چیزی تغییر نکرد.")
                .arg(QDir::toNativeSeparators(database), why);
        return result;
    }
    result.summary +=
        QLatin1Char('\n') +
        QString::fromUtf8(
            "پروندهٔ برنامهٔ پیشین دست‌نخورده با نام %1 کنار آن ماند.")
            .arg(QDir::toNativeSeparators(kept));
    return result;
}

} // namespace Legacy
