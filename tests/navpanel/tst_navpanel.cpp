// The navigation panel driven as a user would, over real books; then the parts it is made of:
// the values its nodes keep and the menu "网址导航".
#include "books.h"
#include "navpanel/frmdaohang.h"
#include "navpanel/navmodels.h"
#include "navpanel/websitemenu.h"
#include "platform/scriptedplatform.h"
#include "store/sqlitestatement.h"
#include "testfiles.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWindow>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kEmptyMessage = u"是空的|^^"_s;

QStringList childTexts(const QAbstractItemModel* model, const QModelIndex& parent = {}) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(parent); ++row)
        texts << model->index(row, 0, parent).data().toString();
    return texts;
}

QModelIndex node(const QTreeView* tree, int row) {
    return tree->model()->index(row, 0);
}

// The items of a menu as the menu bar shows them.
QList<QAction*> shownItems(QMenu* menu) {
    menu->popup(QPoint(0, 0));
    const QList<QAction*> items = menu->actions();
    menu->hide();
    return items;
}

// Every website item below a menu, in menu order, opening every sub-menu on the way.
QStringList allCaptions(QMenu* menu) {
    QStringList captions;
    for (QAction* item : shownItems(menu))
        captions += item->menu() ? allCaptions(item->menu()) : QStringList{item->text()};
    return captions;
}

int depth(QMenu* menu) {
    const QList<QAction*> items = shownItems(menu);
    return items.isEmpty() || !items.first()->menu() ? 1 : 1 + depth(items.first()->menu());
}

std::vector<WebsiteEntry> numberedSites(int count) {
    std::vector<WebsiteEntry> entries;
    for (int i = 1; i <= count; ++i)
        entries.push_back({u"网站%1"_s.arg(i), u"http://s%1.cn/"_s.arg(i)});
    return entries;
}

QStringList captions(const QList<QAction*>& items) {
    QStringList texts;
    for (const QAction* item : items)
        texts << item->text();
    return texts;
}

void rightClick(QTreeView* tree, const QPoint& pos) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
    QCoreApplication::sendEvent(tree->viewport(), &event);
}

} // namespace

class TestNavPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<Tfrmdaohang> m_panel;
    std::unique_ptr<QMenu> m_menu;
    int m_closed = 0;
    int m_mainShown = 0;

    BookDataset& contacts() { return m_store->book(BookId::Contacts); }
    BookDataset& websites() { return m_store->book(BookId::Websites); }

    // 姓名, 邮箱, QQ, 主页: the contacts columns the panel reads.
    void addContact(const QString& name, const QString& email, const QString& homePage) {
        test::addRecord(contacts(), {name, email, QString(), homePage});
    }
    void addWebsite(const QString& name, const QString& address) {
        test::addRecord(websites(), {name, address});
    }
    // Three of each, refreshed so that the books stand in key order.
    void addSampleBooks() {
        addContact(u"赵六"_s, QString(), u"www.zhao.cn"_s);
        addContact(u"Bob   "_s, u"bob@b.cn"_s, QString());
        addContact(u"Alice"_s, u" alice@a.cn\t"_s, u"http://alice.cn/"_s);
        addWebsite(u"新浪"_s, u"http://www.sina.com.cn/"_s);
        addWebsite(u"CSDN"_s, QString());
        addWebsite(u"百度"_s, u"  http://www.baidu.com/  "_s);
        contacts().refresh();
        websites().refresh();
    }
    static void removeAll(BookDataset& book) {
        while (book.recordCount() > 0) {
            book.first();
            book.remove();
        }
    }

    // A "网址导航" menu of its own, at most maxItems entries to a menu.
    WebsiteMenu& websiteMenu(int maxItems) {
        m_menu = std::make_unique<QMenu>();
        return *new WebsiteMenu(
            m_menu.get(), [](QAction*) {}, maxItems);
    }

    Tfrmdaohang* newPanel() {
        return new Tfrmdaohang(
            contacts(), websites(), [this] { ++m_closed; }, [this] { ++m_mainShown; });
    }
    Tfrmdaohang& openPanel() {
        m_panel.reset(newPanel());
        m_panel->show();
        return *m_panel;
    }
    template <typename T = QAction> T* control(const char* name) const {
        T* found = m_panel->findChild<T*>(QString::fromUtf8(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QTreeView* tree(const char* name) const { return control<QTreeView>(name); }
    QStringList messages() const {
        QStringList texts;
        for (const ScriptedPlatform::Message& message : m_platform->messages)
            texts << message.text + u'|' + message.caption;
        return texts;
    }

private Q_SLOTS:
    void init() {
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(test::createBookFile(m_dir->path()));
        m_closed = 0;
        m_mainShown = 0;
    }
    void cleanup() {
        m_panel.reset();
        m_menu.reset();
        m_store.reset();
        m_dir.reset();
        m_platform.reset();
    }

    // Every showing puts the panel back in its place under its title.
    void windowOnEveryShow() {
        Tfrmdaohang& panel = openPanel();
        QVERIFY(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        // Not a transient of the main window, which window managers hide along with it.
        QCOMPARE(panel.windowType(), Qt::Window);
        QCOMPARE(panel.windowHandle()->transientParent(), nullptr);
        QVERIFY(!panel.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QCOMPARE(panel.centralWidget()->size(), QSize(178, 259));
        QCOMPARE(panel.minimumSize(), panel.maximumSize());

        for (int showing = 0; showing < 2; ++showing) {
            QCOMPARE(panel.windowTitle(), u"Quillbox--导航面板"_s);
            QCOMPARE(panel.pos(), QPoint(612, 25));
            panel.move(300, 400);
            panel.setWindowTitle(u"别的"_s);
            panel.hide();
            panel.show();
        }
    }

    // Books in key order, values trimmed; the first node of each tree is selected and the popup
    // items act on it until another node is chosen.
    void treesShowBooksInOrder() {
        addSampleBooks();
        addContact(u"Carol"_s, QString(), QString());
        // Another program's changes since the refresh: its deletion leaves no empty node, its
        // new record waits for the next refresh.
        execSql(m_store->connection().handle(), u"DELETE FROM wzsk1 WHERE 网址名称 = '新浪'"_s);
        execSql(m_store->connection().handle(), u"INSERT INTO lianxi1(姓名) VALUES ('Eve')"_s);
        openPanel();
        // The last contact was added after the refresh and stays last.
        const QStringList names{u"Alice"_s, u"Bob"_s, u"赵六"_s, u"Carol"_s};
        QTreeView* tv1 = tree("tv1");
        QTreeView* tv2 = tree("tv2");
        QCOMPARE(childTexts(tv1->model()), names);
        QCOMPARE(childTexts(tv2->model()), names);
        QCOMPARE(childTexts(tree("tv3")->model()), (QStringList{u"CSDN"_s, u"百度"_s}));
        QCOMPARE(tv1->model()->rowCount(node(tv1, 0)), 0);
        // E-mail first, then home page; a contact with only a name still has both children.
        QCOMPARE(childTexts(tv2->model(), node(tv2, 0)),
                 (QStringList{u"alice@a.cn"_s, u"http://alice.cn/"_s}));
        QCOMPARE(childTexts(tv2->model(), node(tv2, 3)), (QStringList{QString(), QString()}));
        for (QTreeView* t : {tv1, tv2, tree("tv3")}) {
            QVERIFY(!t->isExpanded(node(t, 0)));
            QVERIFY(!node(t, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
            QCOMPARE(t->currentIndex(), node(t, 0));
            QVERIFY(t->selectionModel()->isSelected(node(t, 0)));
        }
        // A right click below the nodes keeps the selection.
        rightClick(tv1, QPoint(5, tv1->viewport()->height() - 2));
        control<QMenu>("PopupMenu1")->hide();
        QCOMPARE(tv1->currentIndex(), node(tv1, 0));
        for (const char* name : {"N4", "N5", "N8"})
            control(name)->trigger();
        QCOMPARE(m_platform->launches,
                 (QStringList{u"http://alice.cn/"_s, u"mailto:alice@a.cn"_s}));
        QCOMPARE(messages(), QStringList{kEmptyMessage}); // CSDN has no address
    }

    // N4 and N5 act on the node chosen in 简单联系, N8 on the one in 网址避长; an empty value
    // gets a message instead.
    void popupItemsActOnChosenNode_data() {
        QTest::addColumn<QString>("itemName");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("byRightClick");
        QTest::addColumn<QString>("opened");
        QTest::newRow("left click, 访问主页") << "N4" << 2 << false << "www.zhao.cn";
        QTest::newRow("left click, 给他写信") << "N5" << 1 << false << "mailto:bob@b.cn";
        QTest::newRow("right click, empty e-mail") << "N5" << 2 << true << "";
        QTest::newRow("left click, 访问 a website")
            << "N8" << 2 << false << "http://www.baidu.com/";
        QTest::newRow("right click, 访问 a website")
            << "N8" << 1 << true << "http://www.sina.com.cn/";
    }
    void popupItemsActOnChosenNode() {
        QFETCH(QString, itemName);
        QFETCH(int, row);
        QFETCH(bool, byRightClick);
        QFETCH(QString, opened);
        addSampleBooks();
        openPanel();
        const bool website = itemName == u"N8";
        control<QTabWidget>("PageControl1")->setCurrentIndex(website ? 2 : 0);
        QTreeView* t = tree(website ? "tv3" : "tv1");
        const QPoint pos = t->visualRect(node(t, row)).center();
        if (byRightClick) {
            rightClick(t, pos);
            QMenu* popup = control<QMenu>(website ? "PopupMenu2" : "PopupMenu1");
            QVERIFY(popup->isVisible());
            popup->hide();
        } else {
            QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, pos);
        }
        QCOMPARE(t->currentIndex(), node(t, row));
        control(qPrintable(itemName))->trigger();
        QCOMPARE(m_platform->launches, opened.isEmpty() ? QStringList() : QStringList{opened});
        QCOMPARE(messages(), opened.isEmpty() ? QStringList{kEmptyMessage} : QStringList());
    }

    // Nodes keep 255 bytes of a value, cut between characters; the menu opens the whole address.
    void longValuesAreCutWithoutSplitting() {
        // 16 bytes in GB18030, then two-byte characters: 255 bytes end inside the 120th one.
        const QString start = u"http://例子.cn/a"_s;
        const QString homePage = start + u"汉"_s.repeated(230);
        addContact(u"甲"_s, QString(), homePage);
        addWebsite(u"长网址"_s, homePage);
        openPanel();
        const QString cut = start + u"汉"_s.repeated(119);
        QTreeView* tv2 = tree("tv2");
        QCOMPARE(tv2->model()->index(1, 0, node(tv2, 0)).data().toString(), cut);
        control("N4")->trigger();
        control("N8")->trigger();
        QCOMPARE(m_platform->launches, (QStringList{cut, cut}));
        const QList<QAction*> menuItems = shownItems(control<QMenu>("N1"));
        QCOMPARE(menuItems[0]->text(), u"长网址"_s);
        QCOMPARE(menuItems[0]->statusTip(), homePage);
    }

    void closing_data() {
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("close box") << false;
        QTest::newRow("退出") << true;
    }
    // However the panel closes, the main window hears of it; 退出 also shows the main window.
    void closing() {
        QFETCH(bool, byQuit);
        QPointer<Tfrmdaohang> panel = newPanel();
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->show();
        QCOMPARE(m_closed, 0);
        if (byQuit)
            panel->findChild<QAction*>(u"N3"_s)->trigger();
        else
            panel->close();
        QCOMPARE(m_closed, 1);
        QCOMPARE(m_mainShown, byQuit ? 1 : 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(panel.isNull());
    }

    // 刷新 reads the books again and selects the first nodes anew; each fill leaves the books it
    // walked on their last record. A menu item opens its website's address and shows "&" as
    // itself. Emptied books leave the popup items without a target: they do nothing.
    void refresh() {
        addSampleBooks();
        contacts().first();
        websites().first();
        openPanel();
        QCOMPARE(contacts().currentRow(), contacts().rowCount() - 1);
        QCOMPARE(websites().currentRow(), websites().rowCount() - 1);
        addWebsite(u"A&B 论坛"_s, u"https://ab.cn/"_s);
        addContact(u"Dave"_s, QString(), QString());
        contacts().first();
        websites().first();
        tree("tv1")->setCurrentIndex(node(tree("tv1"), 2));
        control("N7")->trigger();
        QCOMPARE(contacts().currentRow(), contacts().rowCount() - 1);
        QCOMPARE(websites().currentRow(), websites().rowCount() - 1);
        QCOMPARE(tree("tv1")->currentIndex(), node(tree("tv1"), 0));
        QCOMPARE(childTexts(tree("tv1")->model()).last(), u"Dave"_s);
        QCOMPARE(childTexts(tree("tv2")->model()).last(), u"Dave"_s);
        QCOMPARE(childTexts(tree("tv3")->model()).last(), u"A&B 论坛"_s);
        const QList<QAction*> items = shownItems(control<QMenu>("N1"));
        QCOMPARE(captions(items), (QStringList{u"CSDN"_s, u"新浪"_s, u"百度"_s, u"A&&B 论坛"_s}));
        QVERIFY(!items[0]->icon().isNull());
        items[2]->trigger();
        items[0]->trigger();
        QCOMPARE(m_platform->launches, QStringList{u"http://www.baidu.com/"_s});
        QCOMPARE(messages(), QStringList{kEmptyMessage});

        removeAll(contacts());
        removeAll(websites());
        control("N7")->trigger();
        for (const char* name : {"tv1", "tv2", "tv3"}) {
            QCOMPARE(tree(name)->model()->rowCount(), 0);
            QVERIFY(!tree(name)->currentIndex().isValid());
        }
        QVERIFY(shownItems(control<QMenu>("N1")).isEmpty());
        for (const char* name : {"N4", "N5", "N8"}) {
            QVERIFY(!control(name)->isEnabled());
            control(name)->trigger();
        }
        QCOMPARE(m_platform->launches.size(), 1);
        QCOMPARE(m_platform->messages.size(), 1);
    }

    void modelsPassTheModelTester() {
        ContactTreeModel names(ContactTreeModel::Shape::NamesOnly);
        ContactTreeModel details(ContactTreeModel::Shape::WithDetails);
        WebsiteTreeModel websites;
        const auto mode = QAbstractItemModelTester::FailureReportingMode::QtTest;
        QAbstractItemModelTester namesTester(&names, mode);
        QAbstractItemModelTester detailsTester(&details, mode);
        QAbstractItemModelTester websitesTester(&websites, mode);
        const auto contacts =
            std::make_shared<const std::vector<ContactNodeData>>(std::vector<ContactNodeData>{
                {u"甲"_s, u"http://a.cn/"_s, u"a@a.cn"_s}, {u"乙"_s, {}, {}}});
        names.setContacts(contacts);
        details.setContacts(contacts);
        websites.setWebsites({{u"百度"_s, u"http://www.baidu.com/"_s}});
        // A child node carries its contact's record.
        const QModelIndex homePage = details.index(1, 0, details.index(0, 0));
        QCOMPARE(homePage.data().toString(), u"http://a.cn/"_s);
        QCOMPARE(details.contactAt(homePage), &(*contacts)[0]);
        names.setContacts(std::make_shared<const std::vector<ContactNodeData>>());
        websites.setWebsites({});
    }

    void closedBookIsReported() {
        addSampleBooks();
        m_store->closeBooks();
        QVERIFY(openPanel().isVisible());
        QCOMPARE(messages(),
                 QStringList{u"ADOTable1: Cannot perform this operation on a closed dataset.|"
                             u"Quillbox"_s});
        QCOMPARE(tree("tv1")->model()->rowCount(), 0);
        for (const char* name : {"N4", "N5", "N8"})
            QVERIFY(!control(name)->isEnabled()); // no node to act on
    }

    // A node keeps the value without blanks and control characters at its ends, cut to 255
    // bytes of GB18030 between characters.
    void nodeValue_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("kept");
        const QString han = u"汉"_s;
        const QString ascii255 = QString(255, u'a');
        const QString smile = u"\U0001F600"_s;
        QTest::newRow("padding of a fixed-width column") << u"王伟      "_s << u"王伟"_s;
        QTest::newRow("tabs and line breaks at both ends")
            << u"\t\r\nhttp://a.cn/ \r\n"_s << u"http://a.cn/"_s;
        QTest::newRow("control characters count as blanks") << u"\x01x\x1f"_s << u"x"_s;
        QTest::newRow("inner blanks stay") << u" a b "_s << u"a b"_s;
        QTest::newRow("ideographic space is no blank")
            << u"\u3000名\u3000"_s << u"\u3000名\u3000"_s;
        QTest::newRow("only blanks") << u"  \t "_s << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("255 ASCII bytes stay") << ascii255 << ascii255;
        QTest::newRow("256 ASCII bytes lose one") << ascii255 + u'b' << ascii255;
        QTest::newRow("blanks at the ends use up no bytes")
            << QString(20, u' ') + ascii255 + u"   "_s << ascii255;
        QTest::newRow("a two-byte character across the limit goes whole")
            << han.repeated(200) << han.repeated(127);
        QTest::newRow("two-byte characters ending on the limit")
            << u'a' + han.repeated(200) << u'a' + han.repeated(127);
        // U+0100 is no GBK character: GB18030 gives it four bytes.
        QTest::newRow("a four-byte character across the limit goes whole")
            << u"ab"_s + QString(70, QChar(0x100)) << u"ab"_s + QString(63, QChar(0x100));
        // Outside the BMP: a surrogate pair, four bytes, never split in two.
        QTest::newRow("a surrogate pair across the limit goes whole")
            << u"abc"_s + smile.repeated(70) << u"abc"_s + smile.repeated(63);
        QTest::newRow("short Chinese text stays") << han.repeated(127) << han.repeated(127);
    }
    void nodeValue() {
        QFETCH(QString, value);
        QFETCH(QString, kept);
        QCOMPARE(qb::nodeValue(value), kept);
        QVERIFY(qb::test::gb18030(kept).size() <= 255);
    }

    // The menu "网址导航" splits a long book into balanced sub-menus.
    void websiteMenuItemsInBookOrder_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("maxItems");
        QTest::addColumn<int>("topEntries");
        QTest::addColumn<int>("levels");
        QTest::newRow("empty book") << 0 << 5 << 0 << 1;
        QTest::newRow("one website") << 1 << 5 << 1 << 1;
        QTest::newRow("exactly one menu full") << 5 << 5 << 5 << 1;
        QTest::newRow("one more than a menu holds") << 6 << 5 << 2 << 2;
        QTest::newRow("two full levels") << 25 << 5 << 5 << 2;
        QTest::newRow("three levels") << 26 << 5 << 3 << 3;
        QTest::newRow("the panel's limit at a thousand") << 1000 << 50 << 32 << 2;
    }
    void websiteMenuItemsInBookOrder() {
        QFETCH(int, count);
        QFETCH(int, maxItems);
        QFETCH(int, topEntries);
        QFETCH(int, levels);
        websiteMenu(maxItems).setEntries(numberedSites(count));
        QCOMPARE(shownItems(m_menu.get()).size(), topEntries);
        QCOMPARE(depth(m_menu.get()), levels);
        QStringList expected;
        for (const WebsiteEntry& entry : numberedSites(count))
            expected << entry.name;
        QCOMPARE(allCaptions(m_menu.get()), expected);
    }

    void websiteMenuItemsAreMadeOnlyWhenShown() {
        websiteMenu(5).setEntries(numberedSites(20));
        QVERIFY(m_menu->isEmpty());
        const QList<QAction*> groups = shownItems(m_menu.get());
        QCOMPARE(groups.size(), 4);
        QCOMPARE(groups[0]->text(), u"网站1 ~ 网站5"_s);
        QCOMPARE(groups[3]->text(), u"网站16 ~ 网站20"_s);
        for (QAction* group : groups)
            QVERIFY(group->menu()->isEmpty());
        QCOMPARE(shownItems(groups[1]->menu()).size(), 5);
        QVERIFY(groups[2]->menu()->isEmpty());
    }

    void newWebsiteMenuEntriesReplaceEverything() {
        WebsiteMenu& websites = websiteMenu(3);
        websites.setEntries(numberedSites(10));
        QMenu* firstGroup = shownItems(m_menu.get()).first()->menu();
        shownItems(firstGroup);
        QPointer<QMenu> oldGroup(firstGroup);
        websites.setEntries(numberedSites(2));
        QVERIFY(oldGroup.isNull());
        QCOMPARE(allCaptions(m_menu.get()), (QStringList{u"网站1"_s, u"网站2"_s}));
        websites.setEntries({});
        QVERIFY(shownItems(m_menu.get()).isEmpty());
    }
};

QTEST_MAIN(TestNavPanel)
#include "tst_navpanel.moc"
