#include "badfiles.h"
#include "store/sqlitestatement.h"
#include "books.h"

#include <QLocale>
#include <QSignalSpy>
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
        QTest::newRow("append") << Operation([](BookDataset& b) { b.append(); }) << closed;
        QTest::newRow("insert") << Operation([](BookDataset& b) { b.insert(); }) << closed;
        QTest::newRow("edit") << Operation([](BookDataset& b) { b.edit(); }) << closed;
        QTest::newRow("delete") << Operation([](BookDataset& b) { b.remove(); }) << closed;
        QTest::newRow("refresh") << Operation([](BookDataset& b) { b.refresh(); }) << closed;
        QTest::newRow("first") << Operation([](BookDataset& b) { b.first(); }) << closed;
        QTest::newRow("next") << Operation([](BookDataset& b) { b.next(); }) << closed;
        QTest::newRow("locate") << Operation([](BookDataset& b) { b.locate(u"姓名"_s, u"a"_s); })
                                << closed;
        QTest::newRow("post") << Operation([](BookDataset& b) { b.post(); })
                              << u"ADOTable1: Dataset not in edit or insert mode"_s;
        QTest::newRow("cancel") << Operation([](BookDataset& b) { b.cancel(); }) << QString();
    }
    void closedDatasetErrors() {
        QFETCH(Operation, op);
        QFETCH(QString, error);
        m_store->closeBooks();
        QCOMPARE(contactsError(op), error);
        QCOMPARE(contacts().recordNumber(), -1);
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

    void refusedRecordsStayInEditing_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty key") << 0 << QString() << u"ADOTable1: 姓名不能为空"_s;
        QTest::newRow("blank key") << 0 << u"   "_s << u"ADOTable1: 姓名不能为空"_s;
        QTest::newRow("duplicate key") << 0 << u"a"_s << u"ADOTable1: 姓名“a”已经存在，不能重复"_s;
        QTest::newRow("too wide") << 0 << QString(51, u'x')
                                  << u"ADOTable1: 姓名最多只能有 50 个字符"_s;
        QTest::newRow("not a date") << 4 << u"明天"_s << u"ADOTable1: “明天”不是有效的日期"_s;
    }
    void refusedRecordsStayInEditing() {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, error);
        fillContacts({u"a"_s});
        contacts().append();
        contacts().setFieldText(column == 0 ? 1 : 0, u"new"_s);
        contacts().setFieldText(column, text);
        QCOMPARE(contactsError([](BookDataset& b) { b.post(); }), error);
        QCOMPARE(contacts().state(), DatasetState::Insert);
        QCOMPARE(contacts().valueText(column), text);
        // A move tries to post again and fails the same way.
        QCOMPARE(contactsError([](BookDataset& b) { b.first(); }), error);
        contacts().remove();
        QCOMPARE(contacts().recordCount(), 1);
    }

    void widthCountsCharacters() {
        test::addRecord(contacts(), {QString(50, QChar(0x59D3))}); // 50 Chinese characters fit
        QCOMPARE(contacts().valueText(0).size(), 50);
        test::addRecord(websites(), {QString(100, u'w')});
        QCOMPARE(websites().valueText(0).size(), 100);
    }

    void valueTexts() {
        test::addRecord(contacts(), {u"a  "_s, {}, {}, {}, u"2024-03-05"_s});
        test::addRecord(contacts(), {u"b"_s, {}, {}, {}, u"2024/3/6"_s});
        contacts().refresh();
        contacts().first();
        QCOMPARE(contacts().valueText(0), u"a  "_s);
        QCOMPARE(contacts().valueText(1), QString());
        QCOMPARE(contacts().valueText(4), u"2024/3/5"_s);
        contacts().next();
        QCOMPARE(contacts().valueText(4), u"2024/3/6"_s);
        contacts().edit();
        contacts().setFieldText(24, u"line 1\r\nline 2\nline 3"_s);
        contacts().post();
        m_store->reopenBooks();
        contacts().last();
        QCOMPARE(contacts().valueText(24), u"line 1\r\nline 2\nline 3"_s);
        // A time of day: short date, a blank and the time, with no zone the value does not have.
        test::addRecord(contacts(), {u"c"_s, {}, {}, {}, u"1990-05-17 08:30:00"_s});
        QCOMPARE(contacts().valueText(4), u"1990/5/17 08:30:00"_s);
    }

    void locateRules_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("found"); // key of the found record, empty when not found
        QTest::newRow("prefix, lowest first") << u"姓名"_s << u"ab"_s << u"ab"_s;
        QTest::newRow("longer prefix") << u"姓名"_s << u"abc"_s << u"abc"_s;
        QTest::newRow("no match") << u"姓名"_s << u"c"_s << QString();
        QTest::newRow("case counts") << u"姓名"_s << u"AB"_s << QString();
        QTest::newRow("percent is plain") << u"姓名"_s << u"%"_s << u"%x"_s;
        QTest::newRow("underscore is plain") << u"邮箱"_s << u"a_"_s << u"b"_s;
        QTest::newRow("empty text finds empty value") << u"邮箱"_s << QString() << u"%x"_s;
        QTest::newRow("non-key column ordered by value") << u"QQ"_s << u"1"_s << u"abc"_s;
        QTest::newRow("chinese prefix") << u"手机"_s << u"张"_s << u"ab"_s;
        QTest::newRow("date equal") << u"生日"_s << u"2024/3/5"_s << u"b"_s;
        QTest::newRow("date iso") << u"生日"_s << u"2024-03-05"_s << u"b"_s;
        QTest::newRow("date no prefix") << u"生日"_s << u"2024"_s << QString();
        QTest::newRow("not a date") << u"生日"_s << u"abc"_s << QString();
        QTest::newRow("date and time as shown") << u"生日"_s << u"2001/12/31 08:30:00"_s << u"%x"_s;
        QTest::newRow("date and time iso") << u"生日"_s << u"2001-12-31 08:30:00"_s << u"%x"_s;
        // A column of another program's making is searched by the text it shows.
        QTest::newRow("number by its text") << u"编号"_s << u"12"_s << u"abc"_s;
        QTest::newRow("number by its text, lowest first") << u"编号"_s << u"5"_s << u"b"_s;
        QTest::newRow("number not found") << u"编号"_s << u"9"_s << QString();
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
        QCOMPARE(ok, !found.isEmpty());
        if (ok)
            QCOMPARE(contacts().valueText(0), found);
        else
            QCOMPARE(contacts().recordNumber(), before);
    }

    void signalsOnOpenAndRefresh() {
        QSignalSpy opened(&contacts(), &BookDataset::afterOpen);
        QSignalSpy refreshed(&contacts(), &BookDataset::afterRefresh);
        m_store->reopenBooks();
        m_store->reopenBooks();
        QCOMPARE(opened.count(), 2);
        contacts().refresh();
        QCOMPARE(refreshed.count(), 1);
        contacts().first();
        QCOMPARE(refreshed.count(), 1);
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
