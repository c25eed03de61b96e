#include "badfiles.h"
#include "export/exportfile.h"
#include "export/gb18030.h"
#include "export/gridorderspool.h"
#include "export/textexport.h"
#include "filesizelimit.h"
#include "openbooks.h"
#include "places.h"
#include "tables.h"
#include "testfiles.h"

#include <QLocale>
#include <QRandomGenerator>

#include <numeric>
#include <unistd.h>

using namespace qb;
using namespace Qt::StringLiterals;

class TestTextExport : public QObject {
    Q_OBJECT

    std::optional<test::OpenBooks> m_b;

    QString path(const QString& name) const { return m_b->dir.filePath(name); }
    BookDataset& book(BookId id) { return m_b->store.book(id); }
    QString errorOfExport(BookId id, const QString& chosen) {
        return test::storeErrorOf([&] { exportBookText(m_b->store, id, chosen); });
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_b.emplace(); }
    void cleanup() { m_b.reset(); }

    // The bytes written, as hand-written, empty and filled; the book ends on its last record
    // with a pending edit stored, and shows neither another program's new record nor its
    // deleting one.
    void layouts() {
        const QStringList names{u"contacts"_s, u"websites"_s, u"serials"_s};
        for (BookId id : allBooks()) {
            const QString golden = u"export/"_s + names[int(id)];
            exportBookText(m_b->store, id, path(u"empty"_s));
            QCOMPARE(test::readBytes(path(u"empty.txt"_s)),
                     test::goldenBytes(golden + u"-empty.txt"_s));
            for (const test::TableRow& row : test::readTable(u"export/records.txt"_s))
                if (row.name == names[int(id)])
                    test::addRecord(book(id), row.cells);
                else if (row.name == u"refresh"_s && id == BookId::Websites)
                    book(id).refresh();
            if (id == BookId::Websites)
                test::runSql(m_b->store.connection().fileName(),
                             u"INSERT INTO wzsk1(网址名称) VALUES ('e, not in the grid');"
                             "DELETE FROM wzsk1 WHERE 网址名称 = 'c'"_s);
            book(id).first();
            if (id == BookId::Contacts)
                book(id).setFieldText(1, u"typed@example.com"_s);
            exportBookText(m_b->store, id, path(u"out"_s));
            QCOMPARE(test::readBytes(path(u"out.txt"_s)), test::goldenBytes(golden + u".txt"_s));
            QVERIFY(book(id).state() == DatasetState::Browse &&
                    book(id).currentRow() == book(id).rowCount() - 1);
        }
    }

    // Every BMP character in one value, then characters beyond the BMP and malformed bytes.
    void encoderMatchesSystemConverter() {
        Gb18030Encoder encoder;
        QString all;
        for (char32_t c = 1; c < 0x10000; ++c)
            if (c < 0xD800 || c > 0xDFFF)
                all += QChar(char16_t(c));
        for (const QByteArray& utf8 :
             {all.toUtf8(), u"a😀b中"_s.toUtf8(), QByteArray("a\xe4\xb8"), QByteArray("\xc0\xafx"),
              QByteArray("\xed\xa0\x80"), QByteArray("\xe4\xb8\xad\xff")}) {
            QByteArray out(Gb18030Encoder::maxEncodedSize(utf8.size()), Qt::Uninitialized);
            out.truncate(encoder.appendUtf8(out.data(), utf8.data(), utf8.size()) - out.data());
            QCOMPARE(out, test::gb18030(QString::fromUtf8(utf8)));
        }
    }

    void targetNames_data() { test::addTableRows(u"export/txt-names.txt"_s); }
    void targetNames() {
        const auto [chosen, target] = test::cells<2>();
        QVERIFY(QDir(m_b->dir.path()).mkpath(u"my.docs"_s));
        exportBookText(m_b->store, BookId::Serials, path(chosen));
        QCOMPARE(test::readBytes(path(target)), test::gb18030(u"[我的序列号]\r\n\r\n"_s));
        QVERIFY(chosen == target || !QFile::exists(path(chosen)));
        QCOMPARE(textExportTarget(u"D:\\my.docs\\list"_s), u"D:\\my.docs\\list.txt"_s);
    }

    // A file or a link at the chosen name is replaced, never written through; a name that is
    // the open database, by a link of either kind, is refused.
    void linksAtTheTarget_data() { test::addTableRows(u"export/links.txt"_s); }
    void linksAtTheTarget() {
        const auto [kind, linksTo, error] = test::cells<3>();
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
        QVERIFY(error.isEmpty() != QFileInfo(target).isSymLink() || kind == u"hard"_s);
        if (error.isEmpty())
            QCOMPARE(test::readBytes(target), test::gb18030(u"[我的网址]\r\n\r\n"_s));
        QCOMPARE(test::folderEntries(m_b->dir.path()),
                 (QStringList{u"book.mdb"_s, u"other.txt"_s, u"out.txt"_s}));
    }

    // Nothing is written without a name or a database; a failing write leaves the old file as
    // it was and no temporary file behind.
    void failuresLeaveTargetUntouched() {
        test::addRecord(book(BookId::Contacts), {u"张三"_s});
        for (const QString& name : {u"a"_s, u"b"_s})
            test::addRecord(book(BookId::Serials), {name});
        book(BookId::Serials).first();
        exportBookText(m_b->store, BookId::Serials, QString());
        QCOMPARE(book(BookId::Serials).currentRow(), 0);
        // A folder on the way is a regular file: the target cannot be made, even by root.
        test::writeBytes(path(u"file"_s), "x");
        QCOMPARE(errorOfExport(BookId::Contacts, path(u"file/list"_s)),
                 u"Cannot create file "_s + path(u"file/list.txt"_s));
        const QByteArray old("old text\r\n");
        test::writeBytes(path(u"out.txt"_s), old);
        {
            test::FileSizeLimit limit(64);
            QCOMPARE(errorOfExport(BookId::Contacts, path(u"out.txt"_s)),
                     u"Cannot create file "_s + path(u"out.txt"_s));
        }
        execSql(m_b->store.connection().handle(), u"DROP TABLE xuliehao1"_s);
        QVERIFY(errorOfExport(BookId::Serials, path(u"out.txt"_s)).contains(u"xuliehao1"_s));
        m_b->store.closeBooks();
        exportBookText(m_b->store, BookId::Serials, path(u"x.txt"_s));
        QCOMPARE(test::readBytes(path(u"out.txt"_s)), old);
        QCOMPARE(test::folderEntries(m_b->dir.path()),
                 (QStringList{u"book.mdb"_s, u"file"_s, u"out.txt"_s}));
    }

    // Records written in any order come out in grid order, spilled to files or not; rows that
    // another program deleted (every fifth) get no record.
    void spoolPutsRecordsInGridOrder_data() { test::addTableRows(u"export/spool.txt"_s); }
    void spoolPutsRecordsInGridOrder() {
        const QStringList sizes = test::cells<1>()[0].split(u' ');
        const int rows = sizes[0].toInt();
        // A regular file as the spill folder: the spill fails, even for root.
        GridOrderSpool spool(rows, path(rows == 100 ? u"book.mdb"_s : QString()),
                             u"Cannot create file x"_s, {sizes[1].toInt(), sizes[2].toInt(), 16});
        QList<int> order(rows);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
        // A row's record: its number repeated to vary the lengths (some are empty); row 1 is
        // bigger than any bucket.
        const auto recordOf = [](int row) {
            return row == 1 ? QByteArray(100000, 'b')
                            : QByteArray::number(row).repeated(row % 7) + (row % 7 ? "|" : "");
        };
        QByteArray expected;
        for (int row = 0; row < rows; ++row)
            expected += row % 5 == 3 ? QByteArray() : recordOf(row);
        const QString error = test::storeErrorOf([&] {
            ExportFile file(path(u"out"_s));
            for (int row : order) {
                if (row % 5 == 3)
                    continue;
                const QByteArray bytes = recordOf(row);
                spool.startRecord(row);
                spool.advance(std::ranges::copy(bytes, spool.room(bytes.size())).out);
            }
            spool.writeTo(file);
            file.commit();
        });
        QCOMPARE(error, rows == 100 ? u"Cannot create file x"_s : QString());
        QCOMPARE(test::readBytes(path(u"out"_s)), error.isEmpty() ? expected : QByteArray());
        QCOMPARE(spool.spilledBytes() > 0 || !error.isEmpty(), sizes[3] == u"1"_s);
        QCOMPARE(test::folderEntries(m_b->dir.path()).size(), qsizetype(error.isEmpty() ? 2 : 1));
    }
};

QTEST_GUILESS_MAIN(TestTextExport)
#include "tst_textexport.moc"
