#pragma once

#include "importer.h"
#include "store/schema.h"

namespace qb {

class BookDataset;
class FileDialog;
class RecordStore;

enum class ExchangeFormat { VCard, Bookmarks, Csv };

// done and total in records (exports) or bytes (imports); false cancels.
using ExchangeProgress = std::function<bool(qint64 done, qint64 total)>;

// Writes the book (or only its current record) in the format to a file; the target is
// replaced only when the file is complete. False when cancelled: nothing was written.
bool writeBookFile(BookDataset& book, ExchangeFormat format, const QString& target,
                   bool currentOnly = false, const ExchangeProgress& progress = {});

// Reads the file into the book in one transaction (see importRecords).
ExchangeImportReport readBookFile(BookDataset& book, ExchangeFormat format, const QString& fileName,
                                  const DuplicateQuestion& ask,
                                  const ExchangeProgress& progress = {});

// The duplicate-key question as two Yes/No boxes: replace? if not, keep both?
DuplicateChoice askDuplicateChoice(const QString& key);

// The menu commands: ask for a file, run, and report an import's result in one message.
// They do nothing when no database is open or the dialog is cancelled.
void exportBookFile(RecordStore& store, BookId book, ExchangeFormat format, bool currentOnly,
                    FileDialog& dialog, const ExchangeProgress& progress);
void importBookFile(RecordStore& store, BookId book, ExchangeFormat format, FileDialog& dialog,
                    const ExchangeProgress& progress);

} // namespace qb
