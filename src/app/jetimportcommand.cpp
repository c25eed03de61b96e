#include "jetimportcommand.h"

#include "export/exportfile.h"
#include "export/gb18030.h"
#include "export/textexport.h"
#include "import/jetimport.h"
#include "platform/errorguard.h"
#include "platform/platform.h"
#include "platform/windowlook.h"
#include "store/databasefile.h"
#include "store/dataerror.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace qb {

namespace {

// A small file imports before a dialog would be worth showing.
constexpr int kProgressDelayMs = 500;
// Wide enough for the label with a file name of usual length.
constexpr int kProgressWidth = 360;

// The import report: every book's count and each record or value left out or changed.
class ImportReportWindow : public QDialog {
public:
    ImportReportWindow(const ImportReport& report, QWidget* parent)
        : QDialog(parent)
        , m_report(report) {
        setObjectName(QStringLiteral("JetImportReport"));
        setWindowTitle(QStringLiteral("导入报告"));
        setAttribute(Qt::WA_DeleteOnClose);
        resize(640, 440);
        auto* text = new QPlainTextEdit(m_report.lines().join(QLatin1Char('\n')));
        text->setObjectName(QStringLiteral("ReportText"));
        text->setReadOnly(true);
        auto* save = new QPushButton(QStringLiteral("另存为文本文件…"));
        save->setObjectName(QStringLiteral("SaveReportButton"));
        auto* close = new QPushButton(QStringLiteral("关闭"));
        close->setObjectName(QStringLiteral("CloseReportButton"));
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(save);
        buttons->addWidget(close);
        auto* column = new QVBoxLayout(this);
        column->addWidget(text, 1);
        column->addLayout(buttons);
        connect(save, &QPushButton::clicked, this, [this] { guarded([this] { saveAs(); }); });
        connect(close, &QPushButton::clicked, this, &QDialog::close);
    }

private:
    void saveAs() {
        m_dialog.setFilter(QStringLiteral("文本文件|*.txt"));
        QString suggested = m_report.target;
        if (extensionOf(suggested) == QStringLiteral(".mdb"))
            suggested.chop(4);
        m_dialog.setInitialName(suggested + QStringLiteral("-导入报告.txt"));
        const QString chosen = m_dialog.execute();
        if (!chosen.isEmpty())
            saveImportReport(m_report, chosen);
    }

    ImportReport m_report;
    FileDialog m_dialog{FileDialogRequest::Kind::Save, true};
};

} // namespace

void saveImportReport(const ImportReport& report, const QString& chosenName) {
    const QString target = textExportTarget(chosenName);
    // Written like a text export: a link at the name is replaced, never written through onto
    // the database just made.
    refuseOpenDatabase(target, report.target);
    const QByteArray bytes = Gb18030Encoder().encode(report.text());
    ExportFile file(target);
    char* out = file.room(bytes.size());
    std::memcpy(out, bytes.constData(), size_t(bytes.size()));
    file.advance(out + bytes.size());
    file.commit();
}

JetImportCommand::JetImportCommand(QWidget* window, QString databaseFilter,
                                   std::function<void(const QString&)> openDatabase)
    : QObject(window)
    , m_window(window)
    , m_filter(std::move(databaseFilter))
    , m_openDatabase(std::move(openDatabase)) {}

void JetImportCommand::offer(const QString& jetFile) {
    const int answer = MsgBox(QStringLiteral("“%1”是 Access 数据库文件，Quillbox 不能直接打开它。\n"
                                             "要把其中的记录导入到一个新的 Quillbox 数据库吗？"
                                             "（Access 文件本身不会被改动。）")
                                  .arg(jetFile),
                              kProgramName, mb::YesNo | mb::IconQuestion);
    if (answer == mb::IdYes)
        importFile(jetFile);
}

void JetImportCommand::chooseAndImport() {
    m_openDialog.setFilter(m_filter);
    const QString chosen = m_openDialog.execute();
    if (chosen.isEmpty())
        return;
    if (!isJetFile(chosen))
        throw DataError(QStringLiteral("“%1”不是 Access 数据库文件，无法导入").arg(chosen));
    importFile(chosen);
}

void JetImportCommand::importFile(const QString& jetFile) {
    m_saveDialog.setFilter(m_filter);
    m_saveDialog.setInitialName(suggestedImportTarget(jetFile));
    const QString chosen = m_saveDialog.execute();
    if (chosen.isEmpty())
        return;
    const QString target = withMdbExtension(chosen);
    if (QFileInfo::exists(target)) {
        MsgBox(QStringLiteral("文件“%1”已经存在，没有新建数据库。").arg(target), kProgramName,
               mb::IconExclamation);
        return;
    }
    const std::optional<ImportReport> report = runWithProgress(jetFile, target);
    if (!report)
        return;
    m_openDatabase(target);
    showReport(*report);
}

std::optional<ImportReport> JetImportCommand::runWithProgress(const QString& jetFile,
                                                              const QString& target) {
    QProgressDialog progress(QStringLiteral("正在导入“%1”……").arg(QFileInfo(jetFile).fileName()),
                             QStringLiteral("取消"), 0, 0, m_window);
    progress.setObjectName(QStringLiteral("JetImportProgress"));
    progress.setWindowTitle(kProgramName);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kProgressDelayMs);
    progress.setMinimumWidth(kProgressWidth);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    return importJetFile(jetFile, target, [&progress](qint64 done, qint64 total) {
        progress.setMaximum(int(std::min<qint64>(total, INT_MAX)));
        progress.setValue(int(std::min<qint64>(done, INT_MAX)));
        // The import runs on this thread: the window repaints and the cancel button answers
        // only while the events are handled here. Until the dialog shows and blocks the
        // window, clicks and keys wait, so no other command runs in the middle of the import.
        QCoreApplication::processEvents(progress.isVisible() ? QEventLoop::AllEvents
                                                             : QEventLoop::ExcludeUserInputEvents);
        return !progress.wasCanceled();
    });
}

void JetImportCommand::showReport(const ImportReport& report) {
    auto* window = new ImportReportWindow(report, m_window);
    window->show();
}

} // namespace qb
