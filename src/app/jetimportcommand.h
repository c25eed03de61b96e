#pragma once

#include "import/importreport.h"
#include "platform/filedialog.h"

#include <QObject>
#include <functional>
#include <optional>

class QWidget;

namespace qb {

// 导入 Access 数据库: brings the records of an Access (Jet) file into a new Quillbox database,
// which is then opened as 打开数据库 opens a file, and shows what was left out or changed.
class JetImportCommand : public QObject {
public:
    // openDatabase: opens the new file as the current database (caption, path, commands).
    JetImportCommand(QWidget* window, QString databaseFilter,
                     std::function<void(const QString&)> openDatabase);

    // 打开数据库 met an Access file: asks whether to import it instead.
    void offer(const QString& jetFile);
    // The menu item: asks for the Access file, then imports it.
    void chooseAndImport();
    void importFile(const QString& jetFile);

private:
    std::optional<ImportReport> runWithProgress(const QString& jetFile, const QString& target);
    void showReport(const ImportReport& report);

    QWidget* m_window;
    QString m_filter;
    std::function<void(const QString&)> m_openDatabase;
    FileDialog m_openDialog{FileDialogRequest::Kind::Open, false};
    FileDialog m_saveDialog{FileDialogRequest::Kind::Save, true};
};

// The report window's "save as text": GB18030 with CR LF line ends, ".txt" added unless the
// name ends in it. Throws DataError when the file cannot be written.
void saveImportReport(const ImportReport& report, const QString& chosenName);

} // namespace qb
