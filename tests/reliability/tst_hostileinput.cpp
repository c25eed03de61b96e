// Input that tries to escape or to overwhelm. Website names and addresses: shortcut files
// stay inside their folder, addresses are written and handed to the desktop exactly as typed,
// never through a shell. Large input: a 10 MB note, a search history of 100,000 entries, and
// characters outside GBK through the database, the preferences file and the shortcut files.
#include "books.h"
#include "export/favorites.h"
#include "places.h"
#include "platform/desktopplatform.h"
#include "store/preferences.h"
#include "support/windowdriver.h"
#include "testfiles.h"

#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

#include <optional>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kSubFolder = u"Inkwren网址收集"_s;
// An emoji, a character of CJK extension B and one of extension A: none of them is in GBK;
// the first two take four bytes in UTF-8, GB18030 and as UTF-16 surrogate pairs.
const QString kOutsideGbk = u"笑😀\U00020000\u3400"_s;
const QString kNoteTooLong = u"ADOTable1: 备注最多只能有 255 个字符"_s;

QByteArray shortcut(const QString& address) {
    return "[InternetShortcut]\r\nURL=" + test::gb18030(address) + "\r\n";
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

class TestHostileInput : public QObject {
    Q_OBJECT

    std::optional<test::Sandbox> m_box;
    QString m_book;
    std::optional<RecordStore> m_store; // on the book, for the favorites' import

    QString favorites() const { return m_box->path(u"Favorites"_s); }
    QString inSubFolder(const QString& name) const {
        return favorites() + u'/' + kSubFolder + u'/' + name;
    }
    BookDataset& websites() { return m_store->book(BookId::Websites); }
    QString import() {
        return test::storeErrorOf([this] { importWebsitesToFavorites(*m_store); });
    }
    std::unique_ptr<TSDIAppForm> startWith(const QStringList& history = {}) {
        test::rememberDatabase(m_box->ini(), m_book, history);
        return test::showMainWindow(m_box->ini());
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_box.emplace();
        m_box->platform.favorites = favorites();
        QVERIFY(QDir().mkpath(inSubFolder({})));
        m_book = test::createBookFile(m_box->dir.path());
        m_store.emplace();
        m_store->openDatabase(m_book);
    }
    void cleanup() {
        m_store.reset();
        m_box.reset();
    }

    // Names the favorites' own tests do not try (the climbing, absolute and wildcard ones they
    // do), and the longest name the system allows and one byte more, which is cut at the last
    // whole character that fits.
    void shortcutNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file");
        // Device names on Windows, ordinary names here.
        for (const char* device : {"CON", "con", "NUL", "AUX", "PRN", "COM1", "LPT1", "CON.txt"})
            QTest::newRow(device) << QString::fromLatin1(device)
                                  << QString::fromLatin1(device) + u".url"_s;
        QTest::newRow("home") << u"~"_s << u"~.url"_s;
        QTest::newRow("option-like") << u"-rf"_s << u"-rf.url"_s;
        QTest::newRow("shell") << u"$(touch x);`id`&"_s << u"$(touch x);`id`&.url"_s;
        // 2 + 83 * 3 bytes and ".url": the 255 bytes the system allows.
        const QString longest = u"nn"_s + QString(83, u'网');
        QTest::newRow("longest name") << longest << longest + u".url"_s;
        QTest::newRow("one byte over")
            << u"n"_s + longest << u"nnn"_s + QString(82, u'网') + u".url"_s;
    }
    void shortcutNames() {
        QFETCH(QString, name);
        QFETCH(QString, file);
        test::addRecord(websites(), {name, u"http://example.com/"_s});
        QCOMPARE(import(), QString());
        QCOMPARE(test::folderEntries(inSubFolder({})), QStringList{file});
        QCOMPARE(test::readBytes(inSubFolder(file)), shortcut(u"http://example.com/"_s));
        QCOMPARE(test::folderEntries(favorites()), QStringList{kSubFolder});
        QCOMPARE(test::folderEntries(m_box->dir.path()),
                 (QStringList{u"Favorites"_s, u"book.mdb"_s}));
        QCOMPARE(m_box->platform.launches.isEmpty(), file.isEmpty());
    }

    // A link of a shortcut's name pointing out of the folder is replaced, never written through.
    void linkInTheFolderIsReplaced() {
        const QString outside = m_box->path(u"outside.txt"_s);
        test::writeBytes(outside, "mine");
        QVERIFY(QFile::link(outside, inSubFolder(u"a.url"_s)));
        test::addRecord(websites(), {u"a"_s, u"http://a"_s});
        QCOMPARE(import(), QString());
        QCOMPARE(test::readBytes(outside), QByteArray("mine"));
        QVERIFY(!QFileInfo(inSubFolder(u"a.url"_s)).isSymLink());
        QCOMPARE(test::readBytes(inSubFolder(u"a.url"_s)), shortcut(u"http://a"_s));
    }

    void addressesStayAsTyped_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("quotes and spaces") << u"http://a.cn/\"x\" 'y' z"_s;
        QTest::newRow("command substitution") << u"http://a.cn/$(touch pwned)`touch pwned`"_s;
        QTest::newRow("command separators") << u"a.cn; touch pwned | cat && rm -rf ~"_s;
        QTest::newRow("file scheme") << u"file:///etc/passwd"_s;
        QTest::newRow("option-like") << u"--help"_s;
        QTest::newRow("script") << u"javascript:alert(1)"_s;
    }
    // In the shortcut file and in what the desktop is asked to open; no shell ever sees it.
    void addressesStayAsTyped() {
        QFETCH(QString, address);
        test::addRecord(websites(), {u"a"_s, address});
        QCOMPARE(import(), QString());
        QCOMPARE(test::readBytes(inSubFolder(u"a.url"_s)), shortcut(address));

        DesktopPlatform desktop;
        UrlCatcher catcher;
        const QStringList schemes = {u"http"_s, u"file"_s, u"javascript"_s};
        for (const QString& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, &catcher, "open");
        QDir::setCurrent(m_box->dir.path());
        desktop.shellOpen(address);
        for (const QString& scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls[0], QUrl(desktopUrlFor(address), QUrl::TolerantMode));
        QVERIFY(!QFile::exists(m_box->path(u"pwned"_s)));
    }

    // 备注 holds 255 characters, counted as characters, not bytes or UTF-16 units. Pasted into
    // the note field, a longer note is refused at once with the data layer's error and the field
    // keeps what it had; handed to the book by other means, the post refuses it and the record
    // stays being edited.
    void notePastedAtAndOverItsWidth_data() {
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("fits");
        const QString fourByte255 = u"😀\U00020000"_s.repeated(127) + u"😀"_s;
        QTest::newRow("255 four-byte characters") << fourByte255 << true;
        QTest::newRow("256 four-byte characters") << fourByte255 + u"😀"_s << false;
        QTest::newRow("10 MB") << QString(10 * 1024 * 1024, QChar(u'注')) << false;
    }
    void notePastedAtAndOverItsWidth() {
        QFETCH(QString, note);
        QFETCH(bool, fits);
        auto form = startWith();
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", u"甲"_s);
        form->findChild<QTabWidget*>(u"PageControl3"_s)->setCurrentIndex(2);
        auto* memo = form->findChild<QPlainTextEdit*>(u"DBLianxiMemo"_s);
        test::type(*form, "DBLianxiMemo", u"开头"_s);
        memo->selectAll();
        QGuiApplication::clipboard()->setText(note);
        QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
        if (!fits)
            m_box->verifyOneError(kNoteTooLong + u'.');
        test::click(*form, "LbButton28"); // 提交
        QCOMPARE(m_box->platform.messages.size(), fits ? 0 : 1);

        form.reset();
        if (fits) {
            form = startWith();
            QCOMPARE(form->store().book(BookId::Contacts).valueText(u"备注"_s), note);
            QCOMPARE(test::fieldText(*form, "DBLianxiMemo"), note);
            return;
        }
        RecordStore store;
        store.openDatabase(m_book);
        BookDataset& contacts = store.book(BookId::Contacts);
        QCOMPARE(contacts.valueText(u"备注"_s), u"开头"_s);
        contacts.setFieldText(contacts.columnIndex(u"备注"_s), note);
        QCOMPARE(test::storeErrorOf([&] { contacts.post(); }), kNoteTooLong);
        QCOMPARE(contacts.state(), DatasetState::Edit);
        QCOMPARE(contacts.valueText(u"备注"_s), note);
    }

    // Loaded at the start, grown by 定位, saved at the end and loaded by the next start.
    // How long this takes is measured in bench/.
    void searchHistoryOf100000() {
        QStringList history;
        for (int i = 0; i < 100000; ++i)
            history << u"搜索%1"_s.arg(i);
        auto form = startWith(history);
        test::type(*form, "cmlianxi1zhao", u"新的"_s);
        test::click(*form, "LbButton5");              // 定位
        QCOMPARE(m_box->platform.messages.size(), 1); // 找不到
        form.reset();
        QCOMPARE(m_box->platform.messages.size(), 1);
        history << u"新的"_s;
        QCOMPARE(LoadPreferences(m_box->ini()).histories[0], history);
        form = test::showMainWindow(m_box->ini());
        const auto* box = form->findChild<QComboBox*>(u"cmlianxi1zhao"_s);
        QCOMPARE(box->count(), 100001);
        QCOMPARE(box->itemText(100000), u"新的"_s);
    }

    // Typed into the window, kept in the database, the search history and a shortcut file, and
    // read back unchanged from each.
    void charactersOutsideGbk() {
        const QString name = u"网"_s + kOutsideGbk;
        const QString address = u"http://例子.中国/"_s + kOutsideGbk;
        auto form = startWith();
        test::click(*form, "LbButton7"); // websites: 添加
        test::type(*form, "DBwangzhiname", name);
        test::type(*form, "DBwangzhi", address);
        test::click(*form, "LbButton30"); // 提交
        const QString search = u"网笑😀"_s;
        test::type(*form, "cmwzsk1zhao", search);
        test::click(*form, "LbButton9"); // 定位
        test::trigger(*form, "IE1");
        QCOMPARE(m_box->platform.messages.size(), 0);
        QCOMPARE(test::readBytes(inSubFolder(name + u".url"_s)), shortcut(address));

        form.reset();
        QCOMPARE(LoadPreferences(m_box->ini()).histories[size_t(BookId::Websites)],
                 QStringList{search});
        form = test::showMainWindow(m_box->ini());
        BookDataset& websites = form->store().book(BookId::Websites);
        QCOMPARE(websites.valueText(0), name);
        QCOMPARE(websites.valueText(1), address);
        QCOMPARE(test::fieldText(*form, "DBwangzhiname"), name);
        QCOMPARE(test::fieldText(*form, "cmwzsk1zhao"), QString());
        QCOMPARE(form->findChild<QComboBox*>(u"cmwzsk1zhao"_s)->itemText(0), search);
    }
};

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
