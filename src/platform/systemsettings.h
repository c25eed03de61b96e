#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace qb {

// One program started at logon.
struct LogonProgram {
    QString id;          // what deleteLogonProgram() takes, e.g. an autostart entry's file name
    QString name;        // shown as "启动项目名"
    QString commandLine; // shown as "路径"
    bool sessionNeeds = false; // the desktop session itself relies on it
};

// The system settings the settings window lists and prunes. Each platform fills in what it
// has; this base class is a system that has none of them, so the window can say so.
class SystemSettings {
public:
    enum class Feature { BrowserExtensions, LogonPrograms, MenuShowDelay, BootTimeout };

    virtual ~SystemSettings() = default;

    virtual bool has(Feature) const { return false; }

    // The browser's context-menu extensions by name; empty when there are none to read.
    virtual QStringList browserExtensions() { return {}; }
    // Returns whether the extension was deleted.
    virtual bool deleteBrowserExtension(const QString&) { return false; }

    // What the logon list is called on this system.
    virtual QString logonProgramsTitle() const { return QStringLiteral("以下是WINDOWS启动项目"); }
    // Throws std::exception when an entry cannot be read as text.
    virtual QList<LogonProgram> logonPrograms() { return {}; }
    // Returns whether the program will no longer be started at logon.
    virtual bool deleteLogonProgram(const QString&) { return false; }

    // The two fixed tweaks, applied where the system has them; failures are not reported.
    virtual void setMenuShowDelay(int /*milliseconds*/) {}
    virtual void setBootTimeout(int /*seconds*/) {}
};

} // namespace qb
