#pragma once

#include <QString>
#include <exception>
#include <utility>

namespace qb {

// The application's default error box: the text (with "." added when its last character
// sorts after "." and is not Chinese closing punctuation), caption "Quillbox", OK and the stop
// icon.
void showDefaultError(const QString& message);

// Every event handler runs inside this guard, so no exception crosses Qt's event loop.
template <typename Handler> void guarded(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        showDefaultError(QString::fromUtf8(error.what()));
    }
}

} // namespace qb
