#include "xdgautostart.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace qb {

namespace {

// An autostart entry is a few hundred bytes; a stray big file in the folder is read only this
// far, so it cannot exhaust memory.
constexpr qint64 kMaxEntryBytes = 1 << 20;

// The session manager's own start-up phases: what starts in them makes up the desktop itself.
const QByteArrayList kSessionPhases = {"EarlyInitialization",
                                       "PreDisplayServer",
                                       "DisplayServer",
                                       "Initialization",
                                       "WindowManager",
                                       "Panel",
                                       "Desktop"};

struct DesktopEntry {
    // The program speaks Simplified Chinese: a name given for it is shown before the plain one.
    QString chineseName; // Name[zh_CN]
    QString zhName;      // Name[zh]
    QString name;
    QString exec;
    QString tryExec;
    QByteArrayList onlyShowIn;
    QByteArrayList notShowIn;
    bool hidden = false;
    bool disabled = false; // X-GNOME-Autostart-enabled=false
    bool sessionNeeds = false;
    QByteArrayList groupLines; // the lines of the [Desktop Entry] group, Hidden= left out

    QString shownName() const {
        for (const QString& candidate : {chineseName, zhName, name})
            if (!candidate.isEmpty())
                return candidate;
        return {};
    }
};

QByteArrayList fileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArrayList lines = file.read(kMaxEntryBytes).split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// A string value with its escapes \s \n \t \r \\ resolved.
QString unescaped(const QByteArray& value) {
    const QString text = QString::fromUtf8(value);
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const QChar escaped = text[++i];
        switch (escaped.unicode()) {
        case u's':
            result += u' ';
            break;
        case u'n':
            result += u'\n';
            break;
        case u't':
            result += u'\t';
            break;
        case u'r':
            result += u'\r';
            break;
        case u'\\':
            result += u'\\';
            break;
        default:
            result += u'\\';
            result += escaped;
        }
    }
    return result;
}

// A list value: "GNOME;KDE;" gives GNOME and KDE.
QByteArrayList listValue(const QByteArray& value) {
    QByteArrayList items = value.split(';');
    items.removeAll(QByteArray());
    return items;
}

// Sets the key's field unless an earlier line set it: the first line of a key counts.
void setOnce(QString& field, const QByteArray& value) {
    if (field.isEmpty())
        field = unescaped(value);
}

void readKey(DesktopEntry& entry, const QByteArray& key, const QByteArray& value) {
    if (key == "Name[zh_CN]")
        setOnce(entry.chineseName, value);
    else if (key == "Name[zh]")
        setOnce(entry.zhName, value);
    else if (key == "Name")
        setOnce(entry.name, value);
    else if (key == "Exec")
        setOnce(entry.exec, value);
    else if (key == "TryExec")
        setOnce(entry.tryExec, value);
    else if (key == "OnlyShowIn")
        entry.onlyShowIn = listValue(value);
    else if (key == "NotShowIn")
        entry.notShowIn = listValue(value);
    else if (key == "X-GNOME-Autostart-enabled")
        entry.disabled = value == "false";
    else if (key == "X-GNOME-Autostart-Phase")
        entry.sessionNeeds = kSessionPhases.contains(value);
}

// Reads what the listing needs. A file that is not a desktop entry at all (no group, binary
// junk, unreadable) gives an entry without name and command.
DesktopEntry readEntry(const QString& path) {
    DesktopEntry entry;
    bool inGroup = false;
    for (const QByteArray& line : fileLines(path)) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            inGroup = trimmed == "[Desktop Entry]";
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype equals = trimmed.indexOf('=');
        const QByteArray key = equals < 0 ? QByteArray() : trimmed.first(equals).trimmed();
        const QByteArray value = trimmed.sliced(equals + 1).trimmed();
        if (key == "Hidden") {
            entry.hidden = value == "true";
            continue;
        }
        entry.groupLines << line;
        readKey(entry, key, value);
    }
    return entry;
}

QStringList entryFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::CaseSensitive,
                                  QDir::Name);
}

bool isEntryFileName(const QString& id) {
    return id.endsWith(QStringLiteral(".desktop")) && !id.contains(u'/');
}

// The most important system file of that name, or the empty text.
QString systemEntryFile(const QString& id) {
    for (const QString& folder : XdgAutostart::systemFolders()) {
        const QString path = QDir(folder).filePath(id);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

// Writes a user entry that keeps the hidden entry's settings and is never started.
bool writeHiddenEntry(const QString& path, const QByteArrayList& groupLines) {
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    // A user entry may be a link to a system file: replace the link, never write through it.
    if (QFileInfo(path).isSymLink() && !QFile::remove(path))
        return false;
    QByteArray text = "[Desktop Entry]\n";
    for (const QByteArray& line : groupLines)
        text += line + '\n';
    text += "Hidden=true\n";
    // Unbuffered: QSaveFile misses a failure of its own last buffer flush (a full disk) and
    // would then put an empty entry in place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(text) != text.size())
        return false;
    return file.commit();
}

bool programExists(const QString& program) {
    if (!QDir::isAbsolutePath(program))
        return !QStandardPaths::findExecutable(program).isEmpty();
    const QFileInfo file(program);
    return file.isFile() && file.isExecutable();
}

bool shownIn(const QByteArrayList& desktops, const QByteArrayList& list) {
    return std::any_of(desktops.begin(), desktops.end(),
                       [&](const QByteArray& desktop) { return list.contains(desktop); });
}

// Whether the session starts the entry on this desktop, as the autostart rules decide.
bool isStarted(const DesktopEntry& entry) {
    if (entry.hidden || entry.disabled)
        return false;
    if (!entry.tryExec.isEmpty() && !programExists(entry.tryExec))
        return false;
    const QByteArrayList desktops = qgetenv("XDG_CURRENT_DESKTOP").split(':');
    if (!entry.onlyShowIn.isEmpty() && !shownIn(desktops, entry.onlyShowIn))
        return false;
    return !shownIn(desktops, entry.notShowIn);
}

} // namespace

bool XdgAutostart::has(Feature feature) const {
    return feature == Feature::LogonPrograms;
}

QString XdgAutostart::logonProgramsTitle() const {
    return QStringLiteral("以下是登录时启动的项目");
}

QString XdgAutostart::userFolder() {
    // Relative paths in these variables are invalid and ignored.
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QDir base(QDir::isAbsolutePath(configHome)
                        ? configHome
                        : QDir::home().filePath(QStringLiteral(".config")));
    return base.filePath(QStringLiteral("autostart"));
}

QStringList XdgAutostart::systemFolders() {
    QStringList folders = qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts);
    folders.removeIf([](const QString& folder) { return !QDir::isAbsolutePath(folder); });
    if (folders.isEmpty())
        folders << QStringLiteral("/etc/xdg");
    for (QString& folder : folders)
        folder = QDir(folder).filePath(QStringLiteral("autostart"));
    return folders;
}

QList<LogonProgram> XdgAutostart::logonPrograms() {
    QList<LogonProgram> programs;
    QSet<QString> seen;
    for (const QString& folder : QStringList{userFolder()} + systemFolders()) {
        for (const QString& file : entryFiles(folder)) {
            if (seen.contains(file))
                continue;
            seen.insert(file);
            const DesktopEntry entry = readEntry(QDir(folder).filePath(file));
            if (!isStarted(entry))
                continue;
            const QString name = entry.shownName();
            programs.append({file, name.isEmpty() ? file : name, entry.exec, entry.sessionNeeds});
        }
    }
    return programs;
}

bool XdgAutostart::deleteLogonProgram(const QString& id) {
    if (!isEntryFileName(id))
        return false;
    const QString userFile = QDir(userFolder()).filePath(id);
    const QString systemFile = systemEntryFile(id);
    // Without a system entry behind it, the user's own entry simply goes.
    if (systemFile.isEmpty())
        return QFile::remove(userFile);
    const bool userHasIt = QFileInfo(userFile).isFile();
    return writeHiddenEntry(userFile, readEntry(userHasIt ? userFile : systemFile).groupLines);
}

} // namespace qb
