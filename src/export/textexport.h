#pragma once

#include "store/schema.h"

#include <QString>

namespace qb {

class BookDataset;
class RecordStore;

// 导出文本文件 (N6Click, N11Click, N12Click): writes the whole book to the name chosen in the
// save dialog. Does nothing when no database is open or no name was chosen. Throws
// DataError: "Cannot create file <target>" when the file cannot be created or written, or the
// data layer's message; the target is then untouched.
void exportBookText(RecordStore& store, BookId book, const QString& chosenName);

// The chosen name, with ".txt" appended unless its extension is exactly ".txt".
QString textExportTarget(const QString& chosenName);

// Writes the book as GB18030 text with CR LF line ends, through a temporary file beside the
// target that replaces it only when complete. Leaves the book on its last record.
void writeBookText(BookDataset& dataset, BookId book, const QString& target);

} // namespace qb
