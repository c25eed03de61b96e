#include "badfiles.h"
#include "store/databasefile.h"
#include "testbooks.h"
#include "testfiles.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

QStringList schemaOf(const QString& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "select sql from sqlite_master where type='table' order by rowid", -1,
                       &stmt, nullptr);
    QStringList sql;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        sql << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return sql;
}

} // namespace

class TestRecordStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    void newDatabaseHoldsTheThreeTables() {
        const QString file = test::createBookFile(m_dir->path());
        const QStringList sql = schemaOf(file);
        QCOMPARE(sql.size(), 3);
        RecordStore store;
        store.openDatabase(file);
        QVERIFY(store.isOpen());
        for (BookId id : allBooks()) {
            // The statements are stored as run: each line followed by CR LF.
            // SQLite keeps the text after its own "CREATE TABLE".
            QString expected = tableSchema(id).createStatement();
            expected.chop(2);
            QCOMPARE(sql[int(id)].mid(12), expected.mid(12));
            QStringList names;
            for (const Column& c : store.book(id).columns())
                names << c.name;
            QCOMPARE(names, tableSchema(id).columnNames);
            QCOMPARE(store.book(id).recordCount(), 0);
        }
        // What the columns' declared types give.
        const QVector<Column>& columns = store.book(BookId::Contacts).columns();
        QVERIFY(columns[0].key);
        QCOMPARE(columns[3].width, 255);
        QCOMPARE(columns[4].kind, ColumnKind::Date);
        QCOMPARE(columns[5].width, 2);
        QCOMPARE(store.book(BookId::Websites).columns()[0].width, 100);
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
        QVERIFY(QFile::exists(bad));
        QCOMPARE(test::readBytes(bad), before);
        // The database that was open stays open and unchanged.
        QVERIFY(store.isOpen());
        QCOMPARE(store.connection().fileName(), good);
        QCOMPARE(store.book(BookId::Contacts).valueText(0), u"张三"_s);
    }

    void missingFileGivesClearError() {
        RecordStore store;
        const QString missing = u"/nonexistent/x.mdb"_s;
        const QString message = test::storeErrorOf([&] { store.openDatabase(missing); });
        QVERIFY2(message.contains(u"不存在"_s), qPrintable(message));
        QVERIFY(!QFile::exists(missing));
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

        const QString existing = path(u"existing.mdb"_s);
        test::writeBytes(existing, "x");
        QVERIFY(
            test::storeErrorOf([&] { store.backupDatabase(existing); }).contains(u"已经存在"_s));
        QCOMPARE(test::readBytes(existing), "x"_ba);
        QCOMPARE(store.connection().fileName(), copy);
        QVERIFY(store.isOpen());
    }

    void refreshSeesOtherPrograms() {
        const QString file = test::createBookFile(m_dir->path());
        RecordStore store;
        store.openDatabase(file);
        test::runSql(file, u"insert into xuliehao1(名称版本号) values ('外部')"_s);
        BookDataset& serials = store.book(BookId::Serials);
        QCOMPARE(serials.recordCount(), 0);
        serials.refresh();
        QCOMPARE(serials.recordCount(), 1);
        QCOMPARE(serials.valueText(0), u"外部"_s);
        // Deleted elsewhere while shown: an edit reports it instead of losing the change silently.
        test::runSql(file, u"delete from xuliehao1"_s);
        serials.edit();
        serials.setFieldText(1, u"x"_s);
        QVERIFY(test::storeErrorOf([&] { serials.post(); }).contains(u"已被其他程序删除"_s));
        QCOMPARE(serials.state(), DatasetState::Edit);
    }

    void mdbRule_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("result");
        QTest::newRow("no extension") << u"/d/notes"_s << u"/d/notes.mdb"_s;
        QTest::newRow("mdb") << u"/d/notes.mdb"_s << u"/d/notes.mdb"_s;
        QTest::newRow("upper case") << u"/d/notes.MDB"_s << u"/d/notes.MDB.mdb"_s;
        QTest::newRow("dot in folder") << u"/d/my.docs/notes"_s << u"/d/my.docs/notes.mdb"_s;
        QTest::newRow("windows folder") << u"D:\\my.docs\\notes"_s << u"D:\\my.docs\\notes.mdb"_s;
        QTest::newRow("other extension") << u"a.txt"_s << u"a.txt.mdb"_s;
    }
    void mdbRule() {
        QFETCH(QString, chosen);
        QFETCH(QString, result);
        QCOMPARE(withMdbExtension(chosen), result);
    }

    void splitFileName() {
        const QString file = path(u"book.v2.mdb"_s);
        test::writeBytes(file, "x");
        FileNameParts p;
        SplitFileName(file, p);
        QCOMPARE((QStringList{p.folder, p.folderWithSeparator, p.baseName, p.fileName,
                              p.extensionWithDot, p.extension}),
                 (QStringList{m_dir->path(), m_dir->path() + u'/', u"book.v2"_s, u"book.v2.mdb"_s,
                              u".mdb"_s, u"mdb"_s}));
        SplitFileName(path(u"missing.mdb"_s), p);
        QCOMPARE(p.fileName, QString());
    }

    void connectionStringTemplate() {
        const QString text = connectionString(u"/d/a;b.mdb"_s);
        QVERIFY(
            text.startsWith(u"Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data "
                            u"Source=/d/a;b.mdb;Mode=Share Deny None;Extended Properties=\"\";"_s));
        QVERIFY(text.endsWith(u";Jet OLEDB:SFP=False"_s));
        QCOMPARE(text.count(u';'), 18); // 17 separators plus the one in the name
        QCOMPARE(fileNameOfConnectionString(text), u"/d/a;b.mdb"_s);
    }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
