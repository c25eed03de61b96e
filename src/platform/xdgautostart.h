#pragma once

#include "systemsettings.h"

namespace qb {

// The system settings of a freedesktop.org desktop: the programs started at logon are the
// autostart entries (*.desktop files) of the user's folder and of the system's folders.
// A user entry overrides system entries of the same file name, and an entry with
// Hidden=true is not started. Deleting never touches a system file: an entry that a system
// folder provides is hidden by a user entry with Hidden=true instead. The folders are read
// from the environment at each call.
//
// Listing order: the user's folder first, then the system folders in the order of
// XDG_CONFIG_DIRS; within a folder by file name. An entry is listed once, where it is found
// first, and only when the session starts it: not disabled, its TryExec program present, and
// shown on the desktops named by XDG_CURRENT_DESKTOP. Its name is the Simplified Chinese one
// where the entry has one.
class XdgAutostart : public SystemSettings {
public:
    bool has(Feature feature) const override;
    QString logonProgramsTitle() const override;
    // The id of an entry is its file name.
    QList<LogonProgram> logonPrograms() override;
    bool deleteLogonProgram(const QString& id) override;

    // $XDG_CONFIG_HOME/autostart, by default ~/.config/autostart.
    static QString userFolder();
    // Each folder of $XDG_CONFIG_DIRS (by default /etc/xdg) with /autostart, most important
    // first.
    static QStringList systemFolders();
};

} // namespace qb
