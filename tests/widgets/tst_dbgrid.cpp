#include "openbooks.h"
#include "widgets/dbgrid.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <functional>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

// Notes the lowest and the highest row the grid draws or measures.
class RecordingDelegate : public QStyledItemDelegate {
public:
    mutable int lowestRow = std::numeric_limits<int>::max();
    mutable int highestRow = -1;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        note(index);
        QStyledItemDelegate::paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        note(index);
        return QStyledItemDelegate::sizeHint(option, index);
    }

private:
    void note(const QModelIndex& index) const {
        lowestRow = std::min(lowestRow, index.row());
        highestRow = std::max(highestRow, index.row());
    }
};

struct ClickTarget {
    QWidget* widget;
    QPoint position;
};
using Aim = std::function<ClickTarget(DBGrid&)>;

void clickCell(DBGrid& grid, int row, int column) {
    const QRect cell = grid.visualRect(grid.model()->index(row, column));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
}

// The whole height of the row is inside the view.
bool fullyVisible(DBGrid& grid, int row) {
    const QRect rect = grid.visualRect(grid.model()->index(row, 0));
    return rect.top() >= 0 && rect.bottom() < grid.viewport()->height();
}

} // namespace

Q_DECLARE_METATYPE(Aim)

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

private Q_SLOTS:
    void init() { m_books = std::make_unique<test::OpenBooks>(); }
    void cleanup() {
        m_grid.reset();
        m_books.reset();
    }

    void cellClickMovesRecordFirst() {
        DBGrid& grid = showGrid(30);
        QSignalSpy clicks(&grid, &DBGrid::cellClick);
        int rowWhenClicked = -1;
        connect(&grid, &DBGrid::cellClick, this, [&] { rowWhenClicked = contacts().currentRow(); });
        clickCell(grid, 3, 1);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0).at(0).toInt(), 1);
        QCOMPARE(rowWhenClicked, 3);
        QCOMPARE(grid.selectionModel()->selectedRows(), {grid.model()->index(3, 0)});
        // The row that is already current is clicked again.
        clickCell(grid, 3, 0);
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(contacts().currentRow(), 3);
        QVERIFY(m_books->errors().isEmpty());
    }

    void clicksOutsideCellsRaiseNothing_data() {
        QTest::addColumn<Aim>("aim");
        QTest::addColumn<int>("currentRow");
        QTest::newRow("column title") << Aim([](DBGrid& g) {
            QHeaderView* titles = g.horizontalHeader();
            return ClickTarget{titles->viewport(),
                               {titles->sectionViewportPosition(1) + 5, titles->height() / 2}};
        }) << 0;
        QTest::newRow("row indicator") << Aim([](DBGrid& g) {
            QHeaderView* rows = g.verticalHeader();
            return ClickTarget{
                rows->viewport(),
                {rows->width() / 2, rows->sectionViewportPosition(2) + rows->sectionSize(2) / 2}};
        }) << 2;
        QTest::newRow("below the last row") << Aim([](DBGrid& g) {
            return ClickTarget{g.viewport(), {20, g.viewport()->height() - 3}};
        }) << 0;
    }
    void clicksOutsideCellsRaiseNothing() {
        QFETCH(Aim, aim);
        QFETCH(int, currentRow);
        DBGrid& grid = showGrid(3);
        QSignalSpy clicks(&grid, &DBGrid::cellClick);
        const ClickTarget target = aim(grid);
        QTest::mouseClick(target.widget, Qt::LeftButton, {}, target.position);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(contacts().currentRow(), currentRow);
        QCOMPARE(grid.currentIndex().row(), currentRow);
    }

    void clickThatCannotLeaveRecordRaisesNothing() {
        DBGrid& grid = showGrid(3);
        contacts().append();
        contacts().setFieldText(1, u"x@example.com"_s); // changed, but without its key
        QSignalSpy clicks(&grid, &DBGrid::cellClick);
        clickCell(grid, 0, 0);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(m_books->errors().size(), 1);
        QVERIFY(m_books->errors().front().startsWith(u"ADOTable1: "_s));
        QCOMPARE(contacts().state(), DatasetState::Insert);
        QCOMPARE(contacts().currentRow(), 3);
        QCOMPARE(grid.currentIndex().row(), 3);
    }

    void keyboardMovesRecordWithoutCellClick() {
        DBGrid& grid = showGrid(30);
        QSignalSpy clicks(&grid, &DBGrid::cellClick);
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(contacts().currentRow(), 1);
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
        QVERIFY(fullyVisible(grid, 29));
        QCOMPARE(clicks.count(), 0);
    }

    void followsRecordAndScrolls() {
        DBGrid& grid = showGrid(30);
        contacts().last();
        QCOMPARE(grid.currentIndex().row(), 29);
        QVERIFY(fullyVisible(grid, 29));
        contacts().first();
        QCOMPARE(grid.rowAt(0), 0);
        // A move to the row just below the view scrolls by that one row.
        int lastVisible = 0;
        while (fullyVisible(grid, lastVisible + 1))
            ++lastVisible;
        contacts().moveTo(lastVisible + 1);
        QCOMPARE(grid.rowAt(0), 1);
        QCOMPARE(grid.selectionModel()->selectedRows(), {grid.model()->index(lastVisible + 1, 0)});
        // A located record stands near the middle.
        QVERIFY(contacts().locate(u"姓名"_s, u"n00020"_s));
        grid.centerOnCurrent();
        const QRect located = grid.visualRect(grid.model()->index(20, 0));
        QVERIFY(std::abs(located.center().y() - grid.viewport()->height() / 2) <= located.height());
    }

    void drawsOnlyVisibleRows() {
        DBGrid& grid = showGrid(20000);
        RecordingDelegate top;
        grid.setItemDelegate(&top);
        grid.grab();
        QVERIFY(top.highestRow >= 0 && top.highestRow < 100);
        RecordingDelegate bottom;
        grid.setItemDelegate(&bottom);
        contacts().last();
        grid.grab();
        QVERIFY(bottom.lowestRow > 20000 - 100);
        grid.setItemDelegate(nullptr);
    }

    void anotherDataSourceReplacesTheFirst() {
        DBGrid& grid = showGrid(3);
        grid.setDataSource(&m_books->websites());
        QCOMPARE(grid.model()->columnCount(), 4);
        QCOMPARE(grid.model()->rowCount(), 0);
        contacts().last(); // the contacts book no longer moves this grid
        QVERIFY(!grid.currentIndex().isValid());
        grid.setDataSource(nullptr);
        QVERIFY(!grid.model());
    }
};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
