#include "badfiles.h"
#include "store/databasefile.h"
#include "store/storeerror.h"
#include "testbooks.h"
#include "testfiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace qb;

namespace {

QByteArray fileHash(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

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

QString engineError(const std::function<void()>& op) {
    try {
        op();
    } catch (const StoreError& e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestRecordStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void newDatabaseHoldsTheThreeTables() {
        QTemporaryDir dir;
        const QString file = test::createBookFile(dir.path());
        const QStringList sql = schemaOf(file);
        QCOMPARE(sql.size(), 3);
        for (BookId id : allBooks()) {
            // The statements are stored as run: each line followed by CR LF.
            // SQLite keeps the text after its own "CREATE TABLE".
            QString expected = tableSchema(id).createStatement();
            expected.chop(2);
            QCOMPARE(sql[int(id)].mid(12), expected.mid(12));
        }
        RecordStore store;
        store.openDatabase(file);
        QVERIFY(store.isOpen());
        for (BookId id : allBooks()) {
            QStringList names;
            for (const Column& c : store.book(id).columns())
                names << c.name;
            QCOMPARE(names, tableSchema(id).columnNames);
            QCOMPARE(store.book(id).recordCount(), 0);
        }
    }

    void createRefusesExistingAndUnwritable() {
        QTemporaryDir dir;
        const QString existing = dir.filePath(QStringLiteral("old.mdb"));
        qb::test::writeBytes(existing, "keep me");
        RecordStore store;
        QCOMPARE(store.createDatabase(existing), RecordStore::CreateResult::AlreadyExists);
        QCOMPARE(fileHash(existing),
                 QCryptographicHash::hash("keep me", QCryptographicHash::Sha256));
        // A path below a regular file cannot be created, even by root.
        QCOMPARE(store.createDatabase(existing + QStringLiteral("/new.mdb")),
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
        QTemporaryDir dir;
        const QString good = test::createBookFile(dir.path(), QStringLiteral("good.mdb"));
        const QString bad = dir.filePath(QStringLiteral("bad.mdb"));
        test::makeBadFile(kind, bad);
        const QByteArray before = fileHash(bad);
        RecordStore store;
        for (BookId id : allBooks()) // what the entry controls bind to
            store.book(id).setRequiredColumns(tableSchema(id).columnNames);
        store.openDatabase(good);
        test::addRecord(store.book(BookId::Contacts), {QStringLiteral("张三")});
        const QString message = engineError([&] { store.openDatabase(bad); });
        QVERIFY2(message.contains(error), qPrintable(message + QStringLiteral(" / ") + error));
        QCOMPARE(fileHash(bad), before);
        // The database that was open stays open and unchanged.
        QVERIFY(store.isOpen());
        QCOMPARE(store.connection().fileName(), good);
        QCOMPARE(store.book(BookId::Contacts).valueText(0), QStringLiteral("张三"));
    }

    void extraColumnsAreShown() {
        QTemporaryDir dir;
        const QString file = test::createBookFile(dir.path());
        test::runSql(file, QStringLiteral("alter table wzsk1 add column 评分 integer"));
        RecordStore store;
        store.openDatabase(file);
        QCOMPARE(store.book(BookId::Websites).columns().size(), 5);
        QCOMPARE(store.book(BookId::Websites).columns().last().name, QStringLiteral("评分"));
    }

    void missingFileGivesClearError() {
        RecordStore store;
        const QString message =
            engineError([&] { store.openDatabase(QStringLiteral("/nonexistent/x.mdb")); });
        QVERIFY2(message.contains(QStringLiteral("不存在")), qPrintable(message));
        QVERIFY(!QFile::exists(QStringLiteral("/nonexistent/x.mdb")));
    }

    void backupIsConsistentAndBecomesTheOpenDatabase() {
        QTemporaryDir dir;
        const QString file = test::createBookFile(dir.path());
        RecordStore store;
        store.openDatabase(file);
        test::addRecord(store.book(BookId::Websites),
                        {QStringLiteral("站"), QStringLiteral("example.com")});
        const QString copy = dir.filePath(QStringLiteral("copy.mdb"));
        store.backupDatabase(copy);
        QCOMPARE(store.connection().fileName(), copy);
        QCOMPARE(store.book(BookId::Websites).recordCount(), 1);
        test::addRecord(store.book(BookId::Websites), {QStringLiteral("后来")});
        RecordStore original;
        original.openDatabase(file);
        QCOMPARE(original.book(BookId::Websites).recordCount(), 1);

        const QString existing = dir.filePath(QStringLiteral("existing.mdb"));
        qb::test::writeBytes(existing, "x");
        const QString message = engineError([&] { store.backupDatabase(existing); });
        QVERIFY(message.contains(QStringLiteral("已经存在")));
        QCOMPARE(fileHash(existing), QCryptographicHash::hash("x", QCryptographicHash::Sha256));
        QCOMPARE(store.connection().fileName(), copy);
        QVERIFY(store.isOpen());
    }

    void refreshSeesOtherPrograms() {
        QTemporaryDir dir;
        const QString file = test::createBookFile(dir.path());
        RecordStore store;
        store.openDatabase(file);
        test::runSql(file, QStringLiteral("insert into xuliehao1(名称版本号) values ('外部')"));
        BookDataset& serials = store.book(BookId::Serials);
        QCOMPARE(serials.recordCount(), 0);
        serials.refresh();
        QCOMPARE(serials.recordCount(), 1);
        QCOMPARE(serials.valueText(0), QStringLiteral("外部"));
        // Deleted elsewhere while shown: an edit reports it instead of losing the change silently.
        test::runSql(file, QStringLiteral("delete from xuliehao1"));
        serials.edit();
        serials.setFieldText(1, QStringLiteral("x"));
        QVERIFY(engineError([&] { serials.post(); }).contains(QStringLiteral("已被其他程序删除")));
        QCOMPARE(serials.state(), DatasetState::Edit);
    }

    void mdbRule_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("result");
        QTest::newRow("no extension")
            << QStringLiteral("/d/notes") << QStringLiteral("/d/notes.mdb");
        QTest::newRow("mdb") << QStringLiteral("/d/notes.mdb") << QStringLiteral("/d/notes.mdb");
        QTest::newRow("upper case")
            << QStringLiteral("/d/notes.MDB") << QStringLiteral("/d/notes.MDB.mdb");
        QTest::newRow("dot in folder")
            << QStringLiteral("/d/my.docs/notes") << QStringLiteral("/d/my.docs/notes.mdb");
        QTest::newRow("windows folder")
            << QStringLiteral("D:\\my.docs\\notes") << QStringLiteral("D:\\my.docs\\notes.mdb");
        QTest::newRow("other extension") << QStringLiteral("a.txt") << QStringLiteral("a.txt.mdb");
    }
    void mdbRule() {
        QFETCH(QString, chosen);
        QFETCH(QString, result);
        QCOMPARE(withMdbExtension(chosen), result);
    }

    void splitFileName() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("book.v2.mdb"));
        qb::test::writeBytes(file, "x");
        FileNameParts parts;
        SplitFileName(file, parts);
        QCOMPARE(parts.folder, dir.path());
        QCOMPARE(parts.folderWithSeparator, dir.path() + QLatin1Char('/'));
        QCOMPARE(parts.baseName, QStringLiteral("book.v2"));
        QCOMPARE(parts.fileName, QStringLiteral("book.v2.mdb"));
        QCOMPARE(parts.extensionWithDot, QStringLiteral(".mdb"));
        QCOMPARE(parts.extension, QStringLiteral("mdb"));
        SplitFileName(dir.filePath(QStringLiteral("missing.mdb")), parts);
        QCOMPARE(parts.fileName, QString());
    }

    void connectionStringTemplate() {
        const QString text = connectionString(QStringLiteral("/d/a;b.mdb"));
        QVERIFY(text.startsWith(
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data "
                           "Source=/d/a;b.mdb;Mode=Share Deny None;Extended Properties=\"\";")));
        QVERIFY(text.endsWith(QStringLiteral(";Jet OLEDB:SFP=False")));
        QCOMPARE(text.count(QLatin1Char(';')), 18); // 17 separators plus the one in the name
        QCOMPARE(fileNameOfConnectionString(text), QStringLiteral("/d/a;b.mdb"));
    }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
