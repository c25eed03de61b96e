#pragma once

#include "schema.h"

#include <QString>
#include <QStringList>
#include <array>

namespace qb {

// What the program keeps between runs in its preferences file.
struct Preferences {
    QString databasePath; // the current database file; empty: none is opened at start
    // Each book's search history in list order, indexed by BookId.
    std::array<QStringList, kBookCount> histories;
    bool pinyinOrder = false; // the books in the pinyin order of their keys
};

// The preferences file: named after the program file with the extension "ini" (appended when
// the program file has none), beside the program when that folder is writable, otherwise in
// the user's configuration folder.
QString IniFileName();
// The same for a given program file and configuration folder; creates the configuration
// folder when it is the one chosen and missing.
QString iniFileNameFor(const QString& programFile, const QString& configFolder);

// A history's missing entries inside its stored range load as empty ones, but no more than this
// many: a damaged file's stray entry key far out must not make every start and end build and
// write a million empty entries. Stored entries always load, however many.
inline constexpr qsizetype kMaxHistoryGaps = 10'000;

// A missing file, section or key gives the empty path and empty histories. A history loads no
// further than its highest stored entry, whatever its count says, with at most
// kMaxHistoryGaps empty entries for missing keys.
Preferences LoadPreferences(const QString& iniPath);
// Writes the path and every history with its count in one replacement of the file; entry keys
// beyond a shorter history stay. The order is written when it is pinyin or was written before,
// so the file of someone who never chose it stays as it was. Throws DataError "Unable to write to
// <file>" and leaves the old file as it was when the file cannot be written.
void SavePreferences(const QString& iniPath, const Preferences& preferences);
// Writes only the database path, in one replacement of the file, so that a session that ends
// without the final save still starts next time on the file it was working on.
void saveDatabasePath(const QString& iniPath, const QString& databasePath);

} // namespace qb
