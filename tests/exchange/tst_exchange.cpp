#include "exchange/exchangecommands.h"
#include "openbooks.h"
#include "platform/filedialog.h"
#include "tables.h"
#include "testfiles.h"

#include <QLocale>

using namespace qb;
using namespace Qt::StringLiterals;

class TestExchange : public QObject {
    Q_OBJECT

    std::optional<test::OpenBooks> m_b;

    QString path(const QString& name) const { return m_b->dir.filePath(name); }
    static BookId bookId(const QString& name) {
        return BookId(u"contacts websites serials"_s.split(u' ').indexOf(name));
    }
    BookDataset& book(const QString& name) { return m_b->store.book(bookId(name)); }
    static ExchangeFormat format(const QString& name) {
        return ExchangeFormat(u"vcard bookmarks csv"_s.split(u' ').indexOf(name));
    }
    // A second, empty book file opened in its own store.
    std::unique_ptr<RecordStore> freshStore(const QString& name) {
        auto store = std::make_unique<RecordStore>();
        store->openDatabase(test::createBookFile(m_b->dir.path(), name));
        return store;
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_b.emplace(); }
    void cleanup() { m_b.reset(); }

    // Book -> file -> new book gives the same records; the whole book, or only the current
    // record. Where a golden file is named, the written bytes are as hand-written there.
    void roundTrip_data() { test::addTableRows(u"exchange/roundtrip.txt"_s); }
    void roundTrip() {
        const auto [set, name, golden] = test::cells<3>();
        const BookId id = bookId(set.section(u' ', -1));
        BookDataset& from = m_b->store.book(id);
        const ExchangeFormat as = format(name);
        int count = 0;
        for (const test::TableRow& row : test::readTable(u"exchange/records.txt"_s))
            if (row.name == set && ++count)
                test::addRecord(from, row.cells);
        QVERIFY(writeBookFile(from, as, path(u"out.file"_s)));
        if (!golden.isEmpty())
            QCOMPARE(test::readBytes(path(u"out.file"_s)),
                     test::goldenBytes(u"exchange/"_s + golden));
        auto copy = freshStore(u"copy.mdb"_s);
        QCOMPARE(readBookFile(copy->book(id), as, path(u"out.file"_s), nullptr).text(),
                 u"导入完成：新增 %1 条，替换 0 条，跳过 0 条。"_s.arg(count));
        from.refresh(); // typed records take their place in key order
        QCOMPARE(test::shown(copy->book(id)), test::shown(from));

        from.last();
        QVERIFY(writeBookFile(from, as, path(u"one.file"_s), true));
        auto one = freshStore(u"one.mdb"_s);
        QCOMPARE(readBookFile(one->book(id), as, path(u"one.file"_s), nullptr).added, 1);
        QCOMPARE(test::shown(one->book(id)), test::shown(from).section(u'¶', -1));
    }

    // Files as other programs write them: the values land in the right columns. Broken or
    // hostile files (no columns named): a clear error, and the book exactly as before.
    void readsFiles_data() { test::addTableRows(u"exchange/reading.txt"_s); }
    void readsFiles() {
        const auto [name, as, bytes, columns, expected] = test::cells<5>();
        BookDataset& into = book(name);
        if (columns.isEmpty())
            test::addRecord(into, {u"旧的"_s});
        const QString before = test::shown(into);
        test::writeBytes(path(u"in.file"_s), test::bytesOf(bytes));
        const QString error = test::storeErrorOf([&, &as = as] {
            readBookFile(into, format(as), path(u"in.file"_s),
                         [](const QString&) { return DuplicateChoice::Skip; });
        });
        into.refresh();
        QCOMPARE(error + u'¶' + test::shown(into, columns),
                 columns.isEmpty() ? expected + u'¶' + before : u'¶' + expected);
    }

    // Keys the book or the file already has: decided once, applied to every one of them.
    void duplicateKeys_data() { test::addTableRows(u"exchange/duplicates.txt"_s); }
    void duplicateKeys() {
        const auto [choice, report, records] = test::cells<3>();
        test::addRecord(book(u"websites"_s), {u"张伟"_s, {}, {}, u"旧"_s});
        for (const QString& answer : choice.split(u' '))
            m_b->platform.answers.enqueue(answer == u"yes"_s ? mb::IdYes : mb::IdNo);
        QStringList asked;
        QCOMPARE(readBookFile(book(u"websites"_s), ExchangeFormat::Csv,
                              test::dataFile(u"exchange/duplicates.csv"_s),
                              [&](const QString& key) {
                                  asked << key;
                                  return askDuplicateChoice(key);
                              })
                     .text(),
                 report);
        QCOMPARE(asked, QStringList{u"张伟"_s}); // decided once, for every duplicate
        QVERIFY(m_b->platform.answers.isEmpty());
        QCOMPARE(test::shown(book(u"websites"_s), u"网址名称¦备注"_s), records);
    }

    // A name that is the open database, by a link, is refused.
    void exportRefusesTheDatabase() {
        test::addRecord(book(u"websites"_s), {u"站点"_s, u"https://a.example/"_s});
        const QByteArray database = test::readBytes(path(u"book.mdb"_s));
        QVERIFY(QFile::link(path(u"book.mdb"_s), path(u"db.html"_s)));
        FileDialog dialog(FileDialogRequest::Kind::Save, true);
        m_b->platform.fileAnswers << path(u"db.html"_s);
        QVERIFY(test::storeErrorOf([&] {
                    exportBookFile(m_b->store, BookId::Websites, ExchangeFormat::Bookmarks, false,
                                   dialog, nullptr);
                }).endsWith(u"db.html”：它是打开着的数据库文件，导出没有进行"_s));
        QCOMPARE(test::readBytes(path(u"book.mdb"_s)), database);
    }

    // A cancelled import or export changes nothing.
    void cancel() {
        BookDataset& serials = book(u"serials"_s);
        test::addRecord(serials, {u"旧的"_s});
        QByteArray csv = "名称版本号\r\n";
        for (int i = 0; i < 3000; ++i)
            csv += "s" + QByteArray::number(i) + "\r\n";
        test::writeBytes(path(u"in.csv"_s), csv);
        int calls = 0;
        const ExchangeImportReport report =
            readBookFile(serials, ExchangeFormat::Csv, path(u"in.csv"_s), nullptr,
                         [&](qint64 done, qint64 total) {
                             [&] { QVERIFY(done > 0 && done <= total); }();
                             return ++calls < 3;
                         });
        QCOMPARE(report.text(), u"导入已取消，簿中的记录没有任何改变。"_s);
        QVERIFY(report.cancelled && test::shown(serials) == u"旧的¦¦¦¦"_s);
        QCOMPARE(readBookFile(serials, ExchangeFormat::Csv, path(u"in.csv"_s), nullptr).added,
                 3000);
        QVERIFY(!writeBookFile(serials, ExchangeFormat::Csv, path(u"in.csv"_s), false,
                               [](qint64, qint64) { return false; }));
        QCOMPARE(test::readBytes(path(u"in.csv"_s)), csv);
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
