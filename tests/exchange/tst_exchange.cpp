#include "books.h"
#include "exchange/exchangecommands.h"
#include "platform/filedialog.h"
#include "platform/scriptedplatform.h"
#include "store/dataerror.h"
#include "tables.h"
#include "testfiles.h"

#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(qb::ExchangeFormat)
Q_DECLARE_METATYPE(qb::DuplicateChoice)

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

const QString kSpeciality = u"书法, 围棋; \"象棋\"\n第二行 \\ 反斜杠"_s;

Records sampleRecords(BookId book) {
    switch (book) {
    case BookId::Contacts: {
        QStringList ann(25);
        ann[0] = u"Ann \"Q\" Lee"_s;
        ann[5] = u"女"_s;
        ann[22] = u"深圳"_s;
        ann[24] = u"; , \\ ;"_s;
        return {(u"张伟¦zw@example.com¦12345¦http://a.example/?q=1,2;3¦1990-05-17¦男¦13800000000¦"
                 "110101199005170011¦"_s +
                 kSpeciality + u"¦中国¦北京¦北京¦朝阳路 1 号; 2 单元"_s + QString(100, u'楼') +
                 u"¦010-1¦010-2¦100000¦甲乙, 有限公司¦研发;一部¦工程师¦010-3¦w@example.com¦"
                 "https://w.example/¦上海¦浦东¦多行\n备注 😀 emoji\n\"引号\" "_s)
                    .split(u'¦'),
                {u"李四 😀"_s},
                ann};
    }
    case BookId::Websites:
        return {
            {u"<b>新浪</b> "_s, u"http://sina.example/?a=1&b=\"2\""_s, u"user;1"_s,
             u"多行\n\"备注\" 😀 & <script>"_s},
            {u"百度"_s, {}, {}, QString(255, u'满')}, // as long as the column holds
            {u"Zed, \"quoted\""_s, u"https://z.example/"_s, {}, u"  两端空白  "_s},
        };
    case BookId::Serials:
        break;
    }
    return {
        {u"Office 2021, 专业版"_s, u"零售"_s, u"AB\"CD\""_s, {}, u"第一行\r\n第二行"_s},
        {u"WinRAR 😀"_s, {}, u"123;456"_s},
    };
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
    ExchangeImportReport import(BookId id, ExchangeFormat format, const QByteArray& bytes,
                                DuplicateChoice choice = DuplicateChoice::Skip) {
        test::writeBytes(path(u"in.file"_s), bytes);
        return readBookFile(book(id), format, path(u"in.file"_s),
                            [choice](const QString&) { return choice; });
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

    // Book -> file -> new book gives the same records, byte for byte.
    void roundTrip_data() {
        QTest::addColumn<BookId>("id");
        QTest::addColumn<ExchangeFormat>("format");
        QTest::newRow("contacts vCard") << BookId::Contacts << ExchangeFormat::VCard;
        QTest::newRow("websites bookmarks") << BookId::Websites << ExchangeFormat::Bookmarks;
        QTest::newRow("contacts CSV") << BookId::Contacts << ExchangeFormat::Csv;
        QTest::newRow("websites CSV") << BookId::Websites << ExchangeFormat::Csv;
        QTest::newRow("serials CSV") << BookId::Serials << ExchangeFormat::Csv;
    }
    void roundTrip() {
        QFETCH(BookId, id);
        QFETCH(ExchangeFormat, format);
        fill(id, sampleRecords(id));
        QVERIFY(writeBookFile(book(id), format, path(u"out.file"_s)));
        auto copy = freshStore(u"copy.mdb"_s);
        const ExchangeImportReport report =
            readBookFile(copy->book(id), format, path(u"out.file"_s), nullptr);
        QCOMPARE(report.text(),
                 u"导入完成：新增 %1 条，替换 0 条，跳过 0 条。"_s.arg(sampleRecords(id).size()));
        book(id).refresh(); // typed records take their place in key order
        QCOMPARE(recordsOf(copy->book(id)), recordsOf(book(id)));

        book(id).moveTo(1); // only the current record
        QVERIFY(writeBookFile(book(id), format, path(u"one.file"_s), true));
        auto one = freshStore(u"one.mdb"_s);
        QCOMPARE(readBookFile(one->book(id), format, path(u"one.file"_s), nullptr).added, 1);
        QCOMPARE(recordsOf(one->book(id)), recordsOf(book(id)).mid(1, 1));
    }

    // The written bytes, as hand-written in tests/data/exchange.
    void goldenFiles_data() {
        QTest::addColumn<BookId>("id");
        QTest::addColumn<ExchangeFormat>("format");
        QTest::addColumn<Records>("records");
        QTest::addColumn<QString>("golden");
        const QStringList contact =
            (u"张伟¦zw@example.com¦10001¦¦1990-05-17¦男¦¦¦"_s + QString(30, u'书') +
             u"¦中国¦北京¦北京¦朝阳路 1 号; 2 单元¦¦¦100000¦甲乙, 有限公司¦研发部¦¦¦¦¦¦¦"
             "第一行\n第二行 \\ 😀"_s)
                .split(u'¦');
        QTest::newRow("vCard: escapes, folding between characters")
            << BookId::Contacts << ExchangeFormat::VCard << Records{contact} << u"contact.vcf"_s;
        QTest::newRow("bookmarks: escapes, user name and note in the description")
            << BookId::Websites << ExchangeFormat::Bookmarks
            << Records{{u"<b>新浪</b> "_s, u"http://a.example/?x=1&y=\"2\""_s, u"user"_s,
                        u"第一行\n第二行"_s},
                       {u"百度"_s, u"https://b.example/"_s}}
            << u"websites.html"_s;
        QTest::newRow("CSV: quotes only where needed")
            << BookId::Serials << ExchangeFormat::Csv << sampleRecords(BookId::Serials).mid(0, 1)
            << u"serials.csv"_s;
    }
    void goldenFiles() {
        QFETCH(BookId, id);
        QFETCH(ExchangeFormat, format);
        QFETCH(Records, records);
        QFETCH(QString, golden);
        fill(id, records);
        if (id == BookId::Serials)
            fill(id, {{u"WinRAR"_s, {}, u"123;456"_s}});
        QVERIFY(writeBookFile(book(id), format, path(u"out.file"_s)));
        QCOMPARE(test::readBytes(path(u"out.file"_s)), test::goldenBytes(u"exchange/"_s + golden));
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
        const ExchangeImportReport report = import(id, formatNamed(format), test::bytesOf(bytes));
        QCOMPARE(report.added, int(records.count(u'¶') + 1));
        QStringList got;
        for (int r = 0; r < this->book(id).rowCount(); ++r) {
            QStringList values;
            for (const QString& column : columns.split(u'¦'))
                values << this->book(id).rowValueText(r, this->book(id).columnIndex(column));
            got << values.join(u'¦');
        }
        QCOMPARE(got.join(u'¶'), records);
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
        QCOMPARE(test::storeErrorOf([&] { import(id, formatNamed(format), test::bytesOf(bytes)); }),
                 error);
        QCOMPARE(recordsOf(this->book(id)), before);
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
        int questions = 0;
        test::writeBytes(path(u"in.csv"_s),
                         "网址名称,备注,颜色\r\n新人,1,红\r\n张伟,,蓝\r\n新人,2,\r\n李四,,\r\n长," +
                             QByteArray(256, 'x') + ",\r\n");
        const ExchangeImportReport result =
            readBookFile(book(BookId::Websites), ExchangeFormat::Csv, path(u"in.csv"_s),
                         [&](const QString& key) {
                             ++questions;
                             [&] { QCOMPARE(key, u"张伟"_s); }();
                             return choice == u"skip"_s      ? DuplicateChoice::Skip
                                    : choice == u"replace"_s ? DuplicateChoice::Replace
                                                             : DuplicateChoice::KeepBoth;
                         });
        QCOMPARE(questions, 1);
        QCOMPARE(result.text(), report);
        QStringList got;
        for (const QStringList& record : recordsOf(book(BookId::Websites)))
            got << record[0] + u'¦' + record[3];
        QCOMPARE(got.join(u'¶'), records);
    }

    // The two questions that stand for skip / replace / keep both.
    void duplicateQuestion_data() {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<DuplicateChoice>("choice");
        QTest::newRow("yes: replace") << QList<int>{mb::IdYes} << DuplicateChoice::Replace;
        QTest::newRow("no, yes: keep both")
            << QList<int>{mb::IdNo, mb::IdYes} << DuplicateChoice::KeepBoth;
        QTest::newRow("no, no: skip") << QList<int>{mb::IdNo, mb::IdNo} << DuplicateChoice::Skip;
    }
    void duplicateQuestion() {
        QFETCH(QList<int>, answers);
        QFETCH(DuplicateChoice, choice);
        for (int answer : answers)
            m_platform->answers.enqueue(answer);
        QCOMPARE(askDuplicateChoice(u"张伟"_s), choice);
        QCOMPARE(m_platform->messages.size(), answers.size());
        QVERIFY(m_platform->answers.isEmpty());
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
        QString error;
        try {
            exportBookFile(*m_store, BookId::Websites, ExchangeFormat::Bookmarks, false, dialog,
                           nullptr);
        } catch (const DataError& e) {
            error = e.message();
        }
        QVERIFY2(error.endsWith(u"db.html”：它是打开着的数据库文件，导出没有进行"_s),
                 qPrintable(error));
        m_platform->fileAnswers.enqueue(path(u"sites.html"_s));
        exportBookFile(*m_store, BookId::Websites, ExchangeFormat::Bookmarks, false, dialog,
                       nullptr);
        QCOMPARE(test::readBytes(path(u"book.mdb"_s)), database);
        QCOMPARE(test::readBytes(path(u"other.html"_s)), QByteArray("mine"));
        QVERIFY(!QFileInfo(path(u"sites.html"_s)).isSymLink());
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
