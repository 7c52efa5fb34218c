#pragma once

#include <QString>
#include <stdexcept>

// A failure of the database layer. Handlers let it escape; the event dispatch shows it.
class DataError : public std::runtime_error {
public:
    explicit DataError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};
