#include "badfiles.h"
#include "books.h"
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
    QString m_file;
    std::unique_ptr<RecordStore> m_store;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    // The book, with what the SQL puts in, opened by the store.
    BookDataset& open(BookId id, const QString& sql = {}) {
        if (!sql.isEmpty())
            test::runSql(m_file, sql);
        m_store->openDatabase(m_file);
        return m_store->book(id);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_file = test::createBookFile(m_dir->path());
        m_store = std::make_unique<RecordStore>();
    }
    void cleanup() {
        m_store.reset();
        m_dir.reset();
    }

    // The statements are stored as run, each line ended by CR LF; the declared types give
    // the columns' kinds and widths.
    void newDatabaseHoldsTheThreeTables() {
        QCOMPARE(test::runSql(m_file, u"select sql from sqlite_master where type='table' "
                                      "order by rowid"_s)
                     .join(u'\n')
                     .toUtf8(),
                 test::goldenBytes(u"store/create.sql"_s));
        const QVector<Column>& columns = open(BookId::Contacts).columns();
        QCOMPARE(columns.size(), 25);
        QVERIFY(columns[0].key && !columns[1].key && columns[4].kind == ColumnKind::Date);
        QCOMPARE(QList({columns[3].width, columns[5].width,
                        m_store->book(BookId::Websites).columns()[0].width}),
                 QList({255, 2, 100}));
    }

    // A name in use is never overwritten, a dangling link included: nothing is written where
    // it points. A backup becomes the open database.
    void createAndBackUp() {
        const QString existing = path(u"old.mdb"_s);
        test::writeBytes(existing, "keep me");
        QVERIFY(QFile::link(path(u"elsewhere.mdb"_s), path(u"link.mdb"_s)));
        QCOMPARE(m_store->createDatabase(existing), RecordStore::CreateResult::AlreadyExists);
        // A path below a regular file cannot be created, even by root.
        QCOMPARE(m_store->createDatabase(existing + u"/new.mdb"_s),
                 RecordStore::CreateResult::FileCreationFailed);
        QVERIFY(test::storeErrorOf([&] {
                    m_store->openDatabase(u"/nonexistent/x.mdb"_s);
                }).contains(u"不存在"_s));
        test::addRecord(open(BookId::Websites), {u"站"_s, u"example.com"_s});
        const QString copy = path(u"copy.mdb"_s);
        m_store->backupDatabase(copy);
        test::addRecord(m_store->book(BookId::Websites), {u"后来"_s});
        for (const QString& name : {u"old.mdb"_s, u"link.mdb"_s})
            QVERIFY(test::storeErrorOf([&] {
                        m_store->backupDatabase(path(name));
                    }).contains(u"已经存在"_s));
        QCOMPARE(test::readBytes(existing) + test::readBytes(path(u"elsewhere.mdb"_s)),
                 "keep me"_ba);
        QCOMPARE(m_store->connection().fileName(), copy);
        QCOMPARE(test::runSql(m_file, u"SELECT count(*) FROM wzsk1"_s) +
                     test::runSql(copy, u"SELECT count(*) FROM wzsk1"_s),
                 (QStringList{u"1"_s, u"2"_s}));
    }

    void editOfAnotherProgramsRecord_data() {
        test::addTableRows(u"store/edits.txt"_s,
                           {"stored", "book", "column", "shown", "typed", "query", "rows"});
    }
    void editOfAnotherProgramsRecord() {
        QFETCH(QString, stored);
        QFETCH(QString, book);
        QFETCH(QString, column);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(QString, query);
        QFETCH(QString, rows);
        BookDataset& dataset =
            open(book == u"contacts"_s ? BookId::Contacts : BookId::Websites, stored);
        QCOMPARE(dataset.valueText(column), shown);
        dataset.setFieldText(dataset.columnIndex(column), typed);
        dataset.post();
        QCOMPARE(test::runSql(m_file, query).join(u','), rows);
    }

    // A statement that would run for ever or make a gigantic value stops with a clear error.
    void runawayStatementsStop() {
        open(BookId::Contacts);
        const ScopedStatementDeadline deadline(200);
        for (const auto& [sql, error] :
             {std::pair{u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                        "SELECT count(*) FROM n"_s,
                        u"一条语句运行超过 0.2 秒，已经中止，数据库文件没有改变"_s},
              std::pair{u"SELECT hex(zeroblob(50000000))"_s, u"string or blob too big"_s}}) {
            const QString message =
                test::storeErrorOf([&] { execSql(m_store->connection().handle(), sql); });
            QVERIFY2(message.contains(error), qPrintable(message));
        }
    }

    // A write happens only when the row still holds what was shown, however far the grid
    // scrolled in between; otherwise it is refused, the typed value stays, and 刷新 puts it on
    // top of what the file holds now.
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
        BookDataset& contacts = open(
            BookId::Contacts,
            u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "INSERT INTO lianxi1(姓名) SELECT printf('c%04d', i) FROM n;"
            "INSERT INTO lianxi1(姓名, 手机, 邮箱) VALUES ('一', '1', 'a@x'), ('二', '2', 'a@x')"_s);
        const auto namesAndPhones = [this] {
            return test::runSql(m_file, u"SELECT 姓名 || ':' || 手机 || ifnull(':' || 邮箱, '') "
                                        "FROM lianxi1 WHERE 手机 > '' ORDER BY 姓名"_s)
                .join(u',');
        };
        const int phone = contacts.columnIndex(u"手机"_s);
        contacts.last();
        QCOMPARE(contacts.valueText(0), u"二"_s); // what the user sees
        test::runSql(m_file, other);
        for (int row = 0; row < contacts.rowCount(); ++row)
            contacts.rowValueText(row, 0);
        const QString message = test::storeErrorOf([&] {
            if (command == u"delete"_s)
                return contacts.remove();
            contacts.setFieldText(phone, u"9"_s);
            contacts.post();
        });
        QVERIFY2(message.contains(error) && message.isEmpty() == error.isEmpty(),
                 qPrintable(message));
        QCOMPARE(namesAndPhones(), stored);
        if (command == u"edit"_s && !error.isEmpty()) {
            QCOMPARE(contacts.valueText(phone), u"9"_s);
            contacts.refresh();
            QCOMPARE(contacts.valueText(phone), u"9"_s);
            contacts.post();
        }
        contacts.refresh();
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
