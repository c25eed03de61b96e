#pragma once

#include "importreport.h"
#include "mdbtools.h"

#include <QString>
#include <functional>
#include <optional>

namespace qb {

// True when the file starts like an Access (Jet) database file.
bool isJetFile(const QString& file);

// The name offered for the new database: the Access file's name with "-quillbox" before
// ".mdb", in the same folder.
QString suggestedImportTarget(const QString& jetFile);

// Told how many records have been read of how many; false cancels the import.
using ImportProgress = std::function<bool(qint64 done, qint64 total)>;

// Reads the three books out of an Access file (which is only read) into a new Quillbox
// database at target, in one transaction, columns taken by name. Values the new database
// cannot hold as they are, and values mdbtools is known to misread, are left out or changed
// and listed in the report. Returns nothing when cancelled. Throws DataError when the target
// exists, the tools are missing or the file cannot be read. Unless it returns a report, no
// new file is left behind.
std::optional<ImportReport> importJetFile(const QString& source, const QString& target,
                                          const ImportProgress& progress,
                                          const MdbTools& tools = MdbTools());

} // namespace qb
