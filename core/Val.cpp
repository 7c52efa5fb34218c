#include "core/Val.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace {

bool skipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}
bool digit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

double Val(QStringView text) {
    // Collect the significant characters of the longest prefix that forms a number.
    std::string number;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto next = [&]() -> QChar {
        while (i < n && skipped(text[i]))
            ++i;
        return i < n ? text[i] : QChar();
    };

    QChar c = next();
    if (c == u'+' || c == u'-') {
        number += char(c.unicode());
        ++i;
        c = next();
    }
    bool point = false;
    bool digits = false;
    while (digit(c) || (c == u'.' && !point)) {
        if (c == u'.')
            point = true;
        else
            digits = true;
        number += char(c.unicode());
        ++i;
        c = next();
    }
    if (!digits)
        return 0;

    if (c == u'e' || c == u'E') {
        const qsizetype mark = i;
        std::string exponent = "e";
        ++i;
        c = next();
        if (c == u'+' || c == u'-') {
            exponent += char(c.unicode());
            ++i;
            c = next();
        }
        bool expDigits = false;
        while (digit(c)) {
            expDigits = true;
            exponent += char(c.unicode());
            ++i;
            c = next();
        }
        if (expDigits)
            number += exponent;
        else
            i = mark;
    }

    double value = 0;
    const char* first = number.data();
    if (*first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, number.data() + number.size(), value);
    if (ec != std::errc() || !std::isfinite(value))
        return 0;
    return value;
}

QString NumberText(double value) {
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    const int wholeDigits = std::max(1, int(std::floor(std::log10(std::fabs(value)))) + 1);
    QString text = QString::number(value, 'f', std::max(0, 15 - wholeDigits));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}
