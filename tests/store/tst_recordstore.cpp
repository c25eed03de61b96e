#include "badfiles.h"
#include "books.h"
#include "places.h"
#include "store/databasefile.h"
#include "store/sqlitestatement.h"
#include "tables.h"
#include "testfiles.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

class TestRecordStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    // The statements are stored as run, each line ended by CR LF.
    void newDatabaseHoldsTheThreeTables() {
        const QString file = test::createBookFile(m_dir->path());
        QCOMPARE(test::firstColumn(
                     file, u"select sql from sqlite_master where type='table' order by rowid"_s)
                     .join(u'\n')
                     .toUtf8(),
                 test::goldenBytes(u"store/create.sql"_s));
        RecordStore store;
        store.openDatabase(file);
        // What the columns' declared types give.
        const QVector<Column>& columns = store.book(BookId::Contacts).columns();
        QCOMPARE(columns.size(), 25);
        QVERIFY(columns[0].key && !columns[1].key && columns[4].kind == ColumnKind::Date);
        QCOMPARE(QList({columns[3].width, columns[5].width,
                        store.book(BookId::Websites).columns()[0].width}),
                 QList({255, 2, 100}));
    }

    void createRefusesExistingAndUnwritable() {
        const QString existing = path(u"old.mdb"_s);
        test::writeBytes(existing, "keep me");
        RecordStore store;
        QCOMPARE(store.createDatabase(existing), RecordStore::CreateResult::AlreadyExists);
        QCOMPARE(test::readBytes(existing), "keep me"_ba);
        // A path below a regular file cannot be created, even by root.
        QCOMPARE(store.createDatabase(existing + u"/new.mdb"_s),
                 RecordStore::CreateResult::FileCreationFailed);
        QVERIFY(!store.isOpen());
        const QString message =
            test::storeErrorOf([&] { store.openDatabase(u"/nonexistent/x.mdb"_s); });
        QVERIFY2(message.contains(u"不存在"_s), qPrintable(message));
    }

    void badFilesAreRefusedAndLeftAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        for (const test::BadFileKind& kind : test::badFileKinds())
            QTest::newRow(qPrintable(kind.name)) << kind.name << kind.error;
    }
    void badFilesAreRefusedAndLeftAlone() {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        const QString good = test::createBookFile(m_dir->path(), u"good.mdb"_s);
        const QString bad = path(u"bad.mdb"_s);
        test::makeBadFile(kind, bad);
        const QByteArray before = test::readBytes(bad);
        RecordStore store;
        for (BookId id : allBooks()) // what the entry controls bind to
            store.book(id).setRequiredColumns(tableSchema(id).columnNames);
        store.openDatabase(good);
        test::addRecord(store.book(BookId::Contacts), {u"张三"_s});
        const QString message = test::storeErrorOf([&] { store.openDatabase(bad); });
        QVERIFY2(message.contains(error), qPrintable(message + u" / "_s + error));
        QCOMPARE(test::readBytes(bad), before);
        // The database that was open stays open and unchanged.
        QVERIFY(store.isOpen());
        QCOMPARE(store.connection().fileName() + store.book(BookId::Contacts).valueText(0),
                 good + u"张三"_s);
    }

    void backupIsConsistentAndBecomesTheOpenDatabase() {
        const QString file = test::createBookFile(m_dir->path());
        RecordStore store;
        store.openDatabase(file);
        test::addRecord(store.book(BookId::Websites), {u"站"_s, u"example.com"_s});
        const QString copy = path(u"copy.mdb"_s);
        store.backupDatabase(copy);
        QCOMPARE(store.connection().fileName(), copy);
        QCOMPARE(store.book(BookId::Websites).recordCount(), 1);
        test::addRecord(store.book(BookId::Websites), {u"后来"_s});
        RecordStore original;
        original.openDatabase(file);
        QCOMPARE(original.book(BookId::Websites).recordCount(), 1);

        // A dangling link is a name in use too: the copy is not written where it points.
        test::writeBytes(path(u"existing.mdb"_s), "x");
        QVERIFY(QFile::link(path(u"elsewhere.mdb"_s), path(u"link.mdb"_s)));
        for (const QString& name : {u"existing.mdb"_s, u"link.mdb"_s})
            QVERIFY(test::storeErrorOf([&] {
                        store.backupDatabase(path(name));
                    }).contains(u"已经存在"_s));
        QCOMPARE(test::readBytes(path(u"existing.mdb"_s)) +
                     test::readBytes(path(u"elsewhere.mdb"_s)),
                 "x"_ba);
        QCOMPARE(store.connection().fileName(), copy);
    }

    // A record another program stored, with values Quillbox would never write and a trigger
    // that empties the other books. Editing its phone number changes those bytes and nothing
    // else in the file.
    void anEditTouchesOnlyItsColumn() {
        const QString file = test::createBookFile(m_dir->path());
        test::runSql(file, u"INSERT INTO lianxi1(姓名, 邮箱, QQ, 生日, 性别, 手机, 身份证, 传真) "
                           "VALUES ('张三', CAST(x'D5C5C8FD' AS TEXT), x'00FF10', "
                           "3.141592653589793, '', '138', printf('%.60c', '1'), "
                           "CAST(x'610062' AS TEXT));"
                           "INSERT INTO wzsk1(网址名称) VALUES ('站');"
                           "INSERT INTO xuliehao1(名称版本号) VALUES ('软件');"
                           "CREATE TRIGGER wipe AFTER UPDATE ON lianxi1 BEGIN "
                           "DELETE FROM wzsk1; DELETE FROM xuliehao1; END"_s);
        RecordStore store;
        store.openDatabase(file);
        BookDataset& contacts = store.book(BookId::Contacts);
        contacts.setFieldText(contacts.columnIndex(u"手机"_s), u"139"_s);
        contacts.post();
        const QString stored =
            u"SELECT typeof(姓名) || hex(姓名) || ' ' || typeof(邮箱) || hex(邮箱) || ' ' || "
            "typeof(QQ) || hex(QQ) || ' ' || typeof(生日) || (生日 = 3.141592653589793) || ' ' || "
            "typeof(性别) || hex(性别) || ' ' || typeof(手机) || hex(手机) || ' ' || "
            "typeof(身份证) || length(身份证) || ' ' || typeof(传真) || hex(传真) || ' ' || "
            "typeof(备注) FROM lianxi1"_s;
        QCOMPARE(test::firstColumn(file, stored),
                 QStringList{u"textE5BCA0E4B889 textD5C5C8FD blob00FF10 real1 text text313339 "
                             "text60 text610062 null"_s});
        QCOMPARE(test::firstColumn(file, u"SELECT (SELECT count(*) FROM wzsk1) || (SELECT count(*) "
                                         "FROM xuliehao1) || (SELECT count(*) FROM sqlite_master "
                                         "WHERE type = 'trigger')"_s),
                 QStringList{u"111"_s});
    }

    // Values of 10 MB from another program are shown cut; an edit of one changes the whole
    // value the way the control's text changed, and the record next to it is left alone.
    void hugeValuesAreShownCutAndEditedWhole() {
        const QString file = test::createBookFile(m_dir->path());
        test::runSql(file,
                     u"ALTER TABLE wzsk1 ADD COLUMN 附件 text;"
                     "INSERT INTO wzsk1(网址名称, 备注, 附件) VALUES "
                     "('站1', printf('%.*c', 10000000, '备'), printf('%.*c', 10000000, 'a')),"
                     "('站2', printf('%.*c', 10000000, '备'), printf('%.*c', 10000000, 'b'))"_s);
        RecordStore store;
        store.openDatabase(file);
        BookDataset& websites = store.book(BookId::Websites);
        const int note = websites.columnIndex(u"备注"_s);
        const int extra = websites.columnIndex(u"附件"_s);
        QCOMPARE(websites.valueText(note), QString(4096, u'备'));
        QCOMPARE(websites.rowValueText(1, extra), QString(4096, u'b'));
        websites.setFieldText(extra, u"头"_s + QString(4096, u'a') + u"尾"_s);
        QCOMPARE(websites.valueText(extra), u"头"_s + QString(4096, u'a') + u"尾"_s);
        websites.setFieldText(extra, u"头"_s + QString(4095, u'a') + u"尾"_s);
        websites.post();
        QCOMPARE(test::firstColumn(file, u"SELECT length(附件) || substr(附件, 1, 1) || "
                                         "substr(附件, 4096, 3) || length(备注) FROM wzsk1"_s),
                 (QStringList{u"10000001头a尾a10000000"_s, u"10000000bbbb10000000"_s}));
    }

    // What the book showed of the current record stays the condition of its write, however
    // far the grid scrolls in between.
    void shownRecordOutlivesScrolling() {
        const QString file = test::createBookFile(m_dir->path());
        test::runSql(file, u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < 3000) INSERT INTO lianxi1(姓名) SELECT printf('c%04d', i) "
                           "FROM n"_s);
        RecordStore store;
        store.openDatabase(file);
        BookDataset& contacts = store.book(BookId::Contacts);
        QCOMPARE(contacts.valueText(0), u"c0001"_s);
        test::runSql(file, u"UPDATE lianxi1 SET 手机 = '1' WHERE 姓名 = 'c0001'"_s);
        for (int row = 0; row < contacts.rowCount(); ++row)
            contacts.rowValueText(row, 0);
        QVERIFY(test::storeErrorOf([&] { contacts.remove(); }).contains(u"已被另一个程序修改"_s));
    }

    // A statement that would run for ever or make a gigantic value stops with a clear error.
    void runawayStatementsStop() {
        RecordStore store;
        store.openDatabase(test::createBookFile(m_dir->path()));
        const ScopedStatementDeadline deadline(200);
        for (const auto& [sql, error] :
             {std::pair{u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                        "SELECT count(*) FROM n"_s,
                        u"一条语句运行超过 0.2 秒，已经中止，数据库文件没有改变"_s},
              std::pair{u"SELECT hex(zeroblob(50000000))"_s, u"string or blob too big"_s}}) {
            const QString message =
                test::storeErrorOf([&] { execSql(store.connection().handle(), sql); });
            QVERIFY2(message.contains(error), qPrintable(message));
        }
    }

    // A write happens only when the row still holds what was shown; otherwise it is refused,
    // the typed value stays, and 刷新 puts it on top of what the file holds now.
    void staleWritesAreRefused_data() {
        test::addTableRows(u"store/stale-writes.txt"_s,
                           {"other", "command", "error", "stored", "afterRefresh"});
    }
    void staleWritesAreRefused() {
        QFETCH(QString, other);
        QFETCH(QString, command);
        QFETCH(QString, error);
        QFETCH(QString, stored);
        QFETCH(QString, afterRefresh);
        const bool deleting = command == u"delete"_s;
        const QString file = test::createBookFile(m_dir->path());
        test::runSql(file, u"INSERT INTO lianxi1(姓名, 手机, 邮箱) VALUES ('一', '1', 'a@x'), "
                           "('二', '2', 'a@x')"_s);
        const auto namesAndPhones = [&file] {
            return test::firstColumn(file, u"SELECT 姓名 || ':' || 手机 || ifnull(':' || 邮箱, '') "
                                           "FROM lianxi1 ORDER BY 姓名"_s)
                .join(u',');
        };
        RecordStore store;
        store.openDatabase(file);
        BookDataset& contacts = store.book(BookId::Contacts);
        const int phone = contacts.columnIndex(u"手机"_s);
        contacts.last();
        QCOMPARE(contacts.valueText(0), u"二"_s); // what the user sees
        test::runSql(file, other);
        const QString message = test::storeErrorOf([&] {
            if (deleting) {
                contacts.remove();
            } else {
                contacts.setFieldText(phone, u"9"_s);
                contacts.post();
            }
        });
        QVERIFY2(message.contains(error) && message.isEmpty() == error.isEmpty(),
                 qPrintable(message));
        QCOMPARE(namesAndPhones(), stored);
        if (!deleting && !error.isEmpty()) {
            QCOMPARE(contacts.valueText(phone), u"9"_s);
            contacts.refresh();
            QCOMPARE(contacts.valueText(phone), u"9"_s);
            contacts.post();
        } else {
            contacts.refresh();
        }
        QCOMPARE(namesAndPhones(), afterRefresh);
    }

    void mdbRule_data() { test::addTableRows(u"store/mdb-names.txt"_s, {"chosen", "result"}); }
    void mdbRule() {
        QFETCH(QString, chosen);
        QFETCH(QString, result);
        QCOMPARE(withMdbExtension(chosen), result);
    }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
