#include "navpanel/frmdaohang.h"
#include "navpanel/navmodels.h"
#include "platform/scriptedplatform.h"
#include "store/testbooks.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace qb;

namespace {

const QString kEmptyMessage = QStringLiteral("是空的|^^");

QStringList childTexts(const QAbstractItemModel* model, const QModelIndex& parent = {}) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(parent); ++row)
        texts << model->index(row, 0, parent).data().toString();
    return texts;
}

QStringList topTexts(const QTreeView* tree) {
    return childTexts(tree->model());
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
    int m_closed = 0;
    int m_mainShown = 0;

    BookDataset& contacts() { return m_store->book(BookId::Contacts); }
    BookDataset& websites() { return m_store->book(BookId::Websites); }
    BookDataset& serials() { return m_store->book(BookId::Serials); }

    // 姓名, 邮箱, QQ, 主页: the contacts columns the panel reads.
    void addContact(const QString& name, const QString& email, const QString& homePage) {
        test::addRecord(contacts(), {name, email, QString(), homePage});
    }
    void addWebsite(const QString& name, const QString& address) {
        test::addRecord(websites(), {name, address});
    }
    // Three of each, refreshed so that the books stand in key order.
    void addSampleBooks() {
        addContact(QStringLiteral("赵六"), QString(), QStringLiteral("www.zhao.cn"));
        addContact(QStringLiteral("Bob   "), QStringLiteral("bob@b.cn"), QString());
        addContact(QStringLiteral("Alice"), QStringLiteral(" alice@a.cn\t"),
                   QStringLiteral("http://alice.cn/"));
        addWebsite(QStringLiteral("新浪"), QStringLiteral("http://www.sina.com.cn/"));
        addWebsite(QStringLiteral("CSDN"), QString());
        addWebsite(QStringLiteral("百度"), QStringLiteral("  http://www.baidu.com/  "));
        contacts().refresh();
        websites().refresh();
    }

    Tfrmdaohang& openPanel() {
        m_panel = std::make_unique<Tfrmdaohang>(
            contacts(), websites(), [this] { ++m_closed; }, [this] { ++m_mainShown; });
        m_panel->show();
        return *m_panel;
    }
    template <typename T> T* control(const char* name) const {
        T* found = m_panel->findChild<T*>(QString::fromUtf8(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QTreeView* tree(const char* name) const { return control<QTreeView>(name); }
    QAction* item(const char* name) const { return control<QAction>(name); }
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
        m_store.reset();
        m_dir.reset();
        m_platform.reset();
    }

    void windowOnEveryShow() {
        Tfrmdaohang& panel = openPanel();
        const auto checkPlace = [&] {
            QCOMPARE(panel.windowTitle(), QStringLiteral("Quillbox--导航面板"));
            QCOMPARE(panel.pos(), QPoint(612, 25));
        };
        checkPlace();
        QVERIFY(panel.windowFlags().testFlag(Qt::Tool));
        QVERIFY(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!panel.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!panel.parentWidget());
        QCOMPARE(panel.centralWidget()->size(), QSize(178, 259));
        QCOMPARE(panel.minimumSize(), panel.maximumSize());
        QCOMPARE(panel.font().pixelSize(), 12);
        QCOMPARE(tree("tv1")->font().pixelSize(), 14);
        QVERIFY(tree("tv1")->font().bold());
        QCOMPARE(tree("tv3")->font().pixelSize(), 12);
        QCOMPARE(tree("tv1")->indentation(), 19);

        auto* pages = control<QTabWidget>("PageControl1");
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE((QStringList{pages->tabText(0), pages->tabText(1), pages->tabText(2)}),
                 (QStringList{QStringLiteral("简单联系"), QStringLiteral("详细查看"),
                              QStringLiteral("网址避长")}));
        QCOMPARE(captions(panel.menuBar()->actions()),
                 (QStringList{QStringLiteral("文件"), QStringLiteral("网址导航")}));
        QCOMPARE(captions(control<QMenu>("N2")->actions()),
                 (QStringList{QStringLiteral("刷新"), QString(), QStringLiteral("退出")}));

        panel.move(300, 400);
        panel.setWindowTitle(QStringLiteral("别的"));
        panel.hide();
        panel.show();
        checkPlace();
    }

    void treesShowBooksInOrder() {
        addSampleBooks();
        addContact(QStringLiteral("Carol"), QString(), QString());
        openPanel();
        // Key order after the refresh; the last contact was added after it and stays last.
        const QStringList names{QStringLiteral("Alice"), QStringLiteral("Bob"),
                                QStringLiteral("赵六"), QStringLiteral("Carol")};
        QCOMPARE(topTexts(tree("tv1")), names);
        QCOMPARE(topTexts(tree("tv2")), names);
        QCOMPARE(topTexts(tree("tv3")), (QStringList{QStringLiteral("CSDN"), QStringLiteral("新浪"),
                                                     QStringLiteral("百度")}));

        QTreeView* tv1 = tree("tv1");
        QTreeView* tv2 = tree("tv2");
        QCOMPARE(tv1->model()->rowCount(node(tv1, 0)), 0);
        // E-mail first, then home page; values trimmed; a contact with only a name still has
        // both children, without text.
        QCOMPARE(childTexts(tv2->model(), node(tv2, 0)),
                 (QStringList{QStringLiteral("alice@a.cn"), QStringLiteral("http://alice.cn/")}));
        QCOMPARE(childTexts(tv2->model(), node(tv2, 1)),
                 (QStringList{QStringLiteral("bob@b.cn"), QString()}));
        QCOMPARE(childTexts(tv2->model(), node(tv2, 3)), (QStringList{QString(), QString()}));
        for (QTreeView* t : {tv1, tv2, tree("tv3")}) {
            QVERIFY(!t->isExpanded(node(t, 0)));
            QVERIFY(!node(t, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        }
    }

    void firstNodeSelectedAfterFill_data() {
        QTest::addColumn<int>("records");
        QTest::newRow("one record") << 1;
        QTest::newRow("three records") << 3;
    }
    void firstNodeSelectedAfterFill() {
        QFETCH(int, records);
        for (int i = 1; i <= records; ++i) {
            addContact(QStringLiteral("联系人%1").arg(i), QStringLiteral("p%1@a.cn").arg(i),
                       QStringLiteral("http://p%1.cn/").arg(i));
            addWebsite(QStringLiteral("网站%1").arg(i), QStringLiteral("http://s%1.cn/").arg(i));
        }
        openPanel();
        for (const char* name : {"tv1", "tv2", "tv3"}) {
            QCOMPARE(tree(name)->currentIndex(), node(tree(name), 0));
            QVERIFY(tree(name)->selectionModel()->isSelected(node(tree(name), 0)));
        }
        // The change handlers ran: the popup items act on the first contact and website.
        QVERIFY(item("N4")->isEnabled());
        item("N4")->trigger();
        item("N5")->trigger();
        item("N8")->trigger();
        QCOMPARE(m_platform->launches,
                 (QStringList{QStringLiteral("http://p1.cn/"), QStringLiteral("mailto:p1@a.cn"),
                              QStringLiteral("http://s1.cn/")}));
    }

    void emptyBooksGiveEmptyTrees() {
        openPanel();
        for (const char* name : {"tv1", "tv2", "tv3"}) {
            QCOMPARE(tree(name)->model()->rowCount(), 0);
            QVERIFY(!tree(name)->currentIndex().isValid());
        }
        QVERIFY(shownItems(control<QMenu>("N1")).isEmpty());
        // Popup items that no node has set up do nothing.
        for (const char* name : {"N4", "N5", "N8"}) {
            QVERIFY(!item(name)->isEnabled());
            item(name)->trigger();
        }
        QVERIFY(m_platform->launches.isEmpty());
        QVERIFY(m_platform->messages.isEmpty());
    }

    void refreshToEmptyBookClearsPopupTargets() {
        addSampleBooks();
        openPanel();
        QVERIFY(item("N4")->isEnabled());
        while (contacts().recordCount() > 0) {
            contacts().first();
            contacts().remove();
        }
        item("N7")->trigger();
        QVERIFY(!item("N4")->isEnabled());
        item("N4")->trigger();
        QVERIFY(m_platform->launches.isEmpty());
    }

    void popupItemsActOnChosenNode_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("treeName");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("byRightClick");
        QTest::addColumn<QString>("itemName");
        QTest::addColumn<QStringList>("launches");
        QTest::addColumn<QStringList>("messages");
        const auto tv1 = QStringLiteral("tv1");
        const auto tv3 = QStringLiteral("tv3");
        QTest::newRow("left click, 访问主页")
            << 0 << tv1 << 2 << false << QStringLiteral("N4")
            << QStringList{QStringLiteral("www.zhao.cn")} << QStringList();
        QTest::newRow("left click, 给他写信")
            << 0 << tv1 << 1 << false << QStringLiteral("N5")
            << QStringList{QStringLiteral("mailto:bob@b.cn")} << QStringList();
        QTest::newRow("left click, empty home page")
            << 0 << tv1 << 1 << false << QStringLiteral("N4") << QStringList()
            << QStringList{kEmptyMessage};
        QTest::newRow("right click, 访问主页")
            << 0 << tv1 << 2 << true << QStringLiteral("N4")
            << QStringList{QStringLiteral("www.zhao.cn")} << QStringList();
        QTest::newRow("right click, empty e-mail") << 0 << tv1 << 2 << true << QStringLiteral("N5")
                                                   << QStringList() << QStringList{kEmptyMessage};
        QTest::newRow("left click, 访问 a website")
            << 2 << tv3 << 2 << false << QStringLiteral("N8")
            << QStringList{QStringLiteral("http://www.baidu.com/")} << QStringList();
        QTest::newRow("right click, 访问 a website")
            << 2 << tv3 << 1 << true << QStringLiteral("N8")
            << QStringList{QStringLiteral("http://www.sina.com.cn/")} << QStringList();
        QTest::newRow("right click, empty address") << 2 << tv3 << 0 << true << QStringLiteral("N8")
                                                    << QStringList() << QStringList{kEmptyMessage};
    }
    void popupItemsActOnChosenNode() {
        QFETCH(int, page);
        QFETCH(QString, treeName);
        QFETCH(int, row);
        QFETCH(bool, byRightClick);
        QFETCH(QString, itemName);
        QFETCH(QStringList, launches);
        QFETCH(QStringList, messages);
        addSampleBooks();
        openPanel();
        control<QTabWidget>("PageControl1")->setCurrentIndex(page);
        QTreeView* t = tree(treeName.toUtf8().constData());
        const QModelIndex target = ::node(t, row);
        const QPoint pos = t->visualRect(target).center();
        if (byRightClick) {
            rightClick(t, pos);
            QMenu* popup = control<QMenu>(page == 0 ? "PopupMenu1" : "PopupMenu2");
            QVERIFY(popup->isVisible());
            popup->hide();
        } else {
            QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, pos);
        }
        QCOMPARE(t->currentIndex(), target);
        item(itemName.toUtf8().constData())->trigger();
        QCOMPARE(m_platform->launches, launches);
        QCOMPARE(this->messages(), messages);
    }

    void rightClickBelowNodesKeepsSelection() {
        addSampleBooks();
        openPanel();
        QTreeView* tv1 = tree("tv1");
        tv1->setCurrentIndex(node(tv1, 2));
        rightClick(tv1, QPoint(5, tv1->viewport()->height() - 2));
        control<QMenu>("PopupMenu1")->hide();
        QCOMPARE(tv1->currentIndex(), node(tv1, 2));
        item("N4")->trigger();
        QCOMPARE(m_platform->launches, QStringList{QStringLiteral("www.zhao.cn")});
    }

    void longValuesAreCutWithoutSplitting() {
        // 16 bytes in GB18030, then two-byte characters: 255 bytes end inside the 120th one.
        const QString start = QStringLiteral("http://例子.cn/a");
        const QString homePage = start + QStringLiteral("汉").repeated(230);
        addContact(QStringLiteral("甲"), QString(), homePage);
        addWebsite(QStringLiteral("长网址"), homePage);
        addWebsite(QStringLiteral("短网址"), QStringLiteral("http://a.cn/"));
        openPanel();
        const QString cut = start + QStringLiteral("汉").repeated(119);
        QStringEncoder encoder("GB18030");
        QCOMPARE(QByteArray(encoder.encode(cut)).size(), 254);
        QTreeView* tv2 = tree("tv2");
        QCOMPARE(tv2->model()->index(1, 0, node(tv2, 0)).data().toString(), cut);
        item("N4")->trigger();
        item("N8")->trigger();
        QCOMPARE(m_platform->launches, (QStringList{cut, cut}));
        // The menu's hint is only trimmed: it opens the whole address.
        const QList<QAction*> menuItems = shownItems(control<QMenu>("N1"));
        QCOMPARE(menuItems[0]->text(), QStringLiteral("长网址"));
        QCOMPARE(menuItems[0]->statusTip(), homePage);
    }

    void closingReenablesOpeners_data() {
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("close box") << false;
        QTest::newRow("退出") << true;
    }
    void closingReenablesOpeners() {
        QFETCH(bool, byQuit);
        // The main window's "导航" and "显示导航面板", as its N8Click handles them.
        QAction navigate(QStringLiteral("导航"));
        QAction trayNavigate(QStringLiteral("显示导航面板"));
        navigate.setEnabled(false);
        trayNavigate.setEnabled(false);
        QPointer<Tfrmdaohang> panel = new Tfrmdaohang(
            contacts(), websites(),
            [&] {
                ++m_closed;
                navigate.setEnabled(true);
                trayNavigate.setEnabled(true);
            },
            [this] { ++m_mainShown; });
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->show();
        QVERIFY(!navigate.isEnabled());
        if (byQuit)
            panel->findChild<QAction*>(QStringLiteral("N3"))->trigger();
        else
            panel->close();
        QVERIFY(navigate.isEnabled());
        QVERIFY(trayNavigate.isEnabled());
        QCOMPARE(m_closed, 1);
        QCOMPARE(m_mainShown, byQuit ? 1 : 0);
        QVERIFY(panel.isNull() || !panel->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(panel.isNull());
    }

    void refreshPicksUpChanges() {
        addSampleBooks();
        openPanel();
        addWebsite(QStringLiteral("知乎"), QStringLiteral("https://www.zhihu.com/"));
        addContact(QStringLiteral("Dave"), QString(), QString());
        QMenu* websiteMenu = control<QMenu>("N1");
        QVERIFY(!captions(shownItems(websiteMenu)).contains(QStringLiteral("知乎")));
        QVERIFY(!topTexts(tree("tv3")).contains(QStringLiteral("知乎")));
        item("N7")->trigger();
        QCOMPARE(captions(shownItems(websiteMenu)).last(), QStringLiteral("知乎"));
        QCOMPARE(topTexts(tree("tv3")).last(), QStringLiteral("知乎"));
        QCOMPARE(topTexts(tree("tv1")).last(), QStringLiteral("Dave"));
        QCOMPARE(topTexts(tree("tv2")).last(), QStringLiteral("Dave"));
        QCOMPARE(tree("tv1")->currentIndex(), node(tree("tv1"), 0));
    }

    void booksStandOnLastRecordAfterFill() {
        addSampleBooks();
        test::addRecord(serials(), {QStringLiteral("WinRAR 3.0")});
        test::addRecord(serials(), {QStringLiteral("Delphi 7")});
        for (BookDataset* book : {&contacts(), &websites(), &serials()})
            book->first();
        openPanel();
        QCOMPARE(contacts().currentRow(), contacts().rowCount() - 1);
        QCOMPARE(websites().currentRow(), websites().rowCount() - 1);
        QCOMPARE(serials().currentRow(), 0);
        contacts().first();
        websites().first();
        item("N7")->trigger();
        QCOMPARE(contacts().currentRow(), contacts().rowCount() - 1);
        QCOMPARE(websites().currentRow(), websites().rowCount() - 1);
    }

    void websiteMenuOpensAddresses() {
        addSampleBooks();
        openPanel();
        const QList<QAction*> items = shownItems(control<QMenu>("N1"));
        QCOMPARE(captions(items), (QStringList{QStringLiteral("CSDN"), QStringLiteral("新浪"),
                                               QStringLiteral("百度")}));
        items[2]->trigger();
        items[0]->trigger();
        QCOMPARE(m_platform->launches, QStringList{QStringLiteral("http://www.baidu.com/")});
        QCOMPARE(messages(), QStringList{kEmptyMessage});
    }

    void modelsPassTheModelTester() {
        ContactTreeModel names(ContactTreeModel::Shape::NamesOnly);
        ContactTreeModel details(ContactTreeModel::Shape::WithDetails);
        WebsiteTreeModel websites;
        QAbstractItemModelTester namesTester(
            &names, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester detailsTester(
            &details, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester websitesTester(
            &websites, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto contacts =
            std::make_shared<const std::vector<ContactNodeData>>(std::vector<ContactNodeData>{
                {QStringLiteral("甲"), QStringLiteral("http://a.cn/"), QStringLiteral("a@a.cn")},
                {QStringLiteral("乙"), QString(), QString()}});
        names.setContacts(contacts);
        details.setContacts(contacts);
        websites.setWebsites({{QStringLiteral("百度"), QStringLiteral("http://www.baidu.com/")}});
        // A child node carries its contact's record.
        const QModelIndex homePage = details.index(1, 0, details.index(0, 0));
        QCOMPARE(homePage.data().toString(), QStringLiteral("http://a.cn/"));
        QCOMPARE(details.contactAt(homePage), &(*contacts)[0]);
        QCOMPARE(names.headerData(0, Qt::Horizontal).toString(), QStringLiteral("联系人"));
        QCOMPARE(websites.headerData(0, Qt::Horizontal).toString(), QStringLiteral("网址名称"));
        names.setContacts(std::make_shared<const std::vector<ContactNodeData>>());
        websites.setWebsites({});
    }

    void closedBookIsReported() {
        addSampleBooks();
        m_store->closeBooks();
        Tfrmdaohang& panel = openPanel();
        QVERIFY(panel.isVisible());
        QCOMPARE(messages(),
                 QStringList{QStringLiteral(
                     "ADOTable1: Cannot perform this operation on a closed dataset.|Quillbox")});
        QCOMPARE(tree("tv1")->model()->rowCount(), 0);
    }
};

QTEST_MAIN(TestNavPanel)
#include "tst_navpanel.moc"
