#pragma once

#include <QString>

// The rows of the four tables copied between the engines, many rows to a statement.
namespace Database::RowCopy {

// A backup file that is a whole VORN database holding one moment of the server's tables,
// written whole or not at all. The error text, or empty.
QString serverToFile(const QString& target);
// The server's rows replaced by those of a whole VORN database file, all or none. The error
// text, or empty.
QString fileToServer(const QString& source);

} // namespace Database::RowCopy
