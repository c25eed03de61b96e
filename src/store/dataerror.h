#pragma once

#include <QString>
#include <stdexcept>

namespace qb {

// A record or a file that cannot be read or written as asked: the database, the preferences,
// an export or an import. The one exception type of the program: every handler's guard shows
// its text in the default error box. Dataset errors carry the dataset's name in front.
class DataError : public std::runtime_error {
public:
    explicit DataError(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

} // namespace qb
