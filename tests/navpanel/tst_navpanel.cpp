// The navigation panel driven as a user would, over real books; then the parts it is made of:
// the values its nodes keep and the menu "网址导航".
#include "books.h"
#include "navpanel/frmdaohang.h"
#include "navpanel/navmodels.h"
#include "navpanel/websitemenu.h"
#include "platform/scriptedplatform.h"
#include "store/sqlitestatement.h"
#include "tables.h"
#include "testfiles.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
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
// Every website item below a menu, in menu order, opening every sub-menu on the way; sub-menus
// in brackets.
QString allCaptions(QMenu* menu) {
    QStringList captions;
    for (QAction* item : shownItems(menu))
        captions << (item->menu() ? u'[' + allCaptions(item->menu()) + u']' : item->text());
    return captions.join(u',');
}
std::vector<WebsiteEntry> numberedSites(int count) {
    std::vector<WebsiteEntry> entries;
    for (int i = 1; i <= count; ++i)
        entries.push_back({u"%1"_s.arg(i), u"http://s%1.cn/"_s.arg(i)});
    return entries;
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
    int m_closed = 0;
    int m_mainShown = 0;

    BookDataset& contacts() { return m_store->book(BookId::Contacts); }
    BookDataset& websites() { return m_store->book(BookId::Websites); }

    // Three of each (姓名, 邮箱, QQ, 主页 of contacts), refreshed so that they stand in key order.
    void addSampleBooks() {
        test::addRecord(contacts(), {u"赵六"_s, QString(), QString(), u"www.zhao.cn"_s});
        test::addRecord(contacts(), {u"Bob   "_s, u"bob@b.cn"_s});
        test::addRecord(contacts(),
                        {u"Alice"_s, u" alice@a.cn\t"_s, QString(), u"http://alice.cn/"_s});
        test::addRecord(websites(), {u"新浪"_s, u"http://www.sina.com.cn/"_s});
        test::addRecord(websites(), {u"CSDN"_s, QString()});
        test::addRecord(websites(), {u"百度"_s, u"  http://www.baidu.com/  "_s});
        contacts().refresh();
        websites().refresh();
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
        m_closed = m_mainShown = 0;
    }
    void cleanup() {
        m_panel.reset();
        m_store.reset();
        m_dir.reset();
        m_platform.reset();
    }

    // Every showing puts the panel back in its place under its title. It stays on top and is
    // no transient of the main window, which window managers hide along with it.
    void windowOnEveryShow() {
        QPalette look = QApplication::palette(); // a theme that greys an inactive selection
        look.setColor(QPalette::Active, QPalette::Highlight, QColor(0x30, 0x50, 0xa0));
        look.setColor(QPalette::Inactive, QPalette::Highlight, Qt::gray);
        QApplication::setPalette(look);
        Tfrmdaohang& panel = openPanel();
        QVERIFY(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
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
        QCOMPARE(tree("tv1")->palette().color(QPalette::Inactive, QPalette::Highlight),
                 QColor(0x30, 0x50, 0xa0));
    }

    // Books in key order, values trimmed; the first node of each tree is selected and the popup
    // items act on it until another node is chosen. Another program's deletion since the refresh
    // leaves no empty node, its new record waits for the next refresh.
    void treesShowBooksInOrder() {
        addSampleBooks();
        test::addRecord(contacts(), {u"Carol"_s});
        execSql(m_store->connection().handle(), u"DELETE FROM wzsk1 WHERE 网址名称 = '新浪'"_s);
        execSql(m_store->connection().handle(), u"INSERT INTO lianxi1(姓名) VALUES ('Eve')"_s);
        openPanel();
        QTreeView* tv1 = tree("tv1");
        QTreeView* tv2 = tree("tv2");
        QCOMPARE(childTexts(tv1->model()).join(u','), u"Alice,Bob,赵六,Carol"_s);
        QCOMPARE(childTexts(tv2->model()).join(u','), u"Alice,Bob,赵六,Carol"_s);
        QCOMPARE(childTexts(tree("tv3")->model()).join(u','), u"CSDN,百度"_s);
        QCOMPARE(tv1->model()->rowCount(node(tv1, 0)), 0);
        // E-mail first, then home page; a contact with only a name still has both children.
        QCOMPARE(childTexts(tv2->model(), node(tv2, 0)).join(u','),
                 u"alice@a.cn,http://alice.cn/"_s);
        QCOMPARE(childTexts(tv2->model(), node(tv2, 3)), (QStringList{QString(), QString()}));
        for (QTreeView* t : {tv1, tv2, tree("tv3")}) {
            QVERIFY(!t->isExpanded(node(t, 0)));
            QVERIFY(!node(t, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
            QVERIFY(t->selectionModel()->isSelected(t->currentIndex()));
            QCOMPARE(t->currentIndex(), node(t, 0));
        }
        // A right click below the nodes keeps the selection.
        rightClick(tv1, QPoint(5, tv1->viewport()->height() - 2));
        control<QMenu>("PopupMenu1")->hide();
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
        control(qPrintable(itemName))->trigger();
        QCOMPARE(m_platform->launches, opened.isEmpty() ? QStringList() : QStringList{opened});
        QCOMPARE(messages(), opened.isEmpty() ? QStringList{kEmptyMessage} : QStringList());
    }

    // However the panel closes, the main window hears of it; 退出 also shows the main window.
    void closing_data() {
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("close box") << false;
        QTest::newRow("退出") << true;
    }
    void closing() {
        QFETCH(bool, byQuit);
        QPointer<Tfrmdaohang> panel = newPanel();
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->show();
        QCOMPARE(m_closed, 0);
        byQuit ? panel->findChild<QAction*>(u"N3"_s)->trigger() : void(panel->close());
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
        test::addRecord(websites(), {u"A&B 论坛"_s, u"https://ab.cn/"_s});
        test::addRecord(contacts(), {u"Dave"_s});
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
        QCOMPARE(allCaptions(control<QMenu>("N1")), u"CSDN,新浪,百度,A&&B 论坛"_s);
        const QList<QAction*> items = shownItems(control<QMenu>("N1"));
        QVERIFY(!items[0]->icon().isNull());
        items[2]->trigger();
        items[0]->trigger();
        QCOMPARE(m_platform->launches, QStringList{u"http://www.baidu.com/"_s});
        QCOMPARE(messages(), QStringList{kEmptyMessage});

        for (BookDataset* book : {&contacts(), &websites()})
            for (book->first(); book->recordCount() > 0; book->first())
                book->remove();
        control("N7")->trigger();
        for (const char* name : {"tv1", "tv2", "tv3"})
            QCOMPARE(tree(name)->model()->rowCount(), 0);
        QVERIFY(shownItems(control<QMenu>("N1")).isEmpty());
        for (const char* name : {"N4", "N5", "N8"}) {
            QVERIFY(!control(name)->isEnabled());
            control(name)->trigger();
        }
        QCOMPARE(m_platform->launches.size(), 1);
        QCOMPARE(m_platform->messages.size(), 1);
    }

    void closedBookIsReported() {
        addSampleBooks();
        m_store->closeBooks();
        QVERIFY(openPanel().isVisible());
        QCOMPARE(messages(), QStringList{u"ADOTable1: Cannot perform this operation on a closed "
                                         u"dataset.|Quillbox"_s});
        QCOMPARE(tree("tv1")->model()->rowCount(), 0);
        for (const char* name : {"N4", "N5", "N8"})
            QVERIFY(!control(name)->isEnabled()); // no node to act on
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
        QCOMPARE(details.contactAt(details.index(1, 0, details.index(0, 0))), &(*contacts)[0]);
        names.setContacts(std::make_shared<const std::vector<ContactNodeData>>());
        websites.setWebsites({});
    }

    void nodeValue_data() { test::addTableRows(u"navpanel/node-values.txt"_s, {"value", "kept"}); }
    void nodeValue() {
        QFETCH(QString, value);
        QFETCH(QString, kept);
        QCOMPARE(qb::nodeValue(value), kept);
    }

    // The menu "网址导航" splits a long book into balanced sub-menus, "first ~ last" each, made
    // only when shown; new entries replace all the old ones.
    void websiteMenu_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("maxItems");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("firstOfTwelve"); // the first sub-menu of a dozen entries
        QTest::newRow("empty book") << 0 << 5 << QString() << u"1 ~ 4"_s;
        QTest::newRow("exactly one menu full") << 5 << 5 << u"1,2,3,4,5"_s << u"1 ~ 4"_s;
        QTest::newRow("one more than a menu holds") << 6 << 5 << u"[1,2,3],[4,5,6]"_s << u"1 ~ 4"_s;
        QTest::newRow("two full levels") << 9 << 3 << u"[1,2,3],[4,5,6],[7,8,9]"_s << u"1 ~ 9"_s;
        QTest::newRow("three levels") << 5 << 2 << u"[[1,2],[3,4]],[5]"_s << u"1 ~ 8"_s;
    }
    void websiteMenu() {
        QFETCH(int, count);
        QFETCH(int, maxItems);
        QFETCH(QString, menu);
        QFETCH(QString, firstOfTwelve);
        QMenu bar;
        auto* websites = new WebsiteMenu(
            &bar, [](QAction*) {}, maxItems);
        websites->setEntries(numberedSites(12));
        QAction* group = shownItems(&bar).first();
        QCOMPARE(group->text(), firstOfTwelve);
        QVERIFY(group->menu()->isEmpty());
        QPointer<QMenu> old(group->menu());
        websites->setEntries(numberedSites(count));
        QVERIFY(old.isNull());
        QCOMPARE(allCaptions(&bar), menu);
    }
};

QTEST_MAIN(TestNavPanel)
#include "tst_navpanel.moc"
