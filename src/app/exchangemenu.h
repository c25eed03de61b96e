#pragma once

#include <QList>

class QAction;
class QMenu;
class QWidget;

namespace qb {

class FileDialog;
class RecordStore;

// The 导入导出 menu: vCard, bookmark and CSV files in and out of the books. Its items are
// enabled like the text exports, only while a database is open.
QList<QAction*> buildExchangeMenu(QMenu* menu, RecordStore& store, FileDialog& openDialog,
                                  FileDialog& saveDialog, QWidget* window);

} // namespace qb
