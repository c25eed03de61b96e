#include "export/favorites.h"
#include "openbooks.h"
#include "places.h"
#include "tables.h"
#include "testfiles.h"

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kSubFolder = u"Inkwren网址收集"_s;

// Each file's name on a line of its own and its bytes.
QByteArray shortcutsOf(const QString& folder) {
    QByteArray all;
    for (const QString& name : test::folderEntries(folder))
        all += name.toUtf8() + '\n' + test::readBytes(folder + u'/' + name);
    return all;
}

} // namespace

class TestFavorites : public QObject {
    Q_OBJECT

    std::optional<test::OpenBooks> m_b;

    BookDataset& websites() { return m_b->websites(); }
    QString path(const QString& name) const { return m_b->dir.filePath(name); }
    QString subFolder() const { return path(u"Favorites/"_s + kSubFolder); }
    QString import() {
        return test::storeErrorOf([this] { importWebsitesToFavorites(m_b->store); });
    }

private Q_SLOTS:
    void init() {
        m_b.emplace();
        QVERIFY(QDir().mkpath(m_b->platform.favorites = path(u"Favorites"_s)));
    }
    void cleanup() { m_b.reset(); }

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
            test::addRecord(websites(), QStringList{row.name} + row.cells);
        websites().first();
        test::writeBytes(subFolder() + u"/stale.url"_s, "");
        QCOMPARE(import(), QString());
        QCOMPARE(import(), QString());
        QCOMPARE(shortcutsOf(subFolder()), test::goldenBytes(u"export/favorites.txt"_s));
        QCOMPARE(test::folderEntries(path(u"Favorites"_s)) + test::folderEntries(m_b->dir.path()),
                 (QStringList{kSubFolder, u"Favorites"_s, u"book.mdb"_s})); // nothing escaped
        QCOMPARE(m_b->platform.launches, QStringList(3, path(u"Favorites/"_s)));
        QVERIFY(m_b->errors().isEmpty() && websites().currentRow() == websites().rowCount() - 1);
    }

    // A failure stops the run on the failing record; nothing is shown.
    void failures() {
        for (const QString& name : {u"a"_s, u"a0"_s, u"b"_s, u"c"_s})
            test::addRecord(websites(), {name, u"http://"_s + name});
        websites().first();
        // Another program deletes a record the grid still shows; a folder blocks b's shortcut.
        execSql(m_b->store.connection().handle(), u"DELETE FROM wzsk1 WHERE 网址名称 = 'a0'"_s);
        QVERIFY(QDir().mkpath(subFolder() + u"/b.url"_s));
        QCOMPARE(import(), u"File access denied"_s);
        QCOMPARE(test::folderEntries(subFolder()), (QStringList{u"a.url"_s, u"b.url"_s}));
        QCOMPARE(websites().currentRow(), 2);
        QVERIFY(QDir(subFolder()).removeRecursively());
        test::writeBytes(subFolder(), "");
        QCOMPARE(import(), u"Invalid filename"_s);
        QVERIFY(QFileInfo(subFolder()).isFile());
        websites().first();
        m_b->platform.favorites.clear();
        QCOMPARE(import(), u"找不到收藏夹文件夹，网址没有导入"_s);
        QCOMPARE(websites().currentRow(), 0);
        m_b->platform.favorites = path(u"Favorites"_s);
        m_b->store.closeBooks();
        QCOMPARE(import(), QString());
        QCOMPARE(test::folderEntries(path(u"Favorites"_s)), QStringList{kSubFolder});
        QVERIFY(m_b->platform.launches.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFavorites)
#include "tst_favorites.moc"
