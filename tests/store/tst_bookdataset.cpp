#include "badfiles.h"
#include "books.h"
#include "store/sqlitestatement.h"
#include "tables.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

using Operation = std::function<void(BookDataset&)>;
Q_DECLARE_METATYPE(Operation)

class TestBookDataset : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;

    BookDataset& contacts() { return m_store->book(BookId::Contacts); }
    BookDataset& websites() { return m_store->book(BookId::Websites); }
    QString contactsError(const Operation& op) {
        return test::storeErrorOf([&] { op(contacts()); });
    }
    QStringList keys() { return test::keysInGridOrder(contacts()); }

    void fillContacts(const QStringList& names) {
        for (const QString& name : names)
            test::addRecord(contacts(), {name});
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(test::createBookFile(m_dir->path()));
    }
    void cleanup() {
        m_store.reset();
        m_dir.reset();
    }

    void closedDatasetErrors_data() {
        QTest::addColumn<Operation>("op");
        QTest::addColumn<QString>("error");
        const QString closed = u"ADOTable1: Cannot perform this operation on a closed dataset"_s;
        const QList<std::pair<const char*, Operation>> ops = {
            {"append", &BookDataset::append},
            {"insert", &BookDataset::insert},
            {"edit", &BookDataset::edit},
            {"delete", &BookDataset::remove},
            {"refresh", &BookDataset::refresh},
            {"first", &BookDataset::first},
            {"next", &BookDataset::next},
            {"locate", [](BookDataset& b) { b.locate(u"姓名"_s, u"a"_s); }}};
        for (const auto& [name, op] : ops)
            QTest::newRow(name) << op << closed;
        QTest::newRow("post") << Operation(&BookDataset::post)
                              << u"ADOTable1: Dataset not in edit or insert mode"_s;
        QTest::newRow("cancel") << Operation(&BookDataset::cancel) << QString();
    }
    void emptyDatasetRules() {
        QCOMPARE(contacts().recordNumber(), -1);
        QCOMPARE(contacts().recordCount(), 0);
        QCOMPARE(contactsError([](BookDataset& b) { b.remove(); }),
                 u"ADOTable1: Cannot perform this operation on an empty dataset"_s);
        QCOMPARE(contactsError([](BookDataset& b) { b.post(); }),
                 u"ADOTable1: Dataset not in edit or insert mode"_s);
        contacts().first();
        QCOMPARE(contacts().recordNumber(), -1);
        // Edit on an empty book starts a new record.
        contacts().edit();
        QCOMPARE(contacts().state(), DatasetState::Insert);
        QCOMPARE(contacts().rowCount(), 1);
        QCOMPARE(contacts().recordCount(), 0);
        // Deleting the new record only cancels it.
        contacts().remove();
        QCOMPARE(contacts().state(), DatasetState::Browse);
        QCOMPARE(contacts().rowCount(), 0);
    }

    void appendAndInsertPlaces() {
        fillContacts({u"b"_s, u"d"_s});
        QCOMPARE(keys(), (QStringList{u"b"_s, u"d"_s}));
        contacts().first();
        contacts().insert();
        QCOMPARE(contacts().recordNumber(), -1);
        QCOMPARE(contacts().currentRow(), 0);
        contacts().setFieldText(0, u"z"_s);
        contacts().post();
        // A posted record keeps the place it was entered at until the next refresh.
        QCOMPARE(keys(), (QStringList{u"z"_s, u"b"_s, u"d"_s}));
        QCOMPARE(contacts().recordNumber(), 1);
        contacts().append();
        QCOMPARE(contacts().currentRow(), 3);
        contacts().cancel();
        QCOMPARE(contacts().rowCount(), 3);
        QCOMPARE(contacts().valueText(0), u"z"_s);
        contacts().refresh();
        QCOMPARE(keys(), (QStringList{u"b"_s, u"d"_s, u"z"_s}));
        QCOMPARE(contacts().valueText(0), u"z"_s);
        QCOMPARE(contacts().recordNumber(), 3);
    }

    void leavingAnEdit() {
        fillContacts({u"a"_s, u"b"_s});
        contacts().first();
        contacts().setFieldText(2, u"12345"_s); // typing starts editing
        QCOMPARE(contacts().state(), DatasetState::Edit);
        contacts().cancel();
        QCOMPARE(contacts().valueText(2), QString());
        contacts().cancel(); // browsing: nothing happens
        QCOMPARE(contacts().state(), DatasetState::Browse);
        // A move posts what was typed.
        contacts().setFieldText(1, u"a@example.com"_s);
        contacts().next();
        QCOMPARE(contacts().state(), DatasetState::Browse);
        QCOMPARE(contacts().rowValueText(0, 1), u"a@example.com"_s);
        contacts().append();
        contacts().next(); // nothing typed: the new record is dropped
        QCOMPARE(contacts().recordCount(), 2);
        contacts().append();
        contacts().setFieldText(0, u"c"_s);
        contacts().locate(u"姓名"_s, u"a"_s);
        QCOMPARE(contacts().recordCount(), 3);
        QCOMPARE(contacts().valueText(0), u"a"_s);
    }

    void movesAndPositions() {
        fillContacts({u"a"_s, u"b"_s, u"c"_s});
        contacts().first();
        contacts().prior();
        QCOMPARE(contacts().recordNumber(), 1);
        contacts().last();
        QCOMPARE(contacts().recordNumber(), 3);
        contacts().next();
        QCOMPARE(contacts().recordNumber(), 3);
        QVERIFY(contacts().eof());
        contacts().moveTo(1);
        QCOMPARE(contacts().recordNumber(), 2);
    }

    void deleteRemovesFromFile() {
        fillContacts({u"a"_s, u"b"_s, u"c"_s});
        contacts().moveTo(1);
        contacts().edit();
        contacts().setFieldText(1, u"pending"_s);
        contacts().remove();
        QCOMPARE(contacts().valueText(0), u"c"_s);
        contacts().last();
        contacts().remove();
        QCOMPARE(contacts().valueText(0), u"a"_s);
        m_store->reopenBooks();
        QCOMPARE(keys(), QStringList{u"a"_s});
    }

    void postRules_data() {
        test::addTableRows(u"store/post.txt"_s, {"column", "typed", "error", "shown"});
    }
    void postRules() {
        QFETCH(QString, column);
        QFETCH(QString, typed);
        QFETCH(QString, error);
        QFETCH(QString, shown);
        const int c = column.toInt();
        fillContacts({u"a"_s});
        contacts().append();
        contacts().setFieldText(c == 0 ? 1 : 0, u"new"_s);
        contacts().setFieldText(c, typed);
        QCOMPARE(contactsError([](BookDataset& b) { b.post(); }), error);
        if (error.isNull()) { // stored: what the file gives back after reopening
            m_store->reopenBooks();
            contacts().locate(u"姓名"_s, c == 0 ? typed : u"new"_s);
            QCOMPARE(contacts().valueText(c), shown);
            return;
        }
        QCOMPARE(contacts().state(), DatasetState::Insert);
        QCOMPARE(contacts().valueText(c), shown);
        // A move tries to post again and fails the same way.
        QCOMPARE(contactsError([](BookDataset& b) { b.first(); }), error);
        contacts().remove();
        QCOMPARE(contacts().recordCount(), 1);
    }

    void locateRules_data() {
        test::addTableRows(u"store/locate.txt"_s, {"column", "text", "found"});
    }
    void locateRules() {
        QFETCH(QString, column);
        QFETCH(QString, text);
        QFETCH(QString, found);
        const QString file = m_store->connection().fileName();
        m_store->closeBooks();
        test::runSql(file, u"ALTER TABLE lianxi1 ADD COLUMN 编号 INTEGER"_s);
        m_store->openDatabase(file);
        test::addRecord(contacts(), {u"b"_s, u"a_b"_s, u"19"_s, {}, u"2024-03-05"_s});
        test::addRecord(contacts(), {u"abc"_s, u"axb"_s, u"11"_s, {}, {}, {}, u"张三"_s});
        test::addRecord(contacts(), {u"ab"_s, u"a"_s, u"2"_s, {}, {}, {}, u"张"_s});
        test::addRecord(contacts(), {u"%x"_s, {}, {}, {}, u"2001-12-31 08:30:00"_s});
        test::runSql(file, u"UPDATE lianxi1 SET 编号 = CASE 姓名 WHEN 'b' THEN 50 "
                           "WHEN 'abc' THEN 123 WHEN 'ab' THEN 500 END"_s);
        contacts().moveTo(1);
        const int before = contacts().recordNumber();
        const bool ok = contacts().locate(column, text);
        QCOMPARE(ok, !found.isNull());
        if (ok)
            QCOMPARE(contacts().valueText(0), found);
        else
            QCOMPARE(contacts().recordNumber(), before);
    }

    void forEachRecordFollowsGridOrder() {
        fillContacts({u"b"_s, u"d"_s});
        contacts().first();
        contacts().insert();
        contacts().setFieldText(0, u"z"_s);
        contacts().setFieldText(4, u"2020-01-02"_s);
        QStringList seen;
        contacts().forEachRecord([&](const SqliteStatement& row, int gridRow) {
            seen << QString::number(gridRow) + contacts().storedValueText(row, 0) +
                        contacts().storedValueText(row, 4);
        });
        QCOMPARE(seen, (QStringList{u"0z2020/1/2"_s, u"1b"_s, u"2d"_s}));
    }
};

QTEST_GUILESS_MAIN(TestBookDataset)
#include "tst_bookdataset.moc"
