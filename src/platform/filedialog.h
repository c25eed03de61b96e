#pragma once

#include "platform.h"

namespace qb {

// A file dialog component of a window (od1, sd1): its kind and options, the filter its
// callers set before each use, and the name last chosen in it, offered again next time.
class FileDialog {
public:
    FileDialog(FileDialogRequest::Kind kind, bool confirmOverwrite)
        : m_request{kind, QString(), QString(), confirmOverwrite} {}

    void setFilter(const QString& filter) { m_request.filter = filter; }
    // A name to offer, in place of the one last chosen.
    void setInitialName(const QString& name) { m_request.initialName = name; }
    // The chosen name, or the empty text when cancelled.
    QString execute() {
        const QString chosen = platform().chooseFile(m_request);
        if (!chosen.isEmpty())
            m_request.initialName = chosen;
        return chosen;
    }

private:
    FileDialogRequest m_request;
};

} // namespace qb
