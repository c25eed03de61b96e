// The main window's part in quick find: the menu item, indexing the open books and showing a
// chosen record.
#include "sdiappform.h"

#include "platform/errorguard.h"
#include "platform/platform.h"
#include "quickfindwindow.h"
#include "widgets/dbgrid.h"

#include <QTabWidget>

namespace qb {

void TSDIAppForm::indexBooksForQuickFind() {
    std::array<QuickFindBook, kBookCount> books;
    for (BookId id : allBooks()) {
        const BookDataset& dataset = m_store.book(id);
        books[size_t(id)].table = dataset.tableName();
        for (const Column& column : dataset.columns())
            if (column.key)
                books[size_t(id)].keyColumn = column.name;
    }
    m_quickFind.setDatabase(m_store.connection().fileName(), books);
}

void TSDIAppForm::QuickFind1Click() {
    if (!m_quickFindWindow) {
        QStringList bookNames;
        for (BookId id : allBooks())
            bookNames << PageControl1->tabText(
                PageControl1->indexOf(m_pages[size_t(id)].controls.bookPage));
        auto* window = new QuickFindWindow(m_quickFind, bookNames, this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window, &QuickFindWindow::recordChosen, this,
                [this](BookId id, qint64 rowId) { guarded([&] { showFoundRecord(id, rowId); }); });
        m_quickFindWindow = window;
    }
    m_quickFindWindow->show();
    m_quickFindWindow->raise();
    m_quickFindWindow->activateWindow();
}

void TSDIAppForm::showFoundRecord(BookId id, qint64 rowId) {
    leaveEditingOf(id);
    BookDataset& dataset = m_store.book(id);
    const int row = dataset.isActive() ? dataset.rowOfRowId(rowId) : -1;
    if (row < 0) {
        // Stored by another program since the last refresh, or deleted meanwhile.
        MsgBox(QStringLiteral("找不到"), QStringLiteral("^^"), mb::IconExclamation);
        return;
    }
    const BookControls& controls = m_pages[size_t(id)].controls;
    showBookPage(id);
    controls.pages->setCurrentIndex(0);
    dataset.moveTo(row);
    book(id).cellClick();
    controls.grid->centerOnCurrent();
}

} // namespace qb
