#include "books.h"
#include "export/favorites.h"
#include "filesizelimit.h"
#include "platform/scriptedplatform.h"
#include "store/dataerror.h"
#include "store/sqlitestatement.h"
#include "tables.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kSubFolder = u"Inkwren网址收集"_s;

QByteArray shortcut(const QString& address) {
    return "[InternetShortcut]\r\nURL=" + address.toLatin1() + "\r\n";
}

// Sorted by code point, whatever the locale.
QStringList entries(const QString& folder) {
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    names.sort();
    return names;
}

// Each file's name on a line of its own and its bytes.
QByteArray shortcutsOf(const QString& folder) {
    QByteArray all;
    for (const QString& name : entries(folder))
        all += name.toUtf8() + '\n' + test::readBytes(folder + u'/' + name);
    return all;
}

} // namespace

class TestFavorites : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;

    BookDataset& websites() { return m_store->book(BookId::Websites); }
    QString favorites() const { return m_dir->filePath(u"Favorites"_s); }
    QString subFolder() const { return favorites() + u'/' + kSubFolder; }
    QString inSubFolder(const QString& name) const { return subFolder() + u'/' + name; }
    void addWebsite(const QString& name, const QString& address) {
        test::addRecord(websites(), {name, address});
    }
    QString import() {
        return test::storeErrorOf([this] { importWebsitesToFavorites(*m_store); });
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        const QString file = test::createBookFile(m_dir->path());
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        QVERIFY(QDir().mkpath(favorites()));
        m_platform->favorites = favorites();
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(file);
    }
    void cleanup() {
        m_store.reset();
        m_platform.reset();
        m_dir.reset();
    }

    void cleanFileName_data() {
        test::addTableRows(u"export/clean-names.txt"_s, {"name", "cleaned"});
    }
    void cleanFileName() {
        QFETCH(QString, name);
        QFETCH(QString, cleaned);
        QCOMPARE(CleanFileName(name), cleaned);
    }

    void writeUrlShortcut_data() {
        test::addTableRows(u"export/shortcuts.txt"_s, {"address", "content"});
    }
    void writeUrlShortcut() {
        QFETCH(QString, address);
        QFETCH(QString, content);
        const QString file = m_dir->filePath(u"a.url"_s);
        test::writeBytes(file, QByteArray(500, 'x')); // replaced, not overwritten in place
        WriteUrlShortcut(file, address);
        QCOMPARE(test::readBytes(file), test::bytesOf(content));
    }

    void writeUrlShortcutFailures() {
        // A NUL would make the system cut the name and write another file.
        const QList<std::pair<QString, QString>> rows = {
            {u"missing/a.url"_s, u"File not found"_s},
            {QString(300, u'a'), u"Invalid filename"_s},
            {u"a\0b.url"_s, u"Invalid filename"_s},
            {u"Favorites"_s, u"File access denied"_s}};
        for (const auto& [name, error] : rows)
            QCOMPARE(test::storeErrorOf([&] { WriteUrlShortcut(m_dir->filePath(name), u"x"_s); }),
                     error);
        QCOMPARE(entries(m_dir->path()), (QStringList{u"Favorites"_s, u"book.mdb"_s}));
    }

    void importWritesOneFilePerWebsite() {
        addWebsite(u"资料:下载?"_s, u"http://ziliao.cn"_s);
        addWebsite(u"a//b"_s, u" \thttp://ab.com \r\n"_s);
        addWebsite(u"  ?  "_s, u"http://blank"_s);
        addWebsite(u"  新浪  "_s, QString());
        addWebsite(u"../../x"_s, u"http://up"_s);
        addWebsite(u"..."_s, u"http://dots"_s);
        // "x:y" comes before "xy" in key order: the later record's file stays.
        addWebsite(u"x:y"_s, u"first"_s);
        addWebsite(u"xy"_s, u"second"_s);
        // Names longer than a file name may be: cut to 255 bytes with ".url", never inside a
        // character; the two long Chinese names share their first 83 characters.
        addWebsite(QString(99, u'网') + u'站', u"cut first"_s);
        addWebsite(QString(100, u'网'), u"cut second"_s);
        addWebsite(u"a"_s + u"😀"_s.repeated(70), u"emoji"_s);
        addWebsite(u"ab"_s + QString(90, u'网'), u"at the limit"_s); // 255 bytes with ".url"
        websites().first();

        QCOMPARE(import(), QString());

        QCOMPARE(shortcutsOf(subFolder()), test::goldenBytes(u"export/favorites.txt"_s));
        // Nothing escaped the sub-folder.
        QCOMPARE(entries(favorites()), QStringList{kSubFolder});
        QCOMPARE(entries(m_dir->path()), (QStringList{u"Favorites"_s, u"book.mdb"_s}));
        QCOMPARE(m_platform->launches, QStringList{favorites() + u'/'});
        QVERIFY(m_platform->messages.isEmpty() &&
                websites().currentRow() == websites().rowCount() - 1);
    }

    void emptyBookAndSecondRun() {
        QCOMPARE(import(), QString());
        QCOMPARE(entries(subFolder()), QStringList());
        QCOMPARE(m_platform->launches, QStringList{favorites() + u'/'});

        for (const QString& name : {u"a"_s, u"b"_s})
            addWebsite(name, u"http://"_s + name);
        test::writeBytes(inSubFolder(u"stale.url"_s), "");
        QCOMPARE(import(), QString());
        QCOMPARE(import(), QString());
        QCOMPARE(entries(subFolder()), (QStringList{u"a.url"_s, u"b.url"_s, u"stale.url"_s}));
        QCOMPARE(test::readBytes(inSubFolder(u"b.url"_s)), shortcut(u"http://b"_s));
        QCOMPARE(m_platform->launches.size(), 3);
    }

    void failurePartWay() {
        for (const QString& name : {u"a"_s, u"a0"_s, u"b"_s, u"c"_s})
            addWebsite(name, u"http://"_s + name);
        websites().first();
        // Another program deletes a record the grid still shows.
        execSql(m_store->connection().handle(), u"DELETE FROM wzsk1 WHERE 网址名称 = 'a0'"_s);
        // A folder named like b's shortcut stands in the way.
        QVERIFY(QDir().mkpath(inSubFolder(u"b.url"_s)));
        QCOMPARE(import(), u"File access denied"_s);
        QCOMPARE(entries(subFolder()), (QStringList{u"a.url"_s, u"b.url"_s}));
        QCOMPARE(websites().currentRow(), 2); // the failing record
        QVERIFY(m_platform->launches.isEmpty());
    }

    void subFolderBlockedByAFile() {
        test::writeBytes(subFolder(), "");
        addWebsite(u"a"_s, u"http://a"_s);
        QCOMPARE(import(), u"Invalid filename"_s);
        QVERIFY(QFileInfo(subFolder()).isFile());
        QVERIFY(m_platform->launches.isEmpty());
    }

    void withoutFavoritesOrDatabase() {
        addWebsite(u"a"_s, u"http://a"_s);
        websites().first();
        m_platform->favorites.clear();
        QCOMPARE(import(), u"找不到收藏夹文件夹，网址没有导入"_s);
        QCOMPARE(entries(favorites()), QStringList());
        QCOMPARE(websites().currentRow(), 0);
        QVERIFY(m_platform->launches.isEmpty());

        m_platform->favorites = favorites();
        m_store->closeBooks();
        QCOMPARE(import(), QString());
        QCOMPARE(entries(favorites()), QStringList());
        QVERIFY(m_platform->launches.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFavorites)
#include "tst_favorites.moc"
