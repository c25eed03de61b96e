#include "books.h"
#include "exchange/exchangecommands.h"
#include "platform/filedialog.h"
#include "platform/scriptedplatform.h"
#include "store/dataerror.h"
#include "tables.h"
#include "testfiles.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

using Records = QList<QStringList>;

// Every record's value texts in grid order.
Records recordsOf(const BookDataset& book) {
    Records records;
    for (int r = 0; r < book.rowCount(); ++r) {
        QStringList values;
        for (int c = 0; c < book.columns().size(); ++c)
            values << book.rowValueText(r, c);
        records << values;
    }
    return records;
}

// The named columns of every record: values joined by "¦", records by "¶".
QString shown(const BookDataset& book, const QString& columns) {
    QStringList records;
    for (int r = 0; r < book.rowCount(); ++r) {
        QStringList values;
        for (const QString& column : columns.split(u'¦'))
            values << book.rowValueText(r, book.columnIndex(column));
        records << values.join(u'¦');
    }
    return records.join(u'¶');
}

// The records of one set in tests/data/exchange/records.txt.
Records recordsNamed(const QString& set) {
    Records records;
    for (const test::TableRow& row : test::readTable(u"exchange/records.txt"_s))
        if (row.name == set)
            records << row.cells;
    return records;
}

BookId bookNamed(const QString& name) {
    return BookId(QStringList{u"contacts"_s, u"websites"_s, u"serials"_s}.indexOf(name));
}

ExchangeFormat formatNamed(const QString& name) {
    return name == u"vcard"_s ? ExchangeFormat::VCard
           : name == u"csv"_s ? ExchangeFormat::Csv
                              : ExchangeFormat::Bookmarks;
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<RecordStore> m_store;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    BookDataset& book(BookId id) { return m_store->book(id); }
    void fill(BookId id, const Records& records) {
        for (const QStringList& values : records)
            test::addRecord(book(id), values);
    }
    // A second, empty book file opened in its own store.
    std::unique_ptr<RecordStore> freshStore(const QString& name) {
        auto store = std::make_unique<RecordStore>();
        store->openDatabase(test::createBookFile(m_dir->path(), name));
        return store;
    }
    ExchangeImportReport import(BookId id, const QString& format, const QString& bytes) {
        test::writeBytes(path(u"in.file"_s), test::bytesOf(bytes));
        return readBookFile(book(id), formatNamed(format), path(u"in.file"_s),
                            [](const QString&) { return DuplicateChoice::Skip; });
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_store = freshStore(u"book.mdb"_s);
    }
    void cleanup() {
        m_store.reset();
        m_platform.reset();
        m_dir.reset();
    }

    // Book -> file -> new book gives the same records; the whole book, or only the current
    // record. Where a golden file is named, the written bytes are as hand-written there.
    void roundTrip_data() {
        test::addTableRows(u"exchange/roundtrip.txt"_s, {"set", "format", "golden"});
    }
    void roundTrip() {
        QFETCH(QString, set);
        QFETCH(QString, format);
        QFETCH(QString, golden);
        const BookId id = bookNamed(set.section(u' ', -1));
        const ExchangeFormat as = formatNamed(format);
        fill(id, recordsNamed(set));
        QVERIFY(writeBookFile(book(id), as, path(u"out.file"_s)));
        if (!golden.isEmpty())
            QCOMPARE(test::readBytes(path(u"out.file"_s)),
                     test::goldenBytes(u"exchange/"_s + golden));
        auto copy = freshStore(u"copy.mdb"_s);
        QCOMPARE(readBookFile(copy->book(id), as, path(u"out.file"_s), nullptr).text(),
                 u"导入完成：新增 %1 条，替换 0 条，跳过 0 条。"_s.arg(recordsNamed(set).size()));
        book(id).refresh(); // typed records take their place in key order
        QCOMPARE(recordsOf(copy->book(id)), recordsOf(book(id)));

        book(id).last();
        QVERIFY(writeBookFile(book(id), as, path(u"one.file"_s), true));
        auto one = freshStore(u"one.mdb"_s);
        QCOMPARE(readBookFile(one->book(id), as, path(u"one.file"_s), nullptr).added, 1);
        QCOMPARE(recordsOf(one->book(id)), recordsOf(book(id)).mid(book(id).rowCount() - 1));
    }

    // Files as other programs write them: the values land in the right columns.
    void readsOtherProgramsFiles_data() {
        test::addTableRows(u"exchange/foreign.txt"_s,
                           {"book", "format", "bytes", "columns", "records"});
    }
    void readsOtherProgramsFiles() {
        QFETCH(QString, book);
        QFETCH(QString, format);
        QFETCH(QString, bytes);
        QFETCH(QString, columns);
        QFETCH(QString, records);
        const BookId id = bookNamed(book);
        const ExchangeImportReport report = import(id, format, bytes);
        QCOMPARE(report.added, int(records.count(u'¶') + 1));
        QCOMPARE(shown(this->book(id), columns), records);
    }

    // Broken or hostile files: a clear error, and the book exactly as before.
    void hostileFiles_data() {
        test::addTableRows(u"exchange/hostile.txt"_s, {"book", "format", "bytes", "error"});
    }
    void hostileFiles() {
        QFETCH(QString, book);
        QFETCH(QString, format);
        QFETCH(QString, bytes);
        QFETCH(QString, error);
        const BookId id = bookNamed(book);
        fill(id, {{u"旧的"_s}});
        const Records before = recordsOf(this->book(id));
        QCOMPARE(test::storeErrorOf([&] { import(id, format, bytes); }), error);
        this->book(id).refresh();
        QCOMPARE(recordsOf(this->book(id)), before);
    }

    // Keys the book or the file already has: decided once, applied to every one of them.
    void duplicateKeys_data() {
        test::addTableRows(u"exchange/duplicates.txt"_s, {"choice", "report", "records"});
    }
    void duplicateKeys() {
        QFETCH(QString, choice);
        QFETCH(QString, report);
        QFETCH(QString, records);
        fill(BookId::Websites, {{u"张伟"_s, {}, {}, u"旧"_s}});
        for (const QString& answer : choice.split(u' '))
            m_platform->answers.enqueue(answer == u"yes"_s ? mb::IdYes : mb::IdNo);
        test::writeBytes(path(u"in.csv"_s),
                         "网址名称,备注,颜色\r\n新人,1,红\r\n张伟,,蓝\r\n新人,2,\r\n李四,,\r\n长," +
                             QByteArray(256, 'x') + ",\r\n");
        QStringList asked;
        const ExchangeImportReport result =
            readBookFile(book(BookId::Websites), ExchangeFormat::Csv, path(u"in.csv"_s),
                         [&](const QString& key) {
                             asked << key;
                             return askDuplicateChoice(key);
                         });
        QCOMPARE(asked, QStringList{u"张伟"_s}); // decided once, for every duplicate
        QVERIFY(m_platform->answers.isEmpty());
        QCOMPARE(result.text(), report);
        QCOMPARE(shown(book(BookId::Websites), u"网址名称¦备注"_s), records);
    }

    // A link at the chosen name is replaced, never written through; a name that is the open
    // database is refused.
    void exportThroughLinks() {
        fill(BookId::Websites, {{u"站点"_s, u"https://a.example/"_s}});
        test::writeBytes(path(u"other.html"_s), "mine");
        const QByteArray database = test::readBytes(path(u"book.mdb"_s));
        QVERIFY(QFile::link(path(u"book.mdb"_s), path(u"db.html"_s)));
        QVERIFY(QFile::link(path(u"other.html"_s), path(u"sites.html"_s)));
        FileDialog dialog(FileDialogRequest::Kind::Save, true);
        m_platform->fileAnswers.enqueue(path(u"db.html"_s));
        const QString error = test::storeErrorOf([&] {
            exportBookFile(*m_store, BookId::Websites, ExchangeFormat::Bookmarks, false, dialog,
                           nullptr);
        });
        QVERIFY2(error.endsWith(u"db.html”：它是打开着的数据库文件，导出没有进行"_s),
                 qPrintable(error));
        m_platform->fileAnswers.enqueue(path(u"sites.html"_s));
        exportBookFile(*m_store, BookId::Websites, ExchangeFormat::Bookmarks, false, dialog,
                       nullptr);
        QCOMPARE(test::readBytes(path(u"book.mdb"_s)), database);
        QCOMPARE(test::readBytes(path(u"other.html"_s)), QByteArray("mine"));
        QVERIFY(test::readBytes(path(u"sites.html"_s))
                    .contains("<DT><A HREF=\"https://a.example/\">站点</A>"));
        QCOMPARE(m_platform->fileRequests.last().filter, u"书签文件|*.html"_s);
    }

    // A cancelled import or export changes nothing.
    void cancel() {
        fill(BookId::Serials, {{u"旧的"_s}});
        QByteArray csv = "名称版本号\r\n";
        for (int i = 0; i < 3000; ++i)
            csv += "s" + QByteArray::number(i) + "\r\n";
        test::writeBytes(path(u"in.csv"_s), csv);
        int calls = 0;
        const ExchangeImportReport report =
            readBookFile(book(BookId::Serials), ExchangeFormat::Csv, path(u"in.csv"_s), nullptr,
                         [&](qint64 done, qint64 total) {
                             [&] { QVERIFY(done > 0 && done <= total); }();
                             return ++calls < 3;
                         });
        QVERIFY(report.cancelled);
        QCOMPARE(report.text(), u"导入已取消，簿中的记录没有任何改变。"_s);
        QCOMPARE(recordsOf(book(BookId::Serials)), Records({{u"旧的"_s, {}, {}, {}, {}}}));
        QVERIFY(readBookFile(book(BookId::Serials), ExchangeFormat::Csv, path(u"in.csv"_s), nullptr)
                    .added == 3000);
        test::writeBytes(path(u"out.csv"_s), "keep");
        QVERIFY(!writeBookFile(book(BookId::Serials), ExchangeFormat::Csv, path(u"out.csv"_s),
                               false, [](qint64, qint64) { return false; }));
        QCOMPARE(test::readBytes(path(u"out.csv"_s)), QByteArray("keep"));
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
