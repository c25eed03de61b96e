#pragma once

#include "platform.h"

#include <memory>

namespace qb {

// The platform of a real desktop session: Qt's message boxes and file dialogs, the desktop's
// URL handler, ~/Favorites.
class DesktopPlatform : public Platform {
public:
    DesktopPlatform();
    ~DesktopPlatform() override;
    int messageBox(const QString& text, const QString& caption, unsigned flags) override;
    QString chooseFile(const FileDialogRequest& request) override;
    void shellOpen(const QString& target) override;
    QString favoritesFolder() override;
    SystemSettings& systemSettings() override;

private:
    std::unique_ptr<SystemSettings> m_settings;
};

// What the desktop's handler gets for a target typed the way the Windows shell takes it: an
// existing path, a URL with a scheme, or a bare host name meaning a web address. Blanks
// around the target are left out.
QString desktopUrlFor(const QString& target);

// "label|pattern|label|pattern" as a Qt name filter.
QString qtNameFilter(const QString& filter);

} // namespace qb
