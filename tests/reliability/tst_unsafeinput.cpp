// Website names and addresses that try to escape: shortcut files stay inside their folder,
// addresses are written and handed to the desktop exactly as typed, never through a shell.
#include "export/favorites.h"
#include "places.h"
#include "platform/desktopplatform.h"
#include "platform/scriptedplatform.h"
#include "store/testbooks.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace qb;

namespace {

const QString kSubFolder = QStringLiteral("Inkwren网址收集");

QByteArray shortcut(const QString& address) {
    QStringEncoder encoder("GB18030");
    return QByteArray("[InternetShortcut]\r\nURL=") + encoder.encode(address) + "\r\n";
}

QByteArray readAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Takes what the desktop would be asked to open, instead of starting a program.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

} // namespace

class TestUnsafeInput : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<RecordStore> m_store;

    QString favorites() const { return m_dir->filePath(QStringLiteral("Favorites")); }
    QString subFolder() const { return favorites() + u'/' + kSubFolder; }
    BookDataset& websites() { return m_store->book(BookId::Websites); }
    QString import() {
        return test::errorOf([this] { importWebsitesToFavorites(*m_store); });
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_platform->favorites = favorites();
        QVERIFY(QDir().mkpath(subFolder()));
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(test::createBookFile(m_dir->path()));
    }
    void cleanup() {
        m_store.reset();
        m_platform.reset();
        m_dir.reset();
    }

    void namesStayInTheFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file");
        // Device names on Windows, ordinary names here.
        for (const char* device : {"CON", "con", "NUL", "AUX", "PRN", "COM1", "LPT1", "CON.txt"})
            QTest::newRow(device) << QString::fromLatin1(device)
                                  << QString::fromLatin1(device) + QStringLiteral(".url");
        QTest::newRow("climbing inside")
            << QStringLiteral("a/../../b") << QStringLiteral("a....b.url");
        QTest::newRow("absolute") << QStringLiteral("/etc/passwd")
                                  << QStringLiteral("etcpasswd.url");
        QTest::newRow("home") << QStringLiteral("~") << QStringLiteral("~.url");
        QTest::newRow("option-like") << QStringLiteral("-rf") << QStringLiteral("-rf.url");
        QTest::newRow("shell") << QStringLiteral("$(touch x);`id`&")
                               << QStringLiteral("$(touch x);`id`&.url");
        QTest::newRow("wildcard") << QStringLiteral("*") << QStringLiteral(".url");
        // 2 + 83 * 3 bytes and ".url": the 255 bytes the system allows.
        const QString longest = QStringLiteral("nn") + QString(83, u'网');
        QTest::newRow("longest name") << longest << longest + QStringLiteral(".url");
    }
    void namesStayInTheFolder() {
        QFETCH(QString, name);
        QFETCH(QString, file);
        test::addRecord(websites(), {name, QStringLiteral("http://example.com/")});
        QCOMPARE(import(), QString());
        QCOMPARE(test::folderEntries(subFolder()), QStringList{file});
        QCOMPARE(readAll(QDir(subFolder()).filePath(file)),
                 shortcut(QStringLiteral("http://example.com/")));
        QCOMPARE(test::folderEntries(favorites()), QStringList{kSubFolder});
        QCOMPARE(test::folderEntries(m_dir->path()),
                 (QStringList{QStringLiteral("Favorites"), QStringLiteral("book.mdb")}));
    }

    // Over the system's limit of 255 bytes per name: a clear error, no file, and the websites
    // book shows the record whose name it was.
    void overlongNames_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("one byte over") << QStringLiteral("nnn") + QString(83, u'网');
        QTest::newRow("300 bytes") << QString(100, u'网');
    }
    void overlongNames() {
        QFETCH(QString, name);
        test::addRecord(websites(), {QStringLiteral("a"), QStringLiteral("http://a")});
        test::addRecord(websites(), {name, QStringLiteral("http://long")});
        QCOMPARE(import(), QStringLiteral("Invalid filename"));
        QCOMPARE(test::folderEntries(subFolder()), QStringList{QStringLiteral("a.url")});
        QCOMPARE(websites().valueText(0), name);
        QVERIFY(m_platform->launches.isEmpty());
    }

    // A link of a shortcut's name pointing out of the folder is replaced, never written through.
    void linkInTheFolderIsReplaced() {
        const QString outside = m_dir->filePath(QStringLiteral("outside.txt"));
        QFile f(outside);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("mine");
        f.close();
        QVERIFY(QFile::link(outside, QDir(subFolder()).filePath(QStringLiteral("a.url"))));
        test::addRecord(websites(), {QStringLiteral("a"), QStringLiteral("http://a")});
        QCOMPARE(import(), QString());
        QCOMPARE(readAll(outside), QByteArray("mine"));
        const QFileInfo replaced(QDir(subFolder()).filePath(QStringLiteral("a.url")));
        QVERIFY(!replaced.isSymLink());
        QCOMPARE(readAll(replaced.filePath()), shortcut(QStringLiteral("http://a")));
    }

    void addressesStayAsTyped_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("quotes and spaces") << QStringLiteral("http://a.cn/\"x\" 'y' z");
        QTest::newRow("command substitution")
            << QStringLiteral("http://a.cn/$(touch pwned)`touch pwned`");
        QTest::newRow("command separators")
            << QStringLiteral("a.cn; touch pwned | cat && rm -rf ~");
        QTest::newRow("file scheme") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("option-like") << QStringLiteral("--help");
        QTest::newRow("script") << QStringLiteral("javascript:alert(1)");
    }
    // In the shortcut file and in what the desktop is asked to open; no shell ever sees it.
    void addressesStayAsTyped() {
        QFETCH(QString, address);
        test::addRecord(websites(), {QStringLiteral("a"), address});
        QCOMPARE(import(), QString());
        QCOMPARE(readAll(QDir(subFolder()).filePath(QStringLiteral("a.url"))), shortcut(address));

        DesktopPlatform desktop;
        UrlCatcher catcher;
        const QStringList schemes = {QStringLiteral("http"), QStringLiteral("file"),
                                     QStringLiteral("javascript")};
        for (const QString& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, &catcher, "open");
        QDir::setCurrent(m_dir->path());
        desktop.shellOpen(address);
        for (const QString& scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls[0], QUrl(desktopUrlFor(address), QUrl::TolerantMode));
        QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("pwned"))));
    }
};

QTEST_MAIN(TestUnsafeInput)
#include "tst_unsafeinput.moc"
