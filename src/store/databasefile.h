#pragma once

#include <QString>

struct sqlite3;

namespace qb {

// Names chosen for a new database or a backup get ".mdb" unless they already end in exactly
// that (letter case counts).
QString withMdbExtension(const QString& chosenName);
// The extension rule shared with the text export: the text from the last "." that follows the
// last folder separator, or nothing.
QString extensionOf(const QString& name);

// What the window caption shows of a database's full name.
struct FileNameParts {
    QString fileName; // the name without its folder
};
// The parts stay empty when no file exists under the name.
void SplitFileName(const QString& name, FileNameParts& parts);

// Throws a clear error unless the file exists and is an SQLite database.
void checkDatabaseFile(const QString& fileName);

// Makes a new, empty database file marked as ours; throws when it cannot. Never replaces an
// existing file.
void CreateDatabaseFile(const QString& fileName);

// A consistent copy of the open database into a new file; refuses an existing target and
// removes a partial copy when the copy fails.
void copyDatabaseFile(sqlite3* source, const QString& target);

} // namespace qb
