#include "openbooks.h"
#include "widgets/dbgrid.h"

#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

class TestDBGrid : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A move scrolls just enough, a located record stands near the middle.
    void movesScroll() {
        test::OpenBooks books;
        books.addContacts(30);
        BookDataset& contacts = books.contacts();
        DBGrid grid;
        grid.resize(320, 200);
        grid.setDataSource(&contacts);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const auto fullyVisible = [&grid](int row) {
            const QRect rect = grid.visualRect(grid.model()->index(row, 0));
            return rect.top() >= 0 && rect.bottom() < grid.viewport()->height();
        };
        int lastVisible = 0;
        while (fullyVisible(lastVisible + 1))
            ++lastVisible;
        contacts.moveTo(lastVisible + 1);
        QCOMPARE(grid.rowAt(0), 1);
        QCOMPARE(grid.selectionModel()->selectedRows(), {grid.model()->index(lastVisible + 1, 0)});
        QVERIFY(contacts.locate(u"姓名"_s, u"n00020"_s));
        grid.centerOnCurrent();
        const QRect located = grid.visualRect(grid.model()->index(20, 0));
        QVERIFY(std::abs(located.center().y() - grid.viewport()->height() / 2) <= located.height());
        // Another book replaces the first: the contacts no longer move this grid.
        grid.setDataSource(&books.websites());
        QCOMPARE(grid.model()->columnCount(), 4);
        contacts.last();
        QVERIFY(!grid.currentIndex().isValid());
    }
};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
