#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <optional>

// Persian (solar) calendar dates, counted in days from 21 March 1953 = 1 Farvardin 1332.
namespace Module7 {

struct SolarDay {
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const SolarDay&) const = default;
};

// The 33-year arithmetic rule: never two leap years in a row.
bool IsSolarLeapYear(int year);

// Day 0 is 1332/01/01; a negative day number has no Persian date here.
std::optional<SolarDay> DayCountToSolar(qint64 dayNumber);

// Modes: 0 "1402/05/09", 1 "9 مرداد 1402", 2 "دوشنبه 1402/5/9", 3 "دوشنبه 9 مرداد 1402",
// 4 "1402.5.9". Any other mode, or a date before the epoch, gives an empty text.
QString SolarDate(const QDate& date, int mode = 0);

// The time of day in the system's regional format, always with seconds (14:05:09, 2:05:09 PM).
QString ClockText(const QTime& time);

} // namespace Module7
