#pragma once

#include "store/schema.h"

#include <QString>

namespace qb {

class BookDataset;
class FileDialog;
class RecordStore;

// 导出文本文件 (N6Click, N11Click, N12Click): asks for a name in the save dialog and writes the
// whole book to it. Does nothing when no database is open or the dialog is cancelled. Throws
// StoreError: "Cannot create file <target>" when the file cannot be created or written, or the
// data layer's message; the target is then untouched.
void exportBookText(RecordStore& store, BookId book, FileDialog& sd1);

// The chosen name, with ".txt" appended unless its extension is exactly ".txt".
QString textExportTarget(const QString& chosenName);

// Writes the book as GB18030 text with CR LF line ends, through a temporary file beside the
// target that replaces it only when complete. Leaves the book on its last record.
void writeBookText(BookDataset& dataset, BookId book, const QString& target);

} // namespace qb
