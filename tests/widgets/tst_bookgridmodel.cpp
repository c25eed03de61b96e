#include "openbooks.h"
#include "widgets/bookgridmodel.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <functional>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

using Operation = std::function<void(BookDataset&)>;

QStringList columnZero(const QAbstractItemModel& model) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, 0).data().toString();
    return texts;
}

QStringList indicators(const QAbstractItemModel& model) {
    QStringList marks;
    for (int row = 0; row < model.rowCount(); ++row)
        marks << model.headerData(row, Qt::Vertical).toString();
    return marks;
}

} // namespace

Q_DECLARE_METATYPE(Operation)

class TestBookGridModel : public QObject {
    Q_OBJECT

    std::unique_ptr<test::OpenBooks> m_books;

    BookDataset& contacts() { return m_books->contacts(); }

private Q_SLOTS:
    void init() {
        m_books = std::make_unique<test::OpenBooks>();
        for (const char* name : {"b", "d", "f"})
            test::addRecord(contacts(), {QString::fromLatin1(name)});
        contacts().refresh();
        contacts().first();
    }
    void cleanup() { m_books.reset(); }

    // Every change of the dataset reaches the model as consistent model signals, and the
    // model then shows exactly the dataset's rows.
    void followsDatasetChanges_data() {
        QTest::addColumn<Operation>("op");
        QTest::addColumn<QStringList>("rows");
        const auto type = [](BookDataset& b, const char* key) {
            b.setFieldText(0, QString::fromLatin1(key));
        };
        QTest::newRow("append, cancel") << Operation([](BookDataset& b) {
            b.append();
            b.cancel();
        }) << QStringList{u"b"_s, u"d"_s, u"f"_s};
        QTest::newRow("append, post") << Operation([&](BookDataset& b) {
            b.append();
            type(b, "a");
            b.post();
        }) << QStringList{u"b"_s, u"d"_s, u"f"_s, u"a"_s};
        QTest::newRow("insert in the middle, cancel") << Operation([](BookDataset& b) {
            b.moveTo(1);
            b.insert();
            b.cancel();
        }) << QStringList{u"b"_s, u"d"_s, u"f"_s};
        QTest::newRow("insert, typed, moved away") << Operation([&](BookDataset& b) {
            b.moveTo(1);
            b.insert();
            type(b, "c");
            b.moveTo(0);
        }) << QStringList{u"b"_s, u"c"_s, u"d"_s, u"f"_s};
        QTest::newRow("insert untouched, moved away") << Operation([](BookDataset& b) {
            b.moveTo(2);
            b.insert();
            b.moveTo(0);
        }) << QStringList{u"b"_s, u"d"_s, u"f"_s};
        QTest::newRow("edit, cancel") << Operation([&](BookDataset& b) {
            b.moveTo(1);
            type(b, "x");
            b.cancel();
        }) << QStringList{u"b"_s, u"d"_s, u"f"_s};
        QTest::newRow("edit, post") << Operation([&](BookDataset& b) {
            b.moveTo(1);
            type(b, "x");
            b.post();
        }) << QStringList{u"b"_s, u"x"_s, u"f"_s};
        QTest::newRow("delete first")
            << Operation([](BookDataset& b) { b.remove(); }) << QStringList{u"d"_s, u"f"_s};
        QTest::newRow("delete last") << Operation([](BookDataset& b) {
            b.last();
            b.remove();
        }) << QStringList{u"b"_s, u"d"_s};
        QTest::newRow("delete while editing") << Operation([&](BookDataset& b) {
            b.moveTo(1);
            type(b, "x");
            b.remove();
        }) << QStringList{u"b"_s, u"f"_s};
        QTest::newRow("delete all") << Operation([](BookDataset& b) {
            while (b.recordCount() > 0)
                b.remove();
        }) << QStringList{};
        QTest::newRow("post, refresh") << Operation([&](BookDataset& b) {
            b.append();
            type(b, "a");
            b.post();
            b.refresh();
        }) << QStringList{u"a"_s, u"b"_s, u"d"_s, u"f"_s};
        QTest::newRow("close") << Operation([](BookDataset& b) { b.close(); }) << QStringList{};
    }
    void followsDatasetChanges() {
        QFETCH(Operation, op);
        QFETCH(QStringList, rows);
        BookGridModel model(contacts());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        op(contacts());
        QCOMPARE(model.rowCount(), contacts().rowCount());
        QCOMPARE(columnZero(model), rows);
        m_books->store.reopenBooks();
        QCOMPARE(model.rowCount(), contacts().recordCount());
        QCOMPARE(model.columnCount(), 25);
    }

    void titlesAreColumnNamesInTableOrder() {
        BookGridModel model(contacts());
        QStringList titles;
        for (int column = 0; column < model.columnCount(); ++column)
            titles << model.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(titles, tableSchema(BookId::Contacts).columnNames);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    }

    void closedBookShowsNothing() {
        BookGridModel model(contacts());
        m_books->store.closeBooks();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);
    }

    void indicatorMarksCurrentRecordAndState() {
        BookGridModel model(contacts());
        const QString current = QStringLiteral("▶");
        QCOMPARE(indicators(model), (QStringList{current, {}, {}}));
        contacts().moveTo(2);
        QCOMPARE(indicators(model), (QStringList{{}, {}, current}));
        contacts().edit();
        QCOMPARE(indicators(model), (QStringList{{}, {}, QStringLiteral("I")}));
        contacts().moveTo(0);
        contacts().insert();
        QCOMPARE(indicators(model), (QStringList{QStringLiteral("*"), {}, {}, {}}));
        contacts().cancel();
        QCOMPARE(indicators(model), (QStringList{current, {}, {}}));
    }

    void lineBreaksShowAsMark() {
        BookGridModel model(contacts());
        const int note = contacts().columnIndex(QStringLiteral("备注"));
        contacts().setFieldText(note, QStringLiteral("a\r\nb\nc"));
        contacts().post();
        QCOMPARE(model.index(0, note).data().toString(), QStringLiteral("a↵b↵c"));
        QCOMPARE(contacts().valueText(note), QStringLiteral("a\r\nb\nc"));
    }
};

QTEST_MAIN(TestBookGridModel)
#include "tst_bookgridmodel.moc"
