#include "badfiles.h"
#include "books.h"
#include "export/gb18030.h"
#include "export/textexport.h"
#include "filesizelimit.h"
#include "platform/filedialog.h"
#include "platform/scriptedplatform.h"
#include "store/dataerror.h"
#include "store/sqlitestatement.h"
#include "tables.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

QByteArray encodeUtf8(Gb18030Encoder& encoder, const QByteArray& utf8) {
    QByteArray out(Gb18030Encoder::maxEncodedSize(utf8.size()), Qt::Uninitialized);
    out.truncate(encoder.appendUtf8(out.data(), utf8.constData(), utf8.size()) - out.constData());
    return out;
}

} // namespace

class TestTextExport : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    BookDataset& book(BookId id) { return m_store->book(id); }

    // Records that show every rule of the layout: blanks, line breaks, dates, missing values,
    // characters beyond GBK, the grid order after a refresh and another program's changes.
    void fill(BookId id) {
        BookDataset& b = book(id);
        if (id == BookId::Contacts) {
            QStringList full(25);
            full[0] = u"张三"_s;
            full[1] = u"zhang@example.com"_s;
            full[4] = u"2024-03-05"_s;
            full[5] = u"男"_s;
            full[8] = u"画画  "_s;
            full[24] = u"第一行\r\n第二行\n第三行"_s;
            test::addRecord(b, full);
            test::addRecord(b, {u"李四"_s, {}, {}, {}, u"2001-12-31 08:30:00"_s});
            b.first();
            b.setFieldText(1, u"typed@example.com"_s); // still being edited
        } else if (id == BookId::Websites) {
            test::addRecord(b, {u"  新浪 \t"_s, u" http://sina.com.cn "_s, u"me"_s, u"不写出"_s});
            for (const QString& name : {u"c"_s, u"a"_s, u"d"_s, u"b"_s})
                test::addRecord(b, {name, u"http://"_s + name});
            b.refresh();                               // grid: a b c d; table: c a d b
            test::addRecord(b, {u"0 entered last"_s}); // keeps its place after d
            test::addRecord(b, {u"😀한"_s, u"x"_s});
            test::runSql(m_store->connection().fileName(),
                         u"INSERT INTO wzsk1(网址名称) VALUES ('e, not in the grid');"
                         "DELETE FROM wzsk1 WHERE 网址名称 = 'c'"_s);
            b.first();
        } else {
            test::addRecord(
                b, {u"WinRAR 3.0"_s, u"注册版"_s, u"ABC-123 "_s, QString(), u"多行\r\n备注"_s});
            test::addRecord(b, {u"Z"_s});
            b.first();
        }
    }
    QString errorOfExport(BookId id, const QString& chosen) {
        return test::storeErrorOf([&] { exportBookText(*m_store, id, chosen); });
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
    }
    void cleanup() {
        m_store.reset();
        m_platform.reset();
        m_dir.reset();
    }

    // The bytes written, from a hand-written golden file; the book ends on its last record with
    // a pending edit stored.
    void layouts_data() {
        QTest::addColumn<BookId>("book");
        QTest::addColumn<bool>("filled");
        for (BookId id : allBooks())
            for (bool filled : {false, true})
                QTest::newRow(qPrintable(tableSchema(id).tableName + QString::number(filled)))
                    << id << filled;
    }
    void layouts() {
        QFETCH(BookId, book);
        QFETCH(bool, filled);
        const QString golden = QStringList{u"contacts"_s, u"websites"_s, u"serials"_s}[int(book)] +
                               (filled ? u""_s : u"-empty"_s);
        if (filled)
            fill(book);
        exportBookText(*m_store, book, path(u"out"_s));
        QCOMPARE(test::readBytes(path(u"out.txt"_s)),
                 test::goldenBytes(u"export/"_s + golden + u".txt"_s));
        QVERIFY(this->book(book).state() == DatasetState::Browse &&
                this->book(book).currentRow() == this->book(book).rowCount() - 1);
    }

    void encoderMatchesSystemConverter() {
        // Every BMP character in one value, then characters beyond the BMP and malformed bytes.
        Gb18030Encoder encoder;
        QString all;
        for (char32_t c = 1; c < 0x10000; ++c)
            if (c < 0xD800 || c > 0xDFFF)
                all += QChar(char16_t(c));
        for (const QByteArray& utf8 :
             {all.toUtf8(), u"a😀b中"_s.toUtf8(), QByteArray("a\xe4\xb8"), QByteArray("\xc0\xafx"),
              QByteArray("\xed\xa0\x80"), QByteArray("\xe4\xb8\xad\xff")})
            QCOMPARE(encodeUtf8(encoder, utf8), test::gb18030(QString::fromUtf8(utf8)));
    }

    void targetNames_data() { test::addTableRows(u"export/txt-names.txt"_s, {"chosen", "target"}); }
    void targetNames() {
        QFETCH(QString, chosen);
        QFETCH(QString, target);
        QVERIFY(QDir(m_dir->path()).mkpath(u"my.docs"_s));
        exportBookText(*m_store, BookId::Serials, path(chosen));
        QCOMPARE(test::readBytes(path(target)), test::gb18030(u"[我的序列号]\r\n\r\n"_s));
        if (chosen != target)
            QVERIFY(!QFile::exists(path(chosen)));
        QCOMPARE(textExportTarget(u"D:\\my.docs\\list"_s), u"D:\\my.docs\\list.txt"_s);
    }

    void nothingWithoutDatabaseOrName() {
        for (const QString& name : {u"a"_s, u"b"_s})
            test::addRecord(book(BookId::Serials), {name});
        book(BookId::Serials).first();
        // Cancelled (no name): nothing written, the book stays.
        exportBookText(*m_store, BookId::Serials, QString());
        QCOMPARE(book(BookId::Serials).currentRow(), 0);
        // No database: nothing written.
        m_store->closeBooks();
        exportBookText(*m_store, BookId::Serials, path(u"x.txt"_s));
        QCOMPARE(folderEntries(m_dir->path()), QStringList{u"book.mdb"_s});
    }

    // A file or a link at the chosen name is replaced, never written through; a name that is
    // the open database, by a link of either kind, is refused.
    void linksAtTheTarget_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("linksTo");
        QTest::addColumn<QString>("error");
        const QString refused = u"out.txt”：它是打开着的数据库文件，导出没有进行"_s;
        QTest::newRow("symbolic link to the database") << u"symbolic"_s << u"book.mdb"_s << refused;
        QTest::newRow("hard link to the database") << u"hard"_s << u"book.mdb"_s << refused;
        QTest::newRow("link to another file") << u"symbolic"_s << u"other.txt"_s << QString();
        QTest::newRow("plain file") << u"file"_s << QString() << QString();
        QTest::newRow("dangling link") << u"symbolic"_s << u"missing.txt"_s << QString();
    }
    void linksAtTheTarget() {
        QFETCH(QString, kind);
        QFETCH(QString, linksTo);
        QFETCH(QString, error);
        test::writeBytes(path(u"other.txt"_s), "mine");
        const QByteArray database = test::readBytes(path(u"book.mdb"_s));
        const QString target = path(u"out.txt"_s);
        if (kind == u"file"_s)
            test::writeBytes(target, QByteArray(100000, 'x'));
        else
            QVERIFY(kind == u"hard"_s ? ::link(QFile::encodeName(path(linksTo)).constData(),
                                               QFile::encodeName(target).constData()) == 0
                                      : QFile::link(path(linksTo), target));
        const QString message = errorOfExport(BookId::Websites, target);
        QVERIFY2(message.contains(error) && message.isEmpty() == error.isEmpty(),
                 qPrintable(message));
        QCOMPARE(test::readBytes(path(u"book.mdb"_s)), database);
        QCOMPARE(test::readBytes(path(u"other.txt"_s)), "mine"_ba);
        QVERIFY(!QFile::exists(path(u"missing.txt"_s)));
        if (error.isEmpty()) {
            QVERIFY(!QFileInfo(target).isSymLink());
            QCOMPARE(test::readBytes(target), test::gb18030(u"[我的网址]\r\n\r\n"_s));
        }
        QCOMPARE(folderEntries(m_dir->path()),
                 (QStringList{u"book.mdb"_s, u"other.txt"_s, u"out.txt"_s}));
    }

    void failuresLeaveTargetUntouched() {
        test::addRecord(book(BookId::Contacts), {u"张三"_s});
        // A folder on the way is a regular file: the target cannot be made, even by root.
        test::writeBytes(path(u"file"_s), "x");
        QCOMPARE(errorOfExport(BookId::Contacts, path(u"file/list"_s)),
                 u"Cannot create file "_s + path(u"file/list.txt"_s));

        // Writing fails part-way: the old file stays as it was, no temporary file is left.
        const QByteArray old("old text\r\n");
        test::writeBytes(path(u"out.txt"_s), old);
        {
            test::FileSizeLimit limit(64);
            QCOMPARE(errorOfExport(BookId::Contacts, path(u"out.txt"_s)),
                     u"Cannot create file "_s + path(u"out.txt"_s));
        }
        QCOMPARE(test::readBytes(path(u"out.txt"_s)), old);

        // A database error during the walk: its message, and again the old file stays.
        execSql(m_store->connection().handle(), u"DROP TABLE xuliehao1"_s);
        QVERIFY(errorOfExport(BookId::Serials, path(u"out.txt"_s)).contains(u"xuliehao1"_s));
        QCOMPARE(test::readBytes(path(u"out.txt"_s)), old);
        QCOMPARE(folderEntries(m_dir->path()),
                 (QStringList{u"book.mdb"_s, u"file"_s, u"out.txt"_s}));
    }
};

QTEST_GUILESS_MAIN(TestTextExport)
#include "tst_textexport.moc"
