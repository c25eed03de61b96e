#include "export/gb18030.h"
#include "export/textexport.h"
#include "filesizelimit.h"
#include "platform/filedialog.h"
#include "platform/scriptedplatform.h"
#include "store/sqlitestatement.h"
#include "store/storeerror.h"
#include "books.h"
#include "store/valuetext.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray encodeUtf8(Gb18030Encoder& encoder, const QByteArray& utf8) {
    QByteArray out(Gb18030Encoder::maxEncodedSize(utf8.size()), Qt::Uninitialized);
    out.truncate(encoder.appendUtf8(out.data(), utf8.constData(), utf8.size()) - out.constData());
    return out;
}

// One "name:value" line per column and the empty line after the record.
QString columnBlock(BookId book, const QStringList& values) {
    QString block;
    const QStringList& names = tableSchema(book).columnNames;
    for (int c = 0; c < names.size(); ++c)
        block += names[c] + QLatin1Char(':') + values.value(c) + QStringLiteral("\r\n");
    return block + QStringLiteral("\r\n");
}

} // namespace

class TestTextExport : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<FileDialog> m_sd1;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    BookDataset& book(BookId id) { return m_store->book(id); }

    // Runs the command with the given answer to the save dialog.
    void exportAs(BookId id, const QString& chosen) {
        m_platform->fileAnswers.enqueue(chosen);
        exportBookText(*m_store, id, *m_sd1);
    }
    QString errorOfExport(BookId id, const QString& chosen) {
        try {
            exportAs(id, chosen);
        } catch (const StoreError& e) {
            return e.message();
        }
        return {};
    }
    QStringList folderEntries(const QString& folder) const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        const QString file = test::createBookFile(m_dir->path());
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(file);
        m_sd1 = std::make_unique<FileDialog>(FileDialogRequest::Kind::Save, true);
    }
    void cleanup() {
        m_sd1.reset();
        m_store.reset();
        m_platform.reset();
        m_dir.reset();
    }

    void emptyBooks_data() {
        QTest::addColumn<BookId>("book");
        QTest::addColumn<QByteArray>("expected");
        // GBK bytes of "[我的联系簿]", CR LF and the final CR LF: 16 bytes.
        QTest::newRow("contacts") << BookId::Contacts
                                  << QByteArray::fromHex("5bced2b5c4c1aacfb5b2be5d0d0a0d0a");
        QTest::newRow("websites") << BookId::Websites << qb::test::gb18030(u"[我的网址]\r\n\r\n"_s);
        QTest::newRow("serials") << BookId::Serials << qb::test::gb18030(u"[我的序列号]\r\n\r\n"_s);
    }
    void emptyBooks() {
        QFETCH(BookId, book);
        QFETCH(QByteArray, expected);
        exportAs(book, path(QStringLiteral("out.txt")));
        QCOMPARE(readAll(path(QStringLiteral("out.txt"))), expected);
        QCOMPARE(m_platform->fileRequests.size(), 1);
        QCOMPARE(m_platform->fileRequests[0].filter, QStringLiteral("文本文件|*.txt"));
        QCOMPARE(this->book(book).recordNumber(), -1);
    }

    void contactsLayout() {
        BookDataset& contacts = book(BookId::Contacts);
        QStringList full(25);
        full[0] = u"张三"_s;
        full[1] = u"zhang@example.com"_s;
        full[4] = u"2024/3/5"_s;
        full[5] = u"男"_s;
        full[8] = u"画画  "_s;                    // trailing blanks stay
        full[24] = u"第一行\r\n第二行\n第三行"_s; // line breaks as stored
        test::addRecord(contacts, full);
        test::addRecord(contacts,
                        {u"李四"_s, QString(), QString(), QString(), u"2001-12-31 08:30:00"_s});
        contacts.first();

        exportAs(BookId::Contacts, path(QStringLiteral("contacts")));

        QStringList second{u"李四"_s};
        second << QString() << QString() << QString() << dateValueText(u"2001-12-31 08:30:00"_s);
        const QString expected = u"[我的联系簿]\r\n"_s + columnBlock(BookId::Contacts, full) +
                                 columnBlock(BookId::Contacts, second) + u"\r\n"_s;
        const QByteArray bytes = readAll(path(QStringLiteral("contacts.txt")));
        QCOMPARE(bytes, qb::test::gb18030(expected));
        QVERIFY(bytes.contains(qb::test::gb18030(u"\r\n生日:2024/3/5\r\n性别:男\r\n"_s)));
        QVERIFY(bytes.contains(
            qb::test::gb18030(u"\r\n邮箱:\r\nQQ:\r\n"_s))); // NULL: nothing after ":"
        QVERIFY(bytes.contains(qb::test::gb18030(u"\r\n生日:2001/12/31 "_s)));
        QVERIFY(bytes.endsWith("\r\n\r\n\r\n"));
        QCOMPARE(contacts.currentRow(), 1);
    }

    void websitesLayout() {
        BookDataset& websites = book(BookId::Websites);
        test::addRecord(websites,
                        {u"  新浪 \t"_s, u" http://sina.com.cn "_s, u"me"_s, u"不写出"_s});
        test::addRecord(websites, {u"空地址"_s});
        test::addRecord(websites, {u"a b"_s, u"ftp://a.b/c d"_s});
        exportAs(BookId::Websites, path(QStringLiteral("sites.txt")));
        // Grid order: records posted since opening keep the place they were entered at.
        const QByteArray expected = qb::test::gb18030(u"[我的网址]\r\n"
                                                      "新浪  \\\\\\\\\\   http://sina.com.cn \r\n"
                                                      "空地址  \\\\\\\\\\  \r\n"
                                                      "a b  \\\\\\\\\\  ftp://a.b/c d\r\n"
                                                      "\r\n"_s);
        QCOMPARE(readAll(path(QStringLiteral("sites.txt"))), expected);
        QVERIFY(expected.contains(QByteArray::fromHex("20205c5c5c5c5c2020")));
        QCOMPARE(websites.currentRow(), 2);
    }

    void followsTheGridNotTheTable() {
        BookDataset& websites = book(BookId::Websites);
        for (const QString& name : {u"c"_s, u"a"_s, u"d"_s, u"b"_s})
            test::addRecord(websites, {name, u"http://"_s + name});
        websites.refresh();                               // grid: a b c d; table: c a d b
        test::addRecord(websites, {u"0 entered last"_s}); // keeps its place after d
        // Another program adds one record and deletes another: the export shows the grid.
        execSql(m_store->connection().handle(),
                u"INSERT INTO wzsk1(网址名称) VALUES ('e, not in the grid')"_s);
        execSql(m_store->connection().handle(), u"DELETE FROM wzsk1 WHERE 网址名称 = 'c'"_s);
        exportAs(BookId::Websites, path(QStringLiteral("sites.txt")));
        const QByteArray expected = qb::test::gb18030(u"[我的网址]\r\n"
                                                      "a  \\\\\\\\\\  http://a\r\n"
                                                      "b  \\\\\\\\\\  http://b\r\n"
                                                      "d  \\\\\\\\\\  http://d\r\n"
                                                      "0 entered last  \\\\\\\\\\  \r\n"
                                                      "\r\n"_s);
        QCOMPARE(readAll(path(QStringLiteral("sites.txt"))), expected);
    }

    void serialsLayout() {
        BookDataset& serials = book(BookId::Serials);
        test::addRecord(
            serials, {u"WinRAR 3.0"_s, u"注册版"_s, u"ABC-123 "_s, QString(), u"多行\r\n备注"_s});
        test::addRecord(serials, {u"Z"_s});
        serials.first();
        exportAs(BookId::Serials, path(QStringLiteral("serials.txt")));
        const QByteArray expected = qb::test::gb18030(u"[我的序列号]\r\n"
                                                      "名称版本号:WinRAR 3.0\r\n"
                                                      "版本类型:注册版\r\n"
                                                      "序列号本身:ABC-123 \r\n"
                                                      "认证码:\r\n"
                                                      "备注:多行\r\n备注\r\n"
                                                      "\r\n"
                                                      "名称版本号:Z\r\n"
                                                      "版本类型:\r\n"
                                                      "序列号本身:\r\n"
                                                      "认证码:\r\n"
                                                      "备注:\r\n"
                                                      "\r\n"
                                                      "\r\n"_s);
        QCOMPARE(readAll(path(QStringLiteral("serials.txt"))), expected);
        QCOMPARE(serials.currentRow(), 1);
    }

    void charactersOutsideGbk() {
        // GB18030 keeps what GBK cannot hold (here an emoji and a Korean syllable).
        test::addRecord(book(BookId::Websites), {u"😀한"_s, u"x"_s});
        exportAs(BookId::Websites, path(QStringLiteral("out.txt")));
        const QByteArray bytes = readAll(path(QStringLiteral("out.txt")));
        QCOMPARE(QStringDecoder("GB18030").decode(bytes),
                 u"[我的网址]\r\n😀한  \\\\\\\\\\  x\r\n\r\n"_s);
    }

    void encoderMatchesSystemConverter() {
        // Every BMP character, one by one and all in one value, then what takes the
        // converter: characters beyond the BMP and malformed bytes.
        Gb18030Encoder encoder;
        QString all;
        for (char32_t c = 1; c < 0x10000; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const QString one = QString(QChar(char16_t(c)));
            QCOMPARE(encodeUtf8(encoder, one.toUtf8()), qb::test::gb18030(one));
            all += one;
        }
        QCOMPARE(encodeUtf8(encoder, all.toUtf8()), qb::test::gb18030(all));
        QCOMPARE(encodeUtf8(encoder, u"a😀b中"_s.toUtf8()), qb::test::gb18030(u"a😀b中"_s));
        for (const QByteArray& malformed :
             {QByteArray("a\xe4\xb8"), QByteArray("\xc0\xafx"), QByteArray("\xed\xa0\x80"),
              QByteArray("\xe4\xb8\xad\xff")})
            QCOMPARE(encodeUtf8(encoder, malformed),
                     qb::test::gb18030(QString::fromUtf8(malformed)));
    }

    void targetNames_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("target");
        QTest::newRow("upper case") << u"list.TXT"_s << u"list.TXT.txt"_s;
        QTest::newRow("no extension") << u"list"_s << u"list.txt"_s;
        QTest::newRow("txt") << u"list.txt"_s << u"list.txt"_s;
        QTest::newRow("other extension") << u"list.txt.bak"_s << u"list.txt.bak.txt"_s;
        QTest::newRow("dot in folder") << u"my.docs/list"_s << u"my.docs/list.txt"_s;
        QTest::newRow("dot only") << u"list."_s << u"list..txt"_s;
    }
    void targetNames() {
        QFETCH(QString, chosen);
        QFETCH(QString, target);
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("my.docs")));
        exportAs(BookId::Serials, path(chosen));
        QCOMPARE(readAll(path(target)), qb::test::gb18030(u"[我的序列号]\r\n\r\n"_s));
        if (chosen != target)
            QVERIFY(!QFile::exists(path(chosen)));
        QCOMPARE(textExportTarget(u"D:\\my.docs\\list"_s), u"D:\\my.docs\\list.txt"_s);
    }

    void nothingWithoutDatabaseOrName() {
        test::addRecord(book(BookId::Serials), {u"a"_s});
        test::addRecord(book(BookId::Serials), {u"b"_s});
        book(BookId::Serials).first();
        // Cancelled (no answer) and an empty name: nothing written, the book stays.
        exportBookText(*m_store, BookId::Serials, *m_sd1);
        exportAs(BookId::Serials, QString());
        QCOMPARE(m_platform->fileRequests.size(), 2);
        QCOMPARE(book(BookId::Serials).currentRow(), 0);
        // No database: no dialog either.
        m_store->closeBooks();
        exportAs(BookId::Serials, path(QStringLiteral("x.txt")));
        QCOMPARE(m_platform->fileRequests.size(), 2);
        QCOMPARE(folderEntries(m_dir->path()), QStringList{u"book.mdb"_s});
    }

    void replacesExistingTarget() {
        qb::test::writeBytes(path(QStringLiteral("out.txt")), QByteArray(100000, 'x'));
        exportAs(BookId::Websites, path(QStringLiteral("out.txt")));
        QCOMPARE(readAll(path(QStringLiteral("out.txt"))),
                 qb::test::gb18030(u"[我的网址]\r\n\r\n"_s));
        QCOMPARE(folderEntries(m_dir->path()), (QStringList{u"book.mdb"_s, u"out.txt"_s}));
    }

    // A link at the chosen name is replaced, never written through; a name that is the open
    // database, by a link of either kind, is refused.
    void linksAtTheTarget_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("linksTo");
        QTest::addColumn<QString>("error");
        QTest::newRow("symbolic link to the database")
            << u"symbolic"_s << u"book.mdb"_s
            << u"out.txt”：它是打开着的数据库文件，导出没有进行"_s;
        QTest::newRow("hard link to the database")
            << u"hard"_s << u"book.mdb"_s << u"out.txt”：它是打开着的数据库文件，导出没有进行"_s;
        QTest::newRow("link to another file") << u"symbolic"_s << u"other.txt"_s << QString();
        QTest::newRow("dangling link") << u"symbolic"_s << u"missing.txt"_s << QString();
    }
    void linksAtTheTarget() {
        QFETCH(QString, kind);
        QFETCH(QString, linksTo);
        QFETCH(QString, error);
        qb::test::writeBytes(path(u"other.txt"_s), "mine");
        const QByteArray database = readAll(path(u"book.mdb"_s));
        const QString target = path(u"out.txt"_s);
        QVERIFY(kind == u"hard"_s ? ::link(QFile::encodeName(path(linksTo)).constData(),
                                           QFile::encodeName(target).constData()) == 0
                                  : QFile::link(path(linksTo), target));
        const QString message = errorOfExport(BookId::Websites, target);
        QVERIFY2(message.contains(error) && message.isEmpty() == error.isEmpty(),
                 qPrintable(message));
        QCOMPARE(readAll(path(u"book.mdb"_s)), database);
        QCOMPARE(readAll(path(u"other.txt"_s)), "mine"_ba);
        QVERIFY(!QFile::exists(path(u"missing.txt"_s)));
        if (error.isEmpty()) {
            QVERIFY(!QFileInfo(target).isSymLink());
            QCOMPARE(readAll(target), qb::test::gb18030(u"[我的网址]\r\n\r\n"_s));
        }
        QCOMPARE(folderEntries(m_dir->path()),
                 (QStringList{u"book.mdb"_s, u"other.txt"_s, u"out.txt"_s}));
    }

    void failuresLeaveTargetUntouched() {
        test::addRecord(book(BookId::Contacts), {u"张三"_s});
        // A folder on the way is a regular file: the target cannot be made, even by root.
        qb::test::writeBytes(path(QStringLiteral("file")), "x");
        const QString blocked = path(QStringLiteral("file/list.txt"));
        QCOMPARE(errorOfExport(BookId::Contacts, path(QStringLiteral("file/list"))),
                 u"Cannot create file "_s + blocked);

        // Writing fails part-way: the old file stays as it was, no temporary file is left.
        const QByteArray old("old text\r\n");
        qb::test::writeBytes(path(QStringLiteral("out.txt")), old);
        {
            test::FileSizeLimit limit(64);
            QCOMPARE(errorOfExport(BookId::Contacts, path(QStringLiteral("out.txt"))),
                     u"Cannot create file "_s + path(QStringLiteral("out.txt")));
        }
        QCOMPARE(readAll(path(QStringLiteral("out.txt"))), old);

        // A database error during the walk: its message, and again the old file stays.
        execSql(m_store->connection().handle(), QStringLiteral("DROP TABLE xuliehao1"));
        QVERIFY(errorOfExport(BookId::Serials, path(QStringLiteral("out.txt")))
                    .contains(u"xuliehao1"_s));
        QCOMPARE(readAll(path(QStringLiteral("out.txt"))), old);
        QCOMPARE(folderEntries(m_dir->path()),
                 (QStringList{u"book.mdb"_s, u"file"_s, u"out.txt"_s}));
    }

    void pendingEditIsPostedAndBookEndsOnLast() {
        BookDataset& contacts = book(BookId::Contacts);
        test::addRecord(contacts, {u"a"_s});
        test::addRecord(contacts, {u"b"_s});
        test::addRecord(contacts, {u"c"_s});
        contacts.first();
        contacts.setFieldText(1, u"typed@example.com"_s);
        exportAs(BookId::Contacts, path(QStringLiteral("out.txt")));
        QCOMPARE(contacts.state(), DatasetState::Browse);
        QCOMPARE(contacts.currentRow(), 2);
        QVERIFY(readAll(path(QStringLiteral("out.txt")))
                    .contains(qb::test::gb18030(u"姓名:a\r\n邮箱:typed@example.com\r\n"_s)));
    }
};

QTEST_GUILESS_MAIN(TestTextExport)
#include "tst_textexport.moc"
