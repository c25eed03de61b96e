#include "exchangemenu.h"

#include "exchange/exchangecommands.h"
#include "platform/errorguard.h"
#include "store/recordstore.h"

#include <QAction>
#include <QMenu>
#include <QProgressDialog>

#include <algorithm>
#include <memory>

namespace qb {

namespace {

struct ExchangeItem {
    const char* name;
    const char* caption;
    BookId book;
    ExchangeFormat format;
    bool import;
    bool currentOnly;
};

constexpr ExchangeItem kItems[] = {
    {"ExportContactsVCard", "导出联系人为 vCard 名片…", BookId::Contacts, ExchangeFormat::VCard,
     false, false},
    {"ExportContactVCard", "导出当前联系人为 vCard 名片…", BookId::Contacts, ExchangeFormat::VCard,
     false, true},
    {"ExportWebsitesBookmarks", "导出网址为书签文件…", BookId::Websites, ExchangeFormat::Bookmarks,
     false, false},
    {"ExportContactsCsv", "导出联系人为 CSV 表格…", BookId::Contacts, ExchangeFormat::Csv, false,
     false},
    {"ExportWebsitesCsv", "导出网址为 CSV 表格…", BookId::Websites, ExchangeFormat::Csv, false,
     false},
    {"ExportSerialsCsv", "导出序列号为 CSV 表格…", BookId::Serials, ExchangeFormat::Csv, false,
     false},
    {"ImportContactsVCard", "从 vCard 名片导入联系人…", BookId::Contacts, ExchangeFormat::VCard,
     true, false},
    {"ImportWebsitesBookmarks", "从书签文件导入网址…", BookId::Websites, ExchangeFormat::Bookmarks,
     true, false},
    {"ImportContactsCsv", "从 CSV 表格导入联系人…", BookId::Contacts, ExchangeFormat::Csv, true,
     false},
    {"ImportWebsitesCsv", "从 CSV 表格导入网址…", BookId::Websites, ExchangeFormat::Csv, true,
     false},
    {"ImportSerialsCsv", "从 CSV 表格导入序列号…", BookId::Serials, ExchangeFormat::Csv, true,
     false},
};

// A progress window made at the first report, so it never shows while the file dialog is
// open. It appears only when the work takes a while, keeps the window responsive and offers
// 取消; it goes when the command ends.
constexpr int kSteps = 1000;

ExchangeProgress progressWindow(QWidget* window) {
    auto dialog = std::make_shared<std::unique_ptr<QProgressDialog>>();
    return [window, dialog](qint64 done, qint64 total) {
        if (!*dialog) {
            *dialog = std::make_unique<QProgressDialog>(QStringLiteral("正在处理…"),
                                                        QStringLiteral("取消"), 0, kSteps, window);
            (*dialog)->setWindowModality(Qt::WindowModal);
            (*dialog)->setMinimumDuration(500);
            (*dialog)->setAutoClose(false);
            (*dialog)->setAutoReset(false);
        }
        (*dialog)->setValue(total > 0 ? int(std::min(done, total) * kSteps / total) : 0);
        return !(*dialog)->wasCanceled();
    };
}

} // namespace

QList<QAction*> buildExchangeMenu(QMenu* menu, RecordStore& store, FileDialog& openDialog,
                                  FileDialog& saveDialog, QWidget* window,
                                  std::function<void(BookId)> leaveEditing) {
    QList<QAction*> actions;
    for (const ExchangeItem& item : kItems) {
        if (item.import && !actions.isEmpty() && !kItems[actions.size() - 1].import)
            menu->addSeparator();
        QAction* action = menu->addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QLatin1String(item.name));
        RecordStore* books = &store;
        FileDialog* od1 = &openDialog;
        FileDialog* sd1 = &saveDialog;
        QObject::connect(action, &QAction::triggered, window, [=] {
            guarded([&] {
                leaveEditing(item.book);
                const ExchangeProgress progress = progressWindow(window);
                if (item.import)
                    importBookFile(*books, item.book, item.format, *od1, progress);
                else
                    exportBookFile(*books, item.book, item.format, item.currentOnly, *sd1,
                                   progress);
            });
        });
        actions << action;
    }
    return actions;
}

} // namespace qb
