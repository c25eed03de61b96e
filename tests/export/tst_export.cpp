#include "badfiles.h"
#include "export/exportfile.h"
#include "export/favorites.h"
#include "export/gb18030.h"
#include "export/gridorderspool.h"
#include "export/textexport.h"
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

class TestExport : public QObject {
    Q_OBJECT

    std::optional<test::OpenBooks> m_b;
    const QString kSubFolder = u"Inkwren网址收集"_s;

    QString path(const QString& name) const { return m_b->dir.filePath(name); }
    BookDataset& book(BookId id) { return m_b->store.book(id); }
    QString errorOfExport(BookId id, const QString& chosen) {
        return test::storeErrorOf([&] { exportBookText(m_b->store, id, chosen); });
    }
    QString subFolder() const { return path(u"Favorites/"_s + kSubFolder); }
    QString import() {
        return test::storeErrorOf([this] { importWebsitesToFavorites(m_b->store); });
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_b.emplace();
        QVERIFY(QDir().mkpath(m_b->platform.favorites = path(u"Favorites"_s)));
    }
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
        QCOMPARE(test::readBytes(path(u"other.txt"_s)), "mine"_ba);
        if (error.isEmpty())
            QCOMPARE(test::readBytes(target), test::gb18030(u"[我的网址]\r\n\r\n"_s));
        QCOMPARE(test::folderEntries(m_b->dir.path()),
                 (QStringList{u"Favorites"_s, u"book.mdb"_s, u"other.txt"_s, u"out.txt"_s}));
    }

    // Nothing is written without a name or a database; a database error leaves the old file as
    // it was and no temporary file behind. (Full disks and read-only folders: tst_fileerrors.)
    void failuresLeaveTargetUntouched() {
        for (const QString& name : {u"a"_s, u"b"_s})
            test::addRecord(book(BookId::Serials), {name});
        book(BookId::Serials).first();
        exportBookText(m_b->store, BookId::Serials, QString());
        QCOMPARE(book(BookId::Serials).currentRow(), 0);
        test::writeBytes(path(u"out.txt"_s), "old");
        execSql(m_b->store.connection().handle(), u"DROP TABLE xuliehao1"_s);
        QVERIFY(errorOfExport(BookId::Serials, path(u"out.txt"_s)).contains(u"xuliehao1"_s));
        m_b->store.closeBooks();
        exportBookText(m_b->store, BookId::Serials, path(u"x.txt"_s));
        QCOMPARE(test::readBytes(path(u"out.txt"_s)), "old"_ba);
        QCOMPARE(test::folderEntries(m_b->dir.path()),
                 (QStringList{u"Favorites"_s, u"book.mdb"_s, u"out.txt"_s}));
    }

    // Records written in any order come out in grid order, spilled to files or not; rows that
    // another program deleted (every fifth) get no record.
    void spoolPutsRecordsInGridOrder_data() { test::addTableRows(u"export/spool.txt"_s); }
    void spoolPutsRecordsInGridOrder() {
        const QStringList sizes = test::cells<1>()[0].split(u' ');
        const int rows = sizes[0].toInt();
        GridOrderSpool spool(rows, m_b->dir.path(), {}, {sizes[1].toInt(), sizes[2].toInt(), 16});
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
        QCOMPARE(test::readBytes(path(u"out"_s)), expected);
        QCOMPARE(spool.spilledBytes() > 0, sizes[3] == u"1"_s);
        QCOMPARE(test::folderEntries(m_b->dir.path()).size(), qsizetype(3)); // no spill file left
    }

    void cleanFileName_data() { test::addTableRows(u"export/clean-names.txt"_s); }
    void cleanFileName() {
        const auto [name, cleaned] = test::cells<2>();
        QCOMPARE(CleanFileName(name), cleaned);
    }

    void writeUrlShortcut_data() { test::addTableRows(u"export/shortcuts.txt"_s); }
    void writeUrlShortcut() {
        const auto [file, address, expected] = test::cells<3>();
        test::writeBytes(path(u"a.url"_s), QByteArray(500, 'x')); // replaced, not overwritten
        const QString error = test::storeErrorOf([&] { WriteUrlShortcut(path(file), address); });
        QCOMPARE(error.isEmpty() ? test::readBytes(path(file)) : error.toUtf8(),
                 test::bytesOf(expected));
        QCOMPARE(test::folderEntries(m_b->dir.path()),
                 (QStringList{u"Favorites"_s, u"a.url"_s, u"book.mdb"_s}));
    }

    // Shortcuts of earlier runs stay; the folder is shown and the book ends on its last record.
    void importWritesOneFilePerWebsite() {
        QCOMPARE(import(), QString());
        QCOMPARE(test::folderEntries(subFolder()), QStringList());
        for (const test::TableRow& row : test::readTable(u"export/favorite-sites.txt"_s))
            test::addRecord(m_b->websites(), QStringList{row.name} + row.cells);
        m_b->websites().first();
        test::writeBytes(subFolder() + u"/stale.url"_s, "");
        QCOMPARE(import(), QString());
        QCOMPARE(import(), QString());
        QByteArray shortcuts; // each file's name on a line of its own and its bytes
        for (const QString& name : test::folderEntries(subFolder()))
            shortcuts += name.toUtf8() + '\n' + test::readBytes(subFolder() + u'/' + name);
        QCOMPARE(shortcuts, test::goldenBytes(u"export/favorites.txt"_s));
        QCOMPARE(test::folderEntries(path(u"Favorites"_s)) + test::folderEntries(m_b->dir.path()),
                 (QStringList{kSubFolder, u"Favorites"_s, u"book.mdb"_s})); // nothing escaped
        QCOMPARE(m_b->platform.launches, QStringList(3, path(u"Favorites/"_s)));
        QVERIFY(m_b->errors().isEmpty() &&
                m_b->websites().currentRow() == m_b->websites().rowCount() - 1);
    }

    // A failure stops the run on the failing record; nothing is shown.
    void failures() {
        for (const QString& name : {u"a"_s, u"a0"_s, u"b"_s, u"c"_s})
            test::addRecord(m_b->websites(), {name, u"http://"_s + name});
        m_b->websites().first();
        m_b->platform.favorites.clear();
        QCOMPARE(import(), u"找不到收藏夹文件夹，网址没有导入"_s);
        QCOMPARE(m_b->websites().currentRow(), 0);
        m_b->platform.favorites = path(u"Favorites"_s);
        // Another program deletes a record the grid still shows; a folder blocks b's shortcut.
        execSql(m_b->store.connection().handle(), u"DELETE FROM wzsk1 WHERE 网址名称 = 'a0'"_s);
        QVERIFY(QDir().mkpath(subFolder() + u"/b.url"_s));
        QCOMPARE(import(), u"File access denied"_s);
        QCOMPARE(test::folderEntries(subFolder()), (QStringList{u"a.url"_s, u"b.url"_s}));
        QVERIFY(m_b->websites().currentRow() == 2 && m_b->platform.launches.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
