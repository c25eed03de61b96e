#include "store/sqlitestatement.h"
#include "store/storeerror.h"
#include "testbooks.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace qb;

namespace {

using Operation = std::function<void(BookDataset&)>;

QString errorOf(const Operation& op, BookDataset& book) {
    try {
        op(book);
    } catch (const StoreError& e) {
        return e.message();
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(Operation)

class TestBookDataset : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;

    BookDataset& contacts() { return m_store->book(BookId::Contacts); }
    BookDataset& websites() { return m_store->book(BookId::Websites); }

    void fillContacts(const QStringList& names) {
        for (const QString& name : names)
            test::addRecord(contacts(), {name});
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        const QString file = test::createBookFile(m_dir->path());
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(file);
    }
    void cleanup() {
        m_store.reset();
        m_dir.reset();
    }

    void closedDatasetErrors_data() {
        QTest::addColumn<Operation>("op");
        QTest::addColumn<QString>("error");
        const QString closed =
            QStringLiteral("ADOTable1: Cannot perform this operation on a closed dataset");
        QTest::newRow("append") << Operation([](BookDataset& b) { b.append(); }) << closed;
        QTest::newRow("insert") << Operation([](BookDataset& b) { b.insert(); }) << closed;
        QTest::newRow("edit") << Operation([](BookDataset& b) { b.edit(); }) << closed;
        QTest::newRow("delete") << Operation([](BookDataset& b) { b.remove(); }) << closed;
        QTest::newRow("refresh") << Operation([](BookDataset& b) { b.refresh(); }) << closed;
        QTest::newRow("first") << Operation([](BookDataset& b) { b.first(); }) << closed;
        QTest::newRow("next") << Operation([](BookDataset& b) { b.next(); }) << closed;
        QTest::newRow("locate") << Operation([](BookDataset& b) {
            b.locate(QStringLiteral("姓名"), QStringLiteral("a"));
        }) << closed;
        QTest::newRow("post") << Operation([](BookDataset& b) { b.post(); })
                              << QStringLiteral("ADOTable1: Dataset not in edit or insert mode");
        QTest::newRow("cancel") << Operation([](BookDataset& b) { b.cancel(); }) << QString();
    }
    void closedDatasetErrors() {
        QFETCH(Operation, op);
        QFETCH(QString, error);
        m_store->closeBooks();
        QCOMPARE(errorOf(op, contacts()), error);
        QCOMPARE(contacts().recordNumber(), -1);
    }

    void emptyDatasetRules() {
        QCOMPARE(contacts().recordNumber(), -1);
        QCOMPARE(contacts().recordCount(), 0);
        QCOMPARE(errorOf([](BookDataset& b) { b.remove(); }, contacts()),
                 QStringLiteral("ADOTable1: Cannot perform this operation on an empty dataset"));
        QCOMPARE(errorOf([](BookDataset& b) { b.post(); }, contacts()),
                 QStringLiteral("ADOTable1: Dataset not in edit or insert mode"));
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
        fillContacts({QStringLiteral("b"), QStringLiteral("d")});
        QCOMPARE(test::keysInGridOrder(contacts()),
                 (QStringList{QStringLiteral("b"), QStringLiteral("d")}));
        contacts().first();
        contacts().insert();
        QCOMPARE(contacts().recordNumber(), -1);
        QCOMPARE(contacts().currentRow(), 0);
        contacts().setFieldText(0, QStringLiteral("z"));
        contacts().post();
        // A posted record keeps the place it was entered at until the next refresh.
        QCOMPARE(test::keysInGridOrder(contacts()),
                 (QStringList{QStringLiteral("z"), QStringLiteral("b"), QStringLiteral("d")}));
        QCOMPARE(contacts().recordNumber(), 1);
        contacts().append();
        QCOMPARE(contacts().currentRow(), 3);
        contacts().cancel();
        QCOMPARE(contacts().rowCount(), 3);
        QCOMPARE(contacts().valueText(0), QStringLiteral("z"));
        contacts().refresh();
        QCOMPARE(test::keysInGridOrder(contacts()),
                 (QStringList{QStringLiteral("b"), QStringLiteral("d"), QStringLiteral("z")}));
        QCOMPARE(contacts().valueText(0), QStringLiteral("z"));
        QCOMPARE(contacts().recordNumber(), 3);
    }

    void leaveEditingPostsOnlyChanges() {
        fillContacts({QStringLiteral("a"), QStringLiteral("b")});
        contacts().first();
        contacts().setFieldText(1, QStringLiteral("a@example.com")); // typing starts editing
        QCOMPARE(contacts().state(), DatasetState::Edit);
        contacts().next();
        QCOMPARE(contacts().state(), DatasetState::Browse);
        QCOMPARE(contacts().rowValueText(0, 1), QStringLiteral("a@example.com"));
        contacts().append();
        contacts().next(); // nothing typed: the new record is dropped
        QCOMPARE(contacts().recordCount(), 2);
        contacts().append();
        contacts().setFieldText(0, QStringLiteral("c"));
        contacts().locate(QStringLiteral("姓名"), QStringLiteral("a"));
        QCOMPARE(contacts().recordCount(), 3);
        QCOMPARE(contacts().valueText(0), QStringLiteral("a"));
    }

    void movesAndPositions() {
        fillContacts({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
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
        QCOMPARE(contacts().recordCount(), 3);
    }

    void deleteRemovesFromFile() {
        fillContacts({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        contacts().moveTo(1);
        contacts().edit();
        contacts().setFieldText(1, QStringLiteral("pending"));
        contacts().remove();
        QCOMPARE(contacts().valueText(0), QStringLiteral("c"));
        contacts().last();
        contacts().remove();
        QCOMPARE(contacts().valueText(0), QStringLiteral("a"));
        m_store->reopenBooks();
        QCOMPARE(test::keysInGridOrder(contacts()), QStringList{QStringLiteral("a")});
    }

    void cancelDiscardsEdits() {
        fillContacts({QStringLiteral("a")});
        contacts().edit();
        contacts().setFieldText(2, QStringLiteral("12345"));
        QCOMPARE(contacts().valueText(2), QStringLiteral("12345"));
        contacts().cancel();
        QCOMPARE(contacts().valueText(2), QString());
        contacts().cancel(); // browsing: nothing happens
        QCOMPARE(contacts().state(), DatasetState::Browse);
    }

    void refusedRecordsStayInEditing_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty key") << 0 << QString() << QStringLiteral("ADOTable1: 姓名不能为空");
        QTest::newRow("blank key")
            << 0 << QStringLiteral("   ") << QStringLiteral("ADOTable1: 姓名不能为空");
        QTest::newRow("duplicate key")
            << 0 << QStringLiteral("a") << QStringLiteral("ADOTable1: 姓名“a”已经存在，不能重复");
        QTest::newRow("too wide") << 0 << QString(51, QLatin1Char('x'))
                                  << QStringLiteral("ADOTable1: 姓名最多只能有 50 个字符");
        QTest::newRow("not a date")
            << 4 << QStringLiteral("明天") << QStringLiteral("ADOTable1: “明天”不是有效的日期");
    }
    void refusedRecordsStayInEditing() {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, error);
        fillContacts({QStringLiteral("a")});
        contacts().append();
        contacts().setFieldText(column == 0 ? 1 : 0, QStringLiteral("new"));
        contacts().setFieldText(column, text);
        QCOMPARE(errorOf([](BookDataset& b) { b.post(); }, contacts()), error);
        QCOMPARE(contacts().state(), DatasetState::Insert);
        QCOMPARE(contacts().valueText(column), text);
        // A move tries to post again and fails the same way.
        QCOMPARE(errorOf([](BookDataset& b) { b.first(); }, contacts()), error);
        contacts().remove();
        QCOMPARE(contacts().recordCount(), 1);
    }

    void widthCountsCharacters() {
        test::addRecord(contacts(), {QString(50, QChar(0x59D3))}); // 50 Chinese characters fit
        QCOMPARE(contacts().valueText(0).size(), 50);
        test::addRecord(websites(), {QString(100, QLatin1Char('w'))});
        QCOMPARE(websites().valueText(0).size(), 100);
    }

    void valueTexts() {
        test::addRecord(contacts(), {QStringLiteral("a  "), QString(), QString(), QString(),
                                     QStringLiteral("2024-03-05")});
        test::addRecord(contacts(), {QStringLiteral("b"), QString(), QString(), QString(),
                                     QStringLiteral("2024/3/6")});
        contacts().refresh();
        contacts().first();
        QCOMPARE(contacts().valueText(0), QStringLiteral("a  "));
        QCOMPARE(contacts().valueText(1), QString());
        QCOMPARE(contacts().valueText(4), QStringLiteral("2024/3/5"));
        contacts().next();
        QCOMPARE(contacts().valueText(4), QStringLiteral("2024/3/6"));
        contacts().edit();
        contacts().setFieldText(24, QStringLiteral("line 1\r\nline 2\nline 3"));
        contacts().post();
        m_store->reopenBooks();
        contacts().last();
        QCOMPARE(contacts().valueText(24), QStringLiteral("line 1\r\nline 2\nline 3"));
    }

    void locateRules_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("found"); // key of the found record, empty when not found
        QTest::newRow("prefix, lowest first")
            << QStringLiteral("姓名") << QStringLiteral("ab") << QStringLiteral("ab");
        QTest::newRow("longer prefix")
            << QStringLiteral("姓名") << QStringLiteral("abc") << QStringLiteral("abc");
        QTest::newRow("no match") << QStringLiteral("姓名") << QStringLiteral("c") << QString();
        QTest::newRow("case counts") << QStringLiteral("姓名") << QStringLiteral("AB") << QString();
        QTest::newRow("percent is plain")
            << QStringLiteral("姓名") << QStringLiteral("%") << QStringLiteral("%x");
        QTest::newRow("underscore is plain")
            << QStringLiteral("邮箱") << QStringLiteral("a_") << QStringLiteral("b");
        QTest::newRow("empty text finds empty value")
            << QStringLiteral("邮箱") << QString() << QStringLiteral("%x");
        QTest::newRow("non-key column ordered by value")
            << QStringLiteral("QQ") << QStringLiteral("1") << QStringLiteral("abc");
        QTest::newRow("chinese prefix")
            << QStringLiteral("手机") << QStringLiteral("张") << QStringLiteral("ab");
        QTest::newRow("date equal")
            << QStringLiteral("生日") << QStringLiteral("2024/3/5") << QStringLiteral("b");
        QTest::newRow("date iso") << QStringLiteral("生日") << QStringLiteral("2024-03-05")
                                  << QStringLiteral("b");
        QTest::newRow("date no prefix")
            << QStringLiteral("生日") << QStringLiteral("2024") << QString();
        QTest::newRow("not a date") << QStringLiteral("生日") << QStringLiteral("abc") << QString();
    }
    void locateRules() {
        QFETCH(QString, column);
        QFETCH(QString, text);
        QFETCH(QString, found);
        test::addRecord(contacts(),
                        {QStringLiteral("b"), QStringLiteral("a_b"), QStringLiteral("19"),
                         QString(), QStringLiteral("2024-03-05")});
        test::addRecord(contacts(),
                        {QStringLiteral("abc"), QStringLiteral("axb"), QStringLiteral("11"),
                         QString(), QString(), QString(), QStringLiteral("张三")});
        test::addRecord(contacts(), {QStringLiteral("ab"), QStringLiteral("a"), QStringLiteral("2"),
                                     QString(), QString(), QString(), QStringLiteral("张")});
        test::addRecord(contacts(), {QStringLiteral("%x")});
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
        fillContacts({QStringLiteral("b"), QStringLiteral("d")});
        contacts().first();
        contacts().insert();
        contacts().setFieldText(0, QStringLiteral("z"));
        contacts().setFieldText(4, QStringLiteral("2020-01-02"));
        QStringList seen;
        contacts().forEachRecord([&](const SqliteStatement& row) {
            seen << contacts().storedValueText(row, 0) + contacts().storedValueText(row, 4);
        });
        QCOMPARE(seen, (QStringList{QStringLiteral("z2020/1/2"), QStringLiteral("b"),
                                    QStringLiteral("d")}));
    }

    void columnsInTableOrder() {
        const QVector<Column>& columns = contacts().columns();
        QCOMPARE(columns.size(), 25);
        QCOMPARE(columns[0].name, QStringLiteral("姓名"));
        QVERIFY(columns[0].key);
        QCOMPARE(columns[3].width, 255);
        QCOMPARE(columns[4].kind, ColumnKind::Date);
        QCOMPARE(columns[5].width, 2);
        QCOMPARE(columns[24].name, QStringLiteral("备注"));
        QCOMPARE(websites().columns().size(), 4);
        QCOMPARE(websites().columns()[0].width, 100);
    }
};

QTEST_GUILESS_MAIN(TestBookDataset)
#include "tst_bookdataset.moc"
