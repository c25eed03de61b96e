#include "navpanel/websitemenu.h"

#include <QMenu>
#include <QPointer>
#include <QTest>

using namespace qb;

namespace {

std::vector<WebsiteEntry> numberedSites(int count) {
    std::vector<WebsiteEntry> entries;
    for (int i = 1; i <= count; ++i)
        entries.push_back(
            {QStringLiteral("网站%1").arg(i), QStringLiteral("http://s%1.cn/").arg(i)});
    return entries;
}

// Shows a menu the way the menu bar does, so its items are made; closes it again.
QList<QAction*> openedItems(QMenu* menu) {
    menu->popup(QPoint(0, 0));
    const QList<QAction*> items = menu->actions();
    menu->hide();
    return items;
}

// Every website item below a menu, in menu order, opening every sub-menu on the way.
QStringList allCaptions(QMenu* menu) {
    QStringList captions;
    for (QAction* item : openedItems(menu))
        captions += item->menu() ? allCaptions(item->menu()) : QStringList{item->text()};
    return captions;
}

int depth(QMenu* menu) {
    const QList<QAction*> items = openedItems(menu);
    return items.isEmpty() || !items.first()->menu() ? 1 : 1 + depth(items.first()->menu());
}

} // namespace

class TestWebsiteMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<QMenu> m_menu;
    WebsiteMenu* m_websites = nullptr;
    QList<QAction*> m_clicked;

    void makeMenu(int maxItems) {
        m_menu = std::make_unique<QMenu>();
        m_websites = new WebsiteMenu(
            m_menu.get(), [this](QAction* item) { m_clicked << item; }, maxItems);
    }

private Q_SLOTS:
    void cleanup() {
        m_menu.reset();
        m_clicked.clear();
    }

    void itemsInBookOrder_data() {
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
    void itemsInBookOrder() {
        QFETCH(int, count);
        QFETCH(int, maxItems);
        QFETCH(int, topEntries);
        QFETCH(int, levels);
        makeMenu(maxItems);
        m_websites->setEntries(numberedSites(count));
        QCOMPARE(openedItems(m_menu.get()).size(), topEntries);
        QCOMPARE(depth(m_menu.get()), levels);
        QStringList expected;
        for (const WebsiteEntry& entry : numberedSites(count))
            expected << entry.name;
        QCOMPARE(allCaptions(m_menu.get()), expected);
    }

    void itemsAreMadeOnlyWhenShown() {
        makeMenu(5);
        m_websites->setEntries(numberedSites(20));
        QVERIFY(m_menu->isEmpty());
        const QList<QAction*> groups = openedItems(m_menu.get());
        QCOMPARE(groups.size(), 4);
        QCOMPARE(groups[0]->text(), QStringLiteral("网站1 ~ 网站5"));
        QCOMPARE(groups[3]->text(), QStringLiteral("网站16 ~ 网站20"));
        for (QAction* group : groups)
            QVERIFY(group->menu()->isEmpty());
        QCOMPARE(openedItems(groups[1]->menu()).size(), 5);
        QVERIFY(groups[2]->menu()->isEmpty());
    }

    void itemCarriesAddressAndReportsClick() {
        makeMenu(5);
        std::vector<WebsiteEntry> entries = numberedSites(2);
        entries.push_back({QStringLiteral("A&B 论坛"), QString()});
        m_websites->setEntries(std::move(entries));
        const QList<QAction*> items = openedItems(m_menu.get());
        QCOMPARE(items[1]->statusTip(), QStringLiteral("http://s2.cn/"));
        QVERIFY(!items[1]->icon().isNull());
        // "&" is shown as itself, not as a mnemonic.
        QCOMPARE(items[2]->text(), QStringLiteral("A&&B 论坛"));
        QCOMPARE(items[2]->statusTip(), QString());
        items[1]->trigger();
        QCOMPARE(m_clicked, QList<QAction*>{items[1]});
    }

    void newEntriesReplaceEverything() {
        makeMenu(3);
        m_websites->setEntries(numberedSites(10));
        QMenu* firstGroup = openedItems(m_menu.get()).first()->menu();
        openedItems(firstGroup);
        QPointer<QMenu> oldGroup(firstGroup);
        m_websites->setEntries(numberedSites(2));
        QVERIFY(oldGroup.isNull());
        QCOMPARE(allCaptions(m_menu.get()),
                 (QStringList{QStringLiteral("网站1"), QStringLiteral("网站2")}));
        m_websites->setEntries({});
        QVERIFY(openedItems(m_menu.get()).isEmpty());
    }
};

QTEST_MAIN(TestWebsiteMenu)
#include "tst_websitemenu.moc"
