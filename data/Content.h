#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

// The database as the program makes it, declared once: the four tables, their indexes and the
// rows it delivers. Each engine writes its own statements from this.
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

// The indexes the program makes itself: a lookup by code, and the records window's searches by
// name and group, never scan a table. unique: a subject's code, kept unique where several
// desks write (the server).
struct Index {
    QString name;
    QString table;
    QString field;
    bool unique = false;
};
const std::vector<Index>& indexes();

// The rows a new database holds: the item statements and the one settings row.
struct Rows {
    QString table;
    QStringList fields;
    QList<QStringList> values;
};
const std::vector<Rows>& delivered();

} // namespace Tables
