#pragma once

#include "store/schema.h"

#include <QList>

#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace qb {

class FileDialog;
class RecordStore;

// The 导入导出 menu: vCard, bookmark and CSV files in and out of the books. Its items are
// enabled like the text exports, only while a database is open. Each command first calls
// leaveEditing for its book: an import refreshes the book and an export reads what is stored,
// so a record being typed is posted (or its refusal stops the command) the window's way.
QList<QAction*> buildExchangeMenu(QMenu* menu, RecordStore& store, FileDialog& openDialog,
                                  FileDialog& saveDialog, QWidget* window,
                                  std::function<void(BookId)> leaveEditing);

} // namespace qb
