#pragma once

#include <QString>

// The running program's version. The revision exists but is never shown or compared.
namespace Version {

inline constexpr auto Product = "VORN";
inline constexpr int Major = VORN_VERSION_MAJOR;
inline constexpr int Minor = VORN_VERSION_MINOR;
inline constexpr int Revision = 0;

// "2.11": major, ".", minor, no padding.
inline QString text() {
    return QStringLiteral("%1.%2").arg(Major).arg(Minor);
}
// "VORN 2.11"
inline QString title() {
    return QString::fromLatin1(Product) + QLatin1Char(' ') + text();
}

} // namespace Version
