#include "badfiles.h"
#include "books.h"
#include "tables.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;
using test::cell;

class TestBookDataset : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<RecordStore> m_store;

    BookDataset& contacts() { return m_store->book(BookId::Contacts); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        QFile::remove(m_dir.filePath(u"book.mdb"_s));
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(test::createBookFile(m_dir.path()));
    }

    void postRules_data() {
        test::addTableRows(u"store/post.txt"_s, {"column", "typed", "error", "shown"});
    }
    void postRules() {
        const int c = cell("column").toInt();
        const QString typed = cell("typed"), error = cell("error"), shown = cell("shown");
        test::addRecord(contacts(), {u"a"_s});
        contacts().append();
        contacts().setFieldText(c == 0 ? 1 : 0, u"new"_s);
        contacts().setFieldText(c, typed);
        QCOMPARE(test::storeErrorOf([&] { contacts().post(); }), error);
        if (error.isNull()) { // stored: what the file gives back after reopening
            m_store->reopenBooks();
            contacts().locate(u"姓名"_s, c == 0 ? typed : u"new"_s);
            QCOMPARE(contacts().valueText(c), shown);
            return;
        }
        QCOMPARE(contacts().state(), DatasetState::Insert);
        QCOMPARE(contacts().valueText(c), shown);
        // A move tries to post again and fails the same way.
        QCOMPARE(test::storeErrorOf([&] { contacts().first(); }), error);
        contacts().remove();
        QCOMPARE(contacts().recordCount(), 1);
    }

    // A book far bigger than the tables' books, in pinyin order: 阿 (a), 李 (li), 张 (zhang),
    // where the order of character codes is 张, 李, 阿. Twenty names read "zhang wei" and six
    // begin "zhang zhang zhang", too long to sort by their start alone; equal readings go in the
    // order of character codes (张 彰 漳 章, 为 伟 位 卫 维), wherever they are in the book. A
    // book this big is read in parts on two connections, or on one when the file has moved.
    void pinyinOrderOfABigBook_data() {
        QTest::addColumn<bool>("moved");
        QTest::newRow("two connections") << false;
        QTest::newRow("file moved away") << true;
    }
    void pinyinOrderOfABigBook() {
        QFETCH(bool, moved);
        const QString file = m_store->connection().fileName();
        m_store->closeBooks();
        test::runSql(file, u"WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < 9999) INSERT INTO lianxi1(姓名) SELECT CASE i % 3 WHEN 0 "
                           "THEN '张' WHEN 1 THEN '阿' ELSE '李' END || printf('%05d', i) FROM n;"
                           "WITH s(c) AS (VALUES ('章'), ('张'), ('漳'), ('彰')), "
                           "g(c) AS (VALUES ('维'), ('卫'), ('位'), ('伟'), ('为')) "
                           "INSERT INTO lianxi1(姓名) SELECT s.c || g.c FROM s, g;"
                           "INSERT INTO lianxi1(姓名) VALUES ('章彰漳'), ('张彰张'), ('章彰张'), "
                           "('张彰漳'), ('张彰漳伟'), ('章彰漳阿'), (NULL)"_s);
        m_store->reopenBooks();
        if (moved)
            QVERIFY(QFile::rename(file, file + u".moved"_s));
        contacts().setKeyOrder(KeyOrder::Pinyin);
        QCOMPARE(contacts().recordCount(), 10027);
        QStringList shown;
        for (const int row : {0, 1, 3333, 3334, 6666, 6667, 10000})
            shown << contacts().rowValueText(row, 0);
        QCOMPARE(shown.join(u' '), u" 阿00001 阿09997 李00002 李09998 张00000 张09999"_s);
        shown.clear();
        for (int row = 10001; row < 10027; ++row)
            shown << contacts().rowValueText(row, 0);
        QCOMPARE(shown.join(u' '), u"张为 张伟 张位 张卫 张维 彰为 彰伟 彰位 彰卫 彰维 "
                                   "漳为 漳伟 漳位 漳卫 漳维 章为 章伟 章位 章卫 章维 "
                                   "张彰张 张彰漳 章彰张 章彰漳 章彰漳阿 张彰漳伟"_s);
    }

    // Row ids far apart, the lowest and highest there are among them: a few keys there tell
    // little of how the keys lie, and the order is still whole and right. The lowest row id is
    // also the mark of a record being added, which must not hide a stored one.
    void orderOfFarApartRowIds_data() {
        QTest::addColumn<KeyOrder>("order");
        QTest::addColumn<QString>("shown");
        QTest::newRow("code") << KeyOrder::Code << u"Li 张三 曾阿 李四 王五 阿强"_s;
        QTest::newRow("pinyin") << KeyOrder::Pinyin << u"阿强 曾阿 Li 李四 王五 张三"_s;
    }
    void orderOfFarApartRowIds() {
        QFETCH(KeyOrder, order);
        QFETCH(QString, shown);
        const QString file = m_store->connection().fileName();
        m_store->closeBooks();
        test::runSql(file,
                     u"INSERT INTO lianxi1(rowid, 姓名) VALUES (-9223372036854775808, '张三'), "
                     "(-5, '李四'), (0, '阿强'), (7, '曾阿'), (1099511627776, 'Li'), "
                     "(9223372036854775807, '王五')"_s);
        m_store->reopenBooks();
        contacts().setKeyOrder(order);
        QStringList keys;
        for (int row = 0; row < contacts().recordCount(); ++row)
            keys << contacts().rowValueText(row, 0);
        QCOMPARE(keys.join(u' '), shown);
        // The record under the lowest row id is changed as any other.
        QVERIFY(contacts().locate(u"姓名"_s, u"张三"_s));
        contacts().edit();
        contacts().setFieldText(0, u"张三丰"_s);
        contacts().post();
        QCOMPARE(
            test::runSql(file, u"SELECT 姓名 FROM lianxi1 WHERE rowid = -9223372036854775808"_s),
            QStringList{u"张三丰"_s});
    }

    void locateRules_data() {
        test::addTableRows(u"store/locate.txt"_s, {"column", "text", "found"});
    }
    void locateRules() {
        const QString file = m_store->connection().fileName();
        m_store->closeBooks();
        test::runSql(file,
                     u"ALTER TABLE lianxi1 ADD COLUMN 编号 INTEGER;"
                     "INSERT INTO lianxi1(姓名, 邮箱, QQ, 生日, 手机, 编号) VALUES "
                     "('b', 'a_b', '19', '2024-03-05', NULL, 50), "
                     "('abc', 'axb', '11', NULL, '张三', 123), ('ab', 'a', '2', NULL, '张', 500), "
                     "('%x', NULL, NULL, '2001-12-31 08:30:00', NULL, NULL)"_s);
        m_store->openDatabase(file);
        contacts().moveTo(1);
        const int before = contacts().recordNumber();
        const bool ok = contacts().locate(cell("column"), cell("text"));
        QCOMPARE(ok ? contacts().valueText(0) : QString::number(contacts().recordNumber() - before),
                 cell("found").isNull() ? u"0"_s : cell("found"));
    }
};

QTEST_GUILESS_MAIN(TestBookDataset)
#include "tst_bookdataset.moc"
