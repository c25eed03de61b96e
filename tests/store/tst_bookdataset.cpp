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

    void appendAndInsertPlaces() {
        fillContacts({u"b"_s, u"d"_s});
        contacts().first();
        contacts().insert();
        contacts().setFieldText(0, u"z"_s);
        contacts().post();
        // A posted record keeps the place it was entered at until the next refresh.
        QCOMPARE(keys(), (QStringList{u"z"_s, u"b"_s, u"d"_s}));
        contacts().refresh();
        QCOMPARE(keys(), (QStringList{u"b"_s, u"d"_s, u"z"_s}));
        QCOMPARE(contacts().valueText(0) + QString::number(contacts().recordNumber()), u"z3"_s);
    }

    void leavingAnEdit() {
        fillContacts({u"a"_s, u"b"_s});
        contacts().first();
        contacts().setFieldText(2, u"12345"_s); // typing starts editing
        contacts().cancel();
        contacts().cancel(); // browsing: nothing happens
        QCOMPARE(contacts().valueText(2), QString());
        // A move posts what was typed.
        contacts().setFieldText(1, u"a@example.com"_s);
        contacts().next();
        QCOMPARE(contacts().rowValueText(0, 1), u"a@example.com"_s);
        contacts().append();
        contacts().next(); // nothing typed: the new record is dropped
        QCOMPARE(contacts().recordCount(), 2);
        contacts().append();
        contacts().setFieldText(0, u"c"_s);
        contacts().locate(u"姓名"_s, u"a"_s);
        QCOMPARE(contacts().valueText(0) + QString::number(contacts().recordCount()), u"a3"_s);
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
