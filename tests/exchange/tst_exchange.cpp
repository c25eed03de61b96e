#include "exchange/exchangecommands.h"
#include "platform/filedialog.h"
#include "platform/scriptedplatform.h"
#include "store/storeerror.h"
#include "books.h"
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
    case BookId::Contacts:
        return {
            {u"张伟"_s,
             u"zw@example.com"_s,
             u"12345"_s,
             u"http://a.example/?q=1,2;3"_s,
             u"1990-05-17"_s,
             u"男"_s,
             u"13800000000"_s,
             u"110101199005170011"_s,
             kSpeciality,
             u"中国"_s,
             u"北京"_s,
             u"北京"_s,
             u"朝阳路 1 号; 2 单元"_s + QString(100, u'楼'),
             u"010-1"_s,
             u"010-2"_s,
             u"100000"_s,
             u"甲乙, 有限公司"_s,
             u"研发;一部"_s,
             u"工程师"_s,
             u"010-3"_s,
             u"w@example.com"_s,
             u"https://w.example/"_s,
             u"上海"_s,
             u"浦东"_s,
             u"多行\n备注 😀 emoji\n\"引号\" "_s},
            {u"李四 😀"_s},
            {u"Ann \"Q\" Lee"_s,
             {},
             {},
             {},
             {},
             u"女"_s,
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             {},
             u"深圳"_s,
             {},
             u"; , \\ ;"_s},
        };
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
        QStringList contact(25);
        contact[0] = u"张伟"_s;
        contact[1] = u"zw@example.com"_s;
        contact[2] = u"10001"_s;
        contact[4] = u"1990-05-17"_s;
        contact[5] = u"男"_s;
        contact[8] = QString(30, QChar(u'书'));
        contact[9] = u"中国"_s;
        contact[10] = u"北京"_s;
        contact[11] = u"北京"_s;
        contact[12] = u"朝阳路 1 号; 2 单元"_s;
        contact[15] = u"100000"_s;
        contact[16] = u"甲乙, 有限公司"_s;
        contact[17] = u"研发部"_s;
        contact[24] = u"第一行\n第二行 \\ 😀"_s;
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
        QCOMPARE(test::readBytes(path(u"out.file"_s)),
                 test::readBytes(QStringLiteral(QB_EXCHANGE_DATA "/") + golden));
    }

    // Files as other programs write them: the values land in the right columns.
    void readsOtherProgramsFiles_data() {
        QTest::addColumn<BookId>("id");
        QTest::addColumn<ExchangeFormat>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<Records>("expected");
        QTest::newRow("vCard 2.1 from Android: quoted-printable, folded, CHARSET, photo")
            << BookId::Contacts << ExchangeFormat::VCard
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\n"
                          "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0;=E4=BC=9F;;;\r\n"
                          "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=E4=BC=9F\r\n"
                          "TEL;CELL;PREF:138-0000\r\nTEL;HOME:010-1\r\n"
                          "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E7=AC=AC=E4=B8=80=0A=\r\n"
                          "=E7=AC=AC=E4=BA=8C\r\n"
                          "PHOTO;ENCODING=BASE64;JPEG:/9j/4AAQ\r\n AAAA\r\n\r\n"
                          "X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;x\r\n"
                          "END:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=GB18030:\xc0\xee;\xcb\xc4\r\n"
                          "END:VCARD\r\n")
            << QStringList{u"姓名"_s, u"手机"_s, u"电话"_s, u"备注"_s}
            << Records{{u"张伟"_s, u"138-0000"_s, u"010-1"_s, u"第一\n第二"_s},
                       {u"李四"_s, {}, {}, {}}};
        QTest::newRow("vCard 4.0 from GNOME Contacts / Thunderbird")
            << BookId::Contacts << ExchangeFormat::VCard
            << QByteArray("BEGIN:VCARD\nVERSION:4.0\nFN:Ann Lee\nN:Lee;Ann;;;\n"
                          "EMAIL;TYPE=work:ann@work.example\nEMAIL:ann@home.example\n"
                          "TEL;VALUE=uri;TYPE=\"cell,voice\":tel:+86-1\nGENDER:F\n"
                          "BDAY:19800229\nitem1.ADR;TYPE=work:;;1 Main St;Springfield;;;\n"
                          "ORG:ACME\\, Inc.;R&D\nIMPP:qq:777\nEND:VCARD\n")
            << QStringList{u"姓名"_s, u"邮箱"_s, u"公司邮箱"_s, u"手机"_s,
                           u"性别"_s, u"生日"_s, u"公司地址"_s, u"公司城市"_s,
                           u"单位"_s, u"部门"_s, u"QQ"_s}
            << Records{{u"Ann Lee"_s, u"ann@home.example"_s, u"ann@work.example"_s, u"+86-1"_s,
                        u"女"_s, u"1980/2/29"_s, u"1 Main St"_s, u"Springfield"_s, u"ACME, Inc."_s,
                        u"R&D"_s, u"777"_s}};
        QTest::newRow("bookmarks from Firefox/Chromium: folders flattened, entities")
            << BookId::Websites << ExchangeFormat::Bookmarks
            << QByteArray("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" "
                          "CONTENT=\"text/html; charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n"
                          "<H1>Bookmarks Menu</H1>\n<DL><p>\n"
                          "    <DT><H3 ADD_DATE=\"1\">工具栏</H3>\n    <DL><p>\n"
                          "        <DT><a href='https://x.example/?a=1&amp;b=2' ICON=\"data:x\">"
                          "X &amp; Y</a>\n"
                          "        <DD>说明 &#x1F600;\n    </DL><p>\n"
                          "    <DT><A HREF=\"https://y.example/\" ADD_DATE=\"2\"></A>\n</DL>\n")
            << QStringList{u"网址名称"_s, u"网址"_s, u"注册名"_s, u"备注"_s}
            << Records{{u"X & Y"_s, u"https://x.example/?a=1&b=2"_s, {}, u"说明 😀"_s},
                       {u"https://y.example/"_s, u"https://y.example/"_s, {}, {}}};
        QTest::newRow("CSV with a BOM, columns in another order, an unknown column")
            << BookId::Websites << ExchangeFormat::Csv
            << QByteArray("\xEF\xBB\xBF网址, 网址名称 ,Tags\n"
                          "http://a.example/,甲,t\n\nhttp://b.example/,\"乙\n丙\"\n")
            << QStringList{u"网址名称"_s, u"网址"_s}
            << Records{{u"乙\n丙"_s, u"http://b.example/"_s}, {u"甲"_s, u"http://a.example/"_s}};
    }
    void readsOtherProgramsFiles() {
        QFETCH(BookId, id);
        QFETCH(ExchangeFormat, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, columns);
        QFETCH(Records, expected);
        const ExchangeImportReport report = import(id, format, bytes);
        QCOMPARE(report.added, int(expected.size()));
        Records got;
        for (int r = 0; r < book(id).rowCount(); ++r) {
            QStringList values;
            for (const QString& column : columns)
                values << book(id).rowValueText(r, book(id).columnIndex(column));
            got << values;
        }
        QCOMPARE(got, expected);
    }

    // Broken or hostile files: a clear error, and the book exactly as before.
    void hostileFiles_data() {
        QTest::addColumn<BookId>("id");
        QTest::addColumn<ExchangeFormat>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:新人\r\nEND:VCARD\r\n";
        QTest::newRow("truncated card")
            << BookId::Contacts << ExchangeFormat::VCard << card + "BEGIN:VCARD\r\nFN:半张"
            << u"文件第 5 行：名片没有结束（缺少 END:VCARD），文件不完整"_s;
        QTest::newRow("GBK without CHARSET")
            << BookId::Contacts << ExchangeFormat::VCard
            << card + "BEGIN:VCARD\r\nFN:\xd5\xc5\xce\xb0\r\nEND:VCARD\r\n"
            << u"文件第 5 行：名片的文字不是 UTF-8 编码（用 UTF-8 另存后再导入）"_s;
        QTest::newRow("unknown charset")
            << BookId::Contacts << ExchangeFormat::VCard
            << QByteArray("BEGIN:VCARD\r\nFN;CHARSET=X-NONE:a\r\nEND:VCARD\r\n")
            << u"文件第 1 行：名片用了不认识的字符集 X-NONE"_s;
        QTest::newRow("not a vCard")
            << BookId::Contacts << ExchangeFormat::VCard << QByteArray("姓名,邮箱\r\n张三,a@b\r\n")
            << u"文件第 1 行：这里应当是一张名片的开始（BEGIN:VCARD），文件不是 vCard"_s;
        QTest::newRow("20 MB line in a card")
            << BookId::Contacts << ExchangeFormat::VCard
            << card + "BEGIN:VCARD\r\nNOTE:" + QByteArray(20 << 20, 'x')
            << u"文件第 6 行：这一行太长（超过 8388608 字节）"_s;
        QTest::newRow("CSV: unterminated quote")
            << BookId::Serials << ExchangeFormat::Csv
            << QByteArray("名称版本号,备注\r\na,ok\r\nb,\"open\r\n")
            << u"文件第 3 行：引号没有结束，文件不完整"_s;
        QTest::newRow("CSV: 20 MB without a line break")
            << BookId::Serials << ExchangeFormat::Csv
            << "名称版本号\r\n" + QByteArray(20 << 20, 'x')
            << u"文件第 2 行：值太长（超过 1048576 字节），这不像是 CSV 表格"_s;
        QTest::newRow("CSV: no key column")
            << BookId::Serials << ExchangeFormat::Csv << QByteArray("备注\r\nx\r\n")
            << u"CSV 文件的标题行中没有“名称版本号”列"_s;
        QTest::newRow("CSV: GBK value")
            << BookId::Serials << ExchangeFormat::Csv
            << QByteArray("名称版本号\r\nok\r\n\xd5\xc5\r\n") << u"文件第 3 行：不是 UTF-8 文本"_s;
        QTest::newRow("bookmarks: GBK")
            << BookId::Websites << ExchangeFormat::Bookmarks
            << QByteArray("<DT><A HREF=\"x\">\xd5\xc5</A>") << u"书签文件不是 UTF-8 编码"_s;
        QTest::newRow("bookmarks: not a bookmark file")
            << BookId::Websites << ExchangeFormat::Bookmarks << QByteArray("hello")
            << u"这不是书签文件（没有链接）"_s;
    }
    void hostileFiles() {
        QFETCH(BookId, id);
        QFETCH(ExchangeFormat, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        fill(id, {{u"旧的"_s}});
        const Records before = recordsOf(book(id));
        QCOMPARE(test::storeErrorOf([&] { import(id, format, bytes); }), error);
        QCOMPARE(recordsOf(book(id)), before);
        book(id).refresh();
        QCOMPARE(recordsOf(book(id)), before);
    }

    // Script in a bookmark is only text: stored as written, escaped again on the way out.
    void scriptInBookmarkTitle() {
        const ExchangeImportReport report =
            import(BookId::Websites, ExchangeFormat::Bookmarks,
                   "<DL><DT><A HREF=\"javascript:alert(1)\"><script>alert('x')</script>&lt;img "
                   "onerror=x&gt;</A>\n<DD><iframe src=x>\n</DL>");
        QCOMPARE(report.added, 1);
        QCOMPARE(recordsOf(book(BookId::Websites)),
                 Records({{u"<script>alert('x')</script><img onerror=x>"_s,
                           u"javascript:alert(1)"_s,
                           {},
                           {}}}));
        QVERIFY(
            writeBookFile(book(BookId::Websites), ExchangeFormat::Bookmarks, path(u"out.html"_s)));
        QVERIFY(test::readBytes(path(u"out.html"_s))
                    .contains("&lt;script&gt;alert('x')&lt;/script&gt;&lt;img onerror=x&gt;</A>"));
    }

    // Keys the book or the file already has: decided once, applied to every one of them.
    void duplicateKeys_data() {
        QTest::addColumn<DuplicateChoice>("choice");
        QTest::addColumn<QString>("report");
        QTest::addColumn<Records>("expected");
        QTest::newRow("skip") << DuplicateChoice::Skip
                              << u"导入完成：新增 2 条，替换 0 条，跳过 3 条。\n"
                                 "不认识的列“颜色”，没有导入\n"
                                 "第 2 条（张伟）：已经有这一条\n"
                                 "第 3 条（新人）：已经有这一条\n"
                                 "第 5 条（长）：备注有 256 个字符，超过了 255 个"_s
                              << Records{
                                     {u"张伟"_s, u"旧"_s}, {u"新人"_s, u"1"_s}, {u"李四"_s, {}}};
        QTest::newRow("replace") << DuplicateChoice::Replace
                                 << u"导入完成：新增 2 条，替换 2 条，跳过 1 条。\n"
                                    "不认识的列“颜色”，没有导入\n"
                                    "第 5 条（长）：备注有 256 个字符，超过了 255 个"_s
                                 << Records{{u"张伟"_s, {}}, {u"新人"_s, u"2"_s}, {u"李四"_s, {}}};
        QTest::newRow("keep both") << DuplicateChoice::KeepBoth
                                   << u"导入完成：新增 4 条，替换 0 条，跳过 1 条。\n"
                                      "不认识的列“颜色”，没有导入\n"
                                      "第 5 条（长）：备注有 256 个字符，超过了 255 个"_s
                                   << Records{{u"张伟"_s, u"旧"_s},
                                              {u"张伟 (2)"_s, {}},
                                              {u"新人"_s, u"1"_s},
                                              {u"新人 (2)"_s, u"2"_s},
                                              {u"李四"_s, {}}};
    }
    void duplicateKeys() {
        QFETCH(DuplicateChoice, choice);
        QFETCH(QString, report);
        QFETCH(Records, expected);
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
                             return choice;
                         });
        QCOMPARE(questions, 1);
        QCOMPARE(result.text(), report);
        Records got;
        for (const QStringList& record : recordsOf(book(BookId::Websites)))
            got << QStringList{record[0], record[3]};
        QCOMPARE(got, expected);
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
        } catch (const StoreError& e) {
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
