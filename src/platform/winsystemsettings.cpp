#include "winsystemsettings.h"

#ifdef Q_OS_WIN

#include "winregistry.h"

#include <string>

namespace qb {

namespace {

const wchar_t kMenuExtKey[] = L"Software\\Microsoft\\Internet Explorer\\MenuExt";
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kBootIni[] = L"c:\\boot.ini";

QStringList toStringList(const std::vector<std::wstring>& texts) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(texts.size()));
    for (const std::wstring& text : texts)
        list << QString::fromStdWString(text);
    return list;
}

} // namespace

bool WindowsSystemSettings::has(Feature feature) const {
    return feature != Feature::BootTimeout || winreg::FileExists(kBootIni);
}

QStringList WindowsSystemSettings::browserExtensions() {
    return toStringList(winreg::ReadRegSubkeyNames(HKEY_CURRENT_USER, kMenuExtKey));
}

bool WindowsSystemSettings::deleteBrowserExtension(const QString& name) {
    // An empty name would make the path that of the whole extension key.
    if (name.isEmpty())
        return false;
    const std::wstring path = std::wstring(kMenuExtKey) + L'\\' + name.toStdWString();
    return winreg::DeleteRegKey(HKEY_CURRENT_USER, path);
}

QList<LogonProgram> WindowsSystemSettings::logonPrograms() {
    std::vector<std::wstring> names;
    std::vector<std::wstring> values;
    winreg::ReadRegValues(HKEY_LOCAL_MACHINE, kRunKey, names, values);
    QList<LogonProgram> programs;
    for (size_t i = 0; i < names.size(); ++i) {
        const QString name = QString::fromStdWString(names[i]);
        programs.append({name, name, QString::fromStdWString(values[i])});
    }
    return programs;
}

bool WindowsSystemSettings::deleteLogonProgram(const QString& id) {
    return winreg::DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, id.toStdWString());
}

void WindowsSystemSettings::setMenuShowDelay(int milliseconds) {
    winreg::WriteRegString(HKEY_CURRENT_USER, kDesktopKey, L"MenuShowDelay",
                           std::to_wstring(milliseconds));
}

void WindowsSystemSettings::setBootTimeout(int seconds) {
    if (winreg::FileExists(kBootIni))
        winreg::WriteProfileKey(kBootIni, L"boot loader", L"timeout", std::to_wstring(seconds));
}

} // namespace qb

#endif // Q_OS_WIN
