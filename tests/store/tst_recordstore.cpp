#include "badfiles.h"
#include "books.h"
#include "store/databasefile.h"
#include "store/sqlitestatement.h"
#include "tables.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;
using test::cell;

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
        const QVector<Column>& c = open(BookId::Contacts).columns();
        QCOMPARE(QList({int(c.size()), c[3].width, c[5].width, int(c[0].key), int(c[1].key),
                        int(c[4].kind), m_store->book(BookId::Websites).columns()[0].width}),
                 QList({25, 255, 2, 1, 0, int(ColumnKind::Date), 100}));
    }

    // A dangling link is a name in use too: nothing is written where it points.
    void backupOntoADanglingLink() {
        QVERIFY(QFile::link(path(u"elsewhere.mdb"_s), path(u"link.mdb"_s)));
        open(BookId::Contacts);
        QVERIFY(test::storeErrorOf([&] {
                    m_store->backupDatabase(path(u"link.mdb"_s));
                }).contains(u"已经存在"_s));
        QVERIFY(!QFile::exists(path(u"elsewhere.mdb"_s)));
    }

    void editsOfAnotherProgramsRecords_data() {
        test::addTableRows(u"store/edits.txt"_s, {"stored", "book", "other", "column", "shown",
                                                  "typed", "error", "query", "rows", "refreshed"});
    }
    void editsOfAnotherProgramsRecords() {
        const QString column = cell("column"), typed = cell("typed"), error = cell("error");
        BookDataset& dataset = open(
            cell("book") == u"contacts"_s ? BookId::Contacts : BookId::Websites, cell("stored"));
        dataset.last();
        QTEST(dataset.valueText(0), "shown");
        if (!cell("other").isNull())
            test::runSql(m_file, cell("other"));
        for (int row = 0; row < dataset.rowCount(); ++row)
            dataset.rowValueText(row, 0);
        const QString message = test::storeErrorOf([&] {
            if (column.isNull())
                return dataset.remove();
            dataset.setFieldText(dataset.columnIndex(column), typed);
            dataset.post();
        });
        QVERIFY2(message.contains(error) && message.isEmpty() == error.isEmpty(),
                 qPrintable(message));
        QTEST(test::runSql(m_file, cell("query")).join(u','), "rows");
        if (cell("refreshed").isNull())
            return;
        if (!column.isNull() && !error.isNull()) {
            QCOMPARE(dataset.valueText(column), typed);
            dataset.refresh();
            QCOMPARE(dataset.valueText(column), typed);
            dataset.post();
        }
        dataset.refresh();
        QTEST(test::runSql(m_file, cell("query")).join(u','), "refreshed");
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

    void mdbRule_data() { test::addTableRows(u"store/mdb-names.txt"_s, {"chosen", "result"}); }
    void mdbRule() { QTEST(withMdbExtension(cell("chosen")), "result"); }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
