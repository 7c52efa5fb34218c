#pragma once

#include <QString>
#include <QStringList>
#include <array>

// The four tables of the database file and what the program delivers in them.
namespace Tables {

inline constexpr auto Ide = "ide";
inline constexpr auto Answer = "Answer";
inline constexpr auto Qus = "QUS";
inline constexpr auto Theme = "Theme";

struct Table {
    QString name;
    QStringList fields;
};

// Every field is text; the program parses numbers where it uses them.
const std::array<Table, 4>& all();
const Table& byName(const QString& name);

inline constexpr int ItemCount = 33;

// The delivered statements, item 1 first.
const std::array<QString, ItemCount>& itemTexts();

// The choices the registration offers for sex and marital status, as stored; an export codes
// them 1, 2 in this order.
const QStringList& sexChoices();
const QStringList& maritalChoices();

// The one settings row as delivered: theme 1, no clinic name or address.
inline constexpr auto DefaultTheme = "1";

} // namespace Tables
