#pragma once

#include "systemsettings.h"

#ifdef Q_OS_WIN

namespace qb {

// The system settings of Windows: the browser's context-menu extensions of the current user,
// the machine's programs started at logon (id and name are the registry value name), the
// current user's menu show delay and the boot menu time-out of "c:\boot.ini" where that file
// exists.
class WindowsSystemSettings : public SystemSettings {
public:
    bool has(Feature feature) const override;
    QStringList browserExtensions() override;
    bool deleteBrowserExtension(const QString& name) override;
    QList<LogonProgram> logonPrograms() override;
    bool deleteLogonProgram(const QString& id) override;
    void setMenuShowDelay(int milliseconds) override;
    void setBootTimeout(int seconds) override;
};

} // namespace qb

#endif // Q_OS_WIN
