#pragma once

#include <QString>
#include <QStringView>

// Reads the leading number of a text. Blanks, tabs and line feeds are skipped wherever they
// stand; then an optional sign, digits with at most one "." and an optional exponent. A carriage
// return, a letter or a second point ends the number. No number (or one out of range) reads 0.
// The point is the decimal separator whatever the locale says.
double Val(QStringView text);

// A number as text the way the program shows it: up to 15 significant digits, no exponent, "."
// as the decimal point whatever the regional settings say, no trailing zeros (2.12, 0, -3.5).
QString NumberText(double value);
