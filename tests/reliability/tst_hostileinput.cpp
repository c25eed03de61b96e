// Input that tries to escape or to overwhelm. Website names and addresses: shortcut files
// stay inside their folder, addresses are written and handed to the desktop exactly as typed,
// never through a shell. Large input: a note of 10 MB, a search history of 100,000 entries.
#include "books.h"
#include "export/favorites.h"
#include "places.h"
#include "platform/desktopplatform.h"
#include "store/preferences.h"
#include "support/windowdriver.h"
#include "tables.h"
#include "testfiles.h"

#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

#include <optional>

using namespace qb;
using namespace Qt::StringLiterals;
using test::cell;

namespace {

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

    QString inSubFolder(const QString& name) const {
        return m_box->path(u"Favorites/Inkwren网址收集/"_s + name);
    }
    std::unique_ptr<TSDIAppForm> startWith(const QStringList& history = {}) {
        test::rememberDatabase(m_box->ini(), m_book, history);
        return test::showMainWindow(m_box->ini());
    }

private Q_SLOTS:
    void init() {
        m_box.emplace();
        m_box->platform.favorites = m_box->path(u"Favorites"_s);
        QVERIFY(QDir().mkpath(inSubFolder({})));
        m_book = test::createBookFile(m_box->dir.path());
    }
    void cleanup() { m_box.reset(); }

    // Names the favorites' own tests do not try and addresses a shell would run.
    void shortcutNamesAndAddresses_data() {
        test::addTableRows(u"reliability/shortcuts.txt"_s, {"name", "file", "address"});
    }
    // A link of the shortcut's name pointing out of the folder is replaced, never written
    // through; the address reaches the desktop as typed and no shell ever sees it.
    void shortcutNamesAndAddresses() {
        const QString file = cell("file"), address = cell("address");
        test::writeBytes(m_box->path(u"outside"_s), "mine");
        QVERIFY(QFile::link(m_box->path(u"outside"_s), inSubFolder(file)));
        {
            RecordStore store;
            store.openDatabase(m_book);
            test::addRecord(store.book(BookId::Websites), {cell("name"), address});
            QCOMPARE(test::storeErrorOf([&] { importWebsitesToFavorites(store); }), QString());
        }
        QCOMPARE(test::folderEntries(inSubFolder({})), QStringList{file});
        QVERIFY(!QFileInfo(inSubFolder(file)).isSymLink());
        QCOMPARE(test::readBytes(inSubFolder(file)) + test::readBytes(m_box->path(u"outside"_s)),
                 shortcut(address) + "mine");
        QCOMPARE(m_box->platform.launches.size(), 1);

        UrlCatcher catcher;
        const QStringList schemes = {u"http"_s, u"file"_s, u"javascript"_s};
        for (const QString& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, &catcher, "open");
        QDir::setCurrent(m_box->dir.path());
        DesktopPlatform().shellOpen(address);
        for (const QString& scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(desktopUrlFor(address), QUrl::TolerantMode)});
        QCOMPARE(test::folderEntries(m_box->dir.path()),
                 (QStringList{u"Favorites"_s, u"book.mdb"_s, u"outside"_s}));
    }

    // 备注 holds 255 characters, not bytes or UTF-16 units. Pasted into the note field, a
    // longer note is refused at once and the field keeps what it had.
    void notePastedAtAndOverItsWidth_data() {
        test::addTableRows(u"reliability/notes.txt"_s, {"note"});
    }
    void notePastedAtAndOverItsWidth() {
        const QString note = cell("note");
        const bool fits = note.toUcs4().size() <= 255;
        auto form = startWith();
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", u"甲"_s);
        form->findChild<QTabWidget*>(u"PageControl3"_s)->setCurrentIndex(2);
        test::type(*form, "DBLianxiMemo", u"开头"_s);
        auto* memo = form->findChild<QPlainTextEdit*>(u"DBLianxiMemo"_s);
        memo->selectAll();
        QGuiApplication::clipboard()->setText(note);
        QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
        if (!fits)
            m_box->verifyOneError(u"ADOTable1: 备注最多只能有 255 个字符."_s);
        test::click(*form, "LbButton28"); // 提交
        QCOMPARE(m_box->platform.messages.size(), fits ? 0 : 1);
        form.reset();
        form = startWith();
        QCOMPARE(test::fieldText(*form, "DBLianxiMemo"), fits ? note : u"开头"_s);
    }

    // A search history of 100,000 entries is loaded at the start, grown by 定位, saved at the
    // end and loaded by the next start.
    void longSearchHistory() {
        QStringList history;
        for (int i = 0; i < 100000; ++i)
            history << u"搜索%1"_s.arg(i);
        auto form = startWith(history);
        test::type(*form, "cmlianxi1zhao", u"新的"_s);
        test::click(*form, "LbButton5"); // 定位: 找不到
        form.reset();
        QCOMPARE(m_box->platform.messages.size(), 1);
        QCOMPARE(LoadPreferences(m_box->ini()).histories[0], history << u"新的"_s);
        form = test::showMainWindow(m_box->ini());
        const auto* box = form->findChild<QComboBox*>(u"cmlianxi1zhao"_s);
        QCOMPARE(box->itemText(box->count() - 1) + QString::number(box->count()), u"新的100001"_s);
    }
};

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
