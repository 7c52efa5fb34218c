#include "data/Module7.h"

#include <QLocale>
#include <array>

namespace Module7 {

namespace {

const QDate kEpoch(1953, 3, 21);

const std::array<const char*, 12> kMonths{"فروردين", "ارديبهشت", "خرداد", "تير", "مرداد", "شهريور",
                                          "مهر",     "آبان",     "آذر",   "دي",  "بهمن",  "اسفند"};

// Sunday first.
const std::array<const char*, 7> kWeekdays{"يکشنبه",  "دوشنبه", "سه شنبه", "چهارشنبه",
                                           "پنجشنبه", "جمعه",   "شنبه"};

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

bool IsSolarLeapYear(int year) {
    const int r = ((25 * year + 11) % 33 + 33) % 33;
    return r < 8;
}

std::optional<SolarDay> DayCountToSolar(qint64 dayNumber) {
    if (dayNumber < 0)
        return std::nullopt;
    int year = 1332;
    qint64 rest = dayNumber;
    for (;;) {
        const int length = IsSolarLeapYear(year) ? 366 : 365;
        if (rest - length < 0)
            break;
        ++year;
        rest -= length;
    }
    if (rest <= 185)
        return SolarDay{year, int(rest / 31 + 1), int(rest % 31 + 1)};
    rest -= 186;
    return SolarDay{year, int(rest / 30 + 7), int(rest % 30 + 1)};
}

QString SolarDate(const QDate& date, int mode) {
    if (!date.isValid())
        return {};
    const std::optional<SolarDay> solar = DayCountToSolar(kEpoch.daysTo(date));
    if (!solar)
        return {};
    const QString year = QString::number(solar->year);
    const QString month = QString::number(solar->month);
    const QString day = QString::number(solar->day);
    const QString monthName = text(kMonths[size_t(solar->month - 1)]);
    const QString weekday = text(kWeekdays[size_t(date.dayOfWeek() % 7)]); // Qt: Monday 1
    const QLatin1Char blank(' ');
    switch (mode) {
    case 0:
        return QStringLiteral("%1/%2/%3")
            .arg(year)
            .arg(solar->month, 2, 10, QLatin1Char('0'))
            .arg(solar->day, 2, 10, QLatin1Char('0'));
    case 1:
        return day + blank + monthName + blank + year;
    case 2:
        return weekday + blank + year + QLatin1Char('/') + month + QLatin1Char('/') + day;
    case 3:
        return weekday + blank + day + blank + monthName + blank + year;
    case 4:
        return year + QLatin1Char('.') + month + QLatin1Char('.') + day;
    default:
        return {};
    }
}

QString ClockText(const QTime& time) {
    QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s'))) {
        const qsizetype minutes = format.indexOf(QStringLiteral("mm"));
        if (minutes >= 0)
            format.insert(minutes + 2, QStringLiteral(":ss"));
        else
            format = QStringLiteral("HH:mm:ss");
    }
    // Stored text keeps the digits 0 to 9 whatever the locale writes.
    return time.toString(format);
}

} // namespace Module7
