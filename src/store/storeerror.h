#pragma once

#include <QString>
#include <stdexcept>

namespace qb {

// The one exception type of the program: every handler's guard shows its text in the
// default error box. Data-layer errors carry the dataset's name in front of the message.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

} // namespace qb
