#include "openbooks.h"
#include "tables.h"
#include "widgets/dbgrid.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

class TestDBGrid : public QObject {
    Q_OBJECT

    std::unique_ptr<test::OpenBooks> m_books;
    std::unique_ptr<DBGrid> m_grid;

    BookDataset& contacts() { return m_books->contacts(); }
    DBGrid& showGrid(int records) {
        m_books->addContacts(records);
        m_grid = std::make_unique<DBGrid>();
        m_grid->resize(320, 200);
        m_grid->setDataSource(&contacts());
        m_grid->show();
        if (!QTest::qWaitForWindowExposed(m_grid.get()))
            qFatal("the grid was not shown");
        return *m_grid;
    }
    bool fullyVisible(int row) {
        const QRect rect = m_grid->visualRect(m_grid->model()->index(row, 0));
        return rect.top() >= 0 && rect.bottom() < m_grid->viewport()->height();
    }

private Q_SLOTS:
    void init() { m_books = std::make_unique<test::OpenBooks>(); }
    void cleanup() {
        m_grid.reset();
        m_books.reset();
    }

    void clicks_data() { test::addTableRows(u"widgets/grid-clicks.txt"_s, {"where", "expected"}); }
    void clicks() {
        QFETCH(QString, where);
        QFETCH(QString, expected);
        DBGrid& grid = showGrid(5);
        QStringList got;
        connect(&grid, &DBGrid::cellClick, this,
                [&](int column) { got << u"%1@%2"_s.arg(column).arg(contacts().currentRow()); });
        QHeaderView* titles = grid.horizontalHeader();
        QHeaderView* rows = grid.verticalHeader();
        if (where == u"unkeyed"_s) {
            contacts().moveTo(3);
            contacts().insert();
            contacts().setFieldText(1, u"x@example.com"_s); // changed, but without its key
            where = u"0,0"_s;
        }
        const QModelIndex cell =
            grid.model()->index(where.section(u',', 0, 0).toInt(), where.section(u',', 1).toInt());
        if (where == u"title"_s)
            QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                              {titles->sectionViewportPosition(1) + 5, titles->height() / 2});
        else if (where == u"indicator"_s)
            QTest::mouseClick(rows->viewport(), Qt::LeftButton, {},
                              {rows->width() / 2, rows->sectionViewportPosition(2) + 5});
        else
            QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                              where == u"below"_s ? QPoint(20, grid.viewport()->height() - 3)
                                                  : grid.visualRect(cell).center());
        QStringList seen{got.isEmpty() ? u"0"_s : u"%1:"_s.arg(got.size()) + got.join(u' '),
                         QString::number(contacts().currentRow())};
        for (const QString& error : m_books->errors())
            seen << error.section(u':', 0, 0);
        QCOMPARE(seen.join(u','), expected);
        QCOMPARE(grid.currentIndex().row(), contacts().currentRow());
    }

    // Keys move the record without cellClick; a move scrolls just enough, a located record
    // stands near the middle.
    void keysAndMovesScroll() {
        DBGrid& grid = showGrid(30);
        QSignalSpy clicks(&grid, &DBGrid::cellClick);
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_Down);
        QTest::keyClicks(&grid, u"n0"_s); // letters search nothing
        QCOMPARE(contacts().currentRow(), 1);
        QTest::keyClick(&grid, Qt::Key_PageDown);
        QVERIFY(contacts().currentRow() > 2);
        QCOMPARE(contacts().currentRow(), grid.currentIndex().row());
        // Tab leaves the grid as in every other control: the cell and the record stay.
        const QModelIndex before = grid.currentIndex();
        QTest::keyClick(&grid, Qt::Key_Tab);
        QCOMPARE(grid.currentIndex(), before);
        QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(contacts().currentRow(), 29);
        QVERIFY(fullyVisible(29));
        QCOMPARE(clicks.count(), 0);
        contacts().first();
        int lastVisible = 0;
        while (fullyVisible(lastVisible + 1))
            ++lastVisible;
        contacts().moveTo(lastVisible + 1);
        QCOMPARE(grid.rowAt(0), 1);
        QCOMPARE(grid.selectionModel()->selectedRows(), {grid.model()->index(lastVisible + 1, 0)});
        QVERIFY(contacts().locate(u"姓名"_s, u"n00020"_s));
        grid.centerOnCurrent();
        const QRect located = grid.visualRect(grid.model()->index(20, 0));
        QVERIFY(std::abs(located.center().y() - grid.viewport()->height() / 2) <= located.height());
        // Another book replaces the first: the contacts no longer move this grid.
        grid.setDataSource(&m_books->websites());
        QCOMPARE(grid.model()->columnCount(), 4);
        contacts().last();
        QVERIFY(!grid.currentIndex().isValid());
    }
};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
