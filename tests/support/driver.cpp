#include "driver.h"

#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace qb::test {

namespace {

using namespace Qt::StringLiterals;

// The tabs of the three books.
QTabWidget* books(const TSDIAppForm& form) {
    return form.findChild<QTabWidget*>(u"PageControl1"_s);
}

void clickTab(const QWidget* in, const QString& caption) {
    for (QTabBar* bar : in->findChildren<QTabBar*>())
        for (int i = 0; i < bar->count(); ++i)
            if (bar->isVisible() && bar->tabText(i) == caption)
                return QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
    qFatal("no tab %s", qPrintable(caption));
}

QAction* findItem(const QList<QAction*>& items, const QString& caption) {
    for (QAction* item : items) {
        QAction* inner = item->menu() ? findItem(item->menu()->actions(), caption) : nullptr;
        if (item->text() == caption || inner)
            return inner ? inner : item;
    }
    return nullptr;
}

} // namespace

BookId Driver::bookShown() const {
    return BookId(books(m_form)->currentIndex());
}

QWidget* Driver::bookPage() const {
    return books(m_form)->currentWidget();
}

DBGrid* Driver::grid() const {
    return bookPage()->findChild<DBGrid*>(u"DBGrid%1"_s.arg(int(bookShown()) + 1));
}

void Driver::showBook(const QString& tab) {
    clickTab(books(m_form), tab);
}

void Driver::showPage(const QString& tab) {
    clickTab(bookPage(), tab);
}

QAbstractButton* Driver::button(const QString& caption) const {
    for (TLbButton* button : bookPage()->findChildren<TLbButton*>())
        if (button->text() == caption)
            return button;
    qFatal("no button %s", qPrintable(caption));
}

void Driver::click(const QString& caption) {
    QTest::mouseClick(button(caption), Qt::LeftButton);
}

void Driver::choose(const QString& caption) {
    QAction* item =
        findItem(m_form.menuBar()->actions() + m_form.findChild<QMenu*>(u"PopupMenu1"_s)->actions(),
                 caption);
    if (!item)
        qFatal("no menu item %s", qPrintable(caption));
    // A disabled item cannot be chosen.
    if (item->isEnabled())
        item->trigger();
}

QString Driver::gridRows() const {
    const QAbstractItemModel* rows = grid()->model();
    QStringList keys;
    for (int row = 0; row < rows->rowCount(); ++row) {
        const QString key = rows->index(row, 0).data().toString();
        keys << (row == grid()->currentIndex().row() ? u"[%1]"_s.arg(key) : key);
    }
    return keys.join(u',');
}

} // namespace qb::test
