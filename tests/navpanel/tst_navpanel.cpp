// The navigation panel driven as a user would, over real books; then the parts it is made of:
// the values its nodes keep and the menu "网址导航".
#include "navpanel/frmdaohang.h"
#include "navpanel/navmodels.h"
#include "navpanel/websitemenu.h"
#include "openbooks.h"
#include "tables.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QWindow>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

QModelIndex node(const QTreeView* tree, int row) {
    return tree->model()->index(row, 0);
}
// The nodes below parent, their children in brackets.
QString nodeTexts(const QAbstractItemModel* model, const QModelIndex& parent = {}) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        texts << index.data().toString() + (model->hasChildren(index)
                                                ? u'[' + nodeTexts(model, index) + u']'
                                                : QString());
    }
    return texts.join(u',');
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

} // namespace

class TestNavPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<test::OpenBooks> m_books;
    std::unique_ptr<Tfrmdaohang> m_panel;
    int m_closed = 0;
    int m_mainShown = 0;

    BookDataset& contacts() { return m_books->contacts(); }
    BookDataset& websites() { return m_books->websites(); }

    // Three of each (姓名, 邮箱, QQ, 主页 of contacts), refreshed so that they stand in key order;
    // then another contact, and another program deletes 新浪 and adds Eve.
    void addSampleBooks() {
        sqlite3* db = m_books->store.connection().handle();
        execSql(db, u"INSERT INTO lianxi1(姓名, 邮箱, 主页) VALUES ('赵六', NULL, 'www.zhao.cn'), "
                    u"('Bob   ', 'bob@b.cn', NULL), ('Alice', ' alice@a.cn' || char(9), "
                    u"'http://alice.cn/')"_s);
        execSql(db,
                u"INSERT INTO wzsk1(网址名称, 网址) VALUES ('新浪', 'http://www.sina.com.cn/'), "
                u"('CSDN', NULL), ('百度', '  http://www.baidu.com/  ')"_s);
        contacts().refresh();
        websites().refresh();
        test::addRecord(contacts(), {u"Carol"_s});
        execSql(db, u"DELETE FROM wzsk1 WHERE 网址名称 = '新浪'"_s);
        execSql(db, u"INSERT INTO lianxi1(姓名) VALUES ('Eve')"_s);
    }
    // The trees' models are checked for consistency through every fill.
    Tfrmdaohang& openPanel() {
        m_panel = std::make_unique<Tfrmdaohang>(
            contacts(), websites(), [this] { ++m_closed; }, [this] { ++m_mainShown; });
        for (const char* name : {"tv1", "tv2", "tv3"})
            new QAbstractItemModelTester(tree(name)->model(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest,
                                         m_panel.get());
        m_panel->show();
        return *m_panel;
    }
    template <typename T = QAction> T* control(const char* name) const {
        return m_panel->findChild<T*>(QString::fromUtf8(name));
    }
    QTreeView* tree(const char* name) const { return control<QTreeView>(name); }
    // The three trees' nodes, "|"-separated.
    QString treeTexts() const {
        QStringList trees;
        for (const char* name : {"tv1", "tv2", "tv3"})
            trees << nodeTexts(tree(name)->model());
        return trees.join(u'|');
    }
    // The addresses opened, then the boxes shown: text and caption.
    QString seen() const {
        QStringList seen = m_books->platform.launches;
        for (const ScriptedPlatform::Message& message : m_books->platform.messages)
            seen << message.text + u' ' + message.caption;
        return seen.join(u" / "_s);
    }

private Q_SLOTS:
    void init() {
        m_books = std::make_unique<test::OpenBooks>();
        m_closed = m_mainShown = 0;
    }
    void cleanup() {
        m_panel.reset();
        m_books.reset();
    }

    // Every showing puts the panel back in its place under its title. It stays on top and is
    // no transient of the main window, which window managers hide along with it.
    void windowOnEveryShow() {
        QPalette look = QApplication::palette(); // a theme that greys an inactive selection
        look.setColor(QPalette::Active, QPalette::Highlight, Qt::blue);
        look.setColor(QPalette::Inactive, QPalette::Highlight, Qt::gray);
        QApplication::setPalette(look);
        Tfrmdaohang& panel = openPanel();
        QCOMPARE(panel.windowFlags() & (Qt::WindowType_Mask | Qt::WindowStaysOnTopHint |
                                        Qt::WindowMinimizeButtonHint),
                 Qt::Window | Qt::WindowStaysOnTopHint);
        QCOMPARE(panel.windowHandle()->transientParent(), nullptr);
        QCOMPARE(panel.centralWidget()->size(), QSize(178, 259));
        for (int showing = 0; showing < 2; ++showing) {
            QCOMPARE(panel.windowTitle(), u"Quillbox--导航面板"_s);
            QCOMPARE(panel.pos(), QPoint(612, 25));
            panel.move(300, 400);
            panel.setWindowTitle(u"别的"_s);
            panel.hide();
            panel.show();
        }
        QCOMPARE(tree("tv1")->palette().color(QPalette::Inactive, QPalette::Highlight),
                 QColor(Qt::blue));
        // However the panel closes, the main window hears of it; 退出 also shows the main window.
        control("N3")->trigger();
        panel.show();
        panel.close();
        QCOMPARE(QPoint(m_closed, m_mainShown), QPoint(2, 1));
    }

    // The first node of each tree is chosen on opening, unexpanded; then the steps of
    // navpanel/panel.txt.
    void panel_data() {
        test::addTableRows(u"navpanel/panel.txt"_s, {"steps", "trees", "at", "menu", "opened"});
    }
    void panel() {
        QFETCH(QString, steps);
        QFETCH(QString, trees);
        QFETCH(QString, at);
        QFETCH(QString, menu);
        QFETCH(QString, opened);
        addSampleBooks();
        openPanel();
        for (const QTreeView* t : {tree("tv1"), tree("tv2"), tree("tv3")})
            QVERIFY(!t->isExpanded(node(t, 0)) && t->selectionModel()->isSelected(node(t, 0)) &&
                    t->currentIndex() == node(t, 0) &&
                    !node(t, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        for (const QString& step : steps.split(u',', Qt::SkipEmptyParts)) {
            if (step.startsWith(u"tv"_s)) {
                control<QTabWidget>("PageControl1")->setCurrentIndex(step[2].digitValue() - 1);
                QTreeView* t = tree(qPrintable(step.left(3)));
                const QString row = step.mid(4).remove(u'>');
                const QPoint pos = row.isEmpty() ? QPoint(5, t->viewport()->height() - 2)
                                                 : t->visualRect(node(t, row.toInt())).center();
                if (step.endsWith(u'>')) {
                    QContextMenuEvent event(QContextMenuEvent::Mouse, pos,
                                            t->viewport()->mapToGlobal(pos));
                    QCoreApplication::sendEvent(t->viewport(), &event);
                    QMenu* popup = control<QMenu>(step[2] == u'3' ? "PopupMenu2" : "PopupMenu1");
                    QVERIFY(popup->isVisible());
                    popup->hide();
                } else {
                    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, pos);
                }
            } else if (step.startsWith(u"menu:"_s)) {
                shownItems(control<QMenu>("N1"))[step.mid(5).toInt() - 1]->trigger();
            } else if (step.startsWith(u"+w:"_s)) {
                test::addRecord(websites(), step.mid(3).split(u'='));
            } else if (step == u"first"_s) {
                contacts().first();
                websites().first();
            } else if (step == u"emptied"_s) {
                for (BookDataset* book : {&contacts(), &websites()})
                    for (book->refresh(); book->recordCount() > 0; book->first())
                        book->remove();
            } else {
                control(qPrintable(step))->trigger();
            }
        }
        QCOMPARE(treeTexts(), trees);
        QCOMPARE(u"%1,%2"_s.arg(contacts().currentRow()).arg(websites().currentRow()), at);
        QCOMPARE(allCaptions(control<QMenu>("N1")), menu);
        QCOMPARE(seen(), opened);
    }

    void closedBookIsReported() {
        addSampleBooks();
        m_books->store.closeBooks();
        QVERIFY(openPanel().isVisible());
        QCOMPARE(seen(),
                 u"ADOTable1: Cannot perform this operation on a closed dataset. Quillbox"_s);
        QCOMPARE(treeTexts(), u"||"_s);
    }

    void nodeValue_data() { test::addTableRows(u"navpanel/node-values.txt"_s, {"value", "kept"}); }
    void nodeValue() {
        QFETCH(QString, value);
        QFETCH(QString, kept);
        QCOMPARE(qb::nodeValue(value), kept);
    }

    // The menu "网址导航" splits a long book into sub-menus, made only when shown; new entries
    // replace all the old ones.
    void websiteMenu_data() {
        test::addTableRows(u"navpanel/website-menu.txt"_s,
                           {"count", "maxItems", "menu", "firstOfTwelve"});
    }
    void websiteMenu() {
        QFETCH(QString, count);
        QFETCH(QString, maxItems);
        QFETCH(QString, menu);
        QFETCH(QString, firstOfTwelve);
        const auto sites = [](int count) {
            std::vector<WebsiteEntry> entries;
            for (int i = 1; i <= count; ++i)
                entries.push_back({u"%1"_s.arg(i), u"http://s%1.cn/"_s.arg(i)});
            return entries;
        };
        QMenu bar;
        auto* websites = new WebsiteMenu(
            &bar, [](QAction*) {}, maxItems.toInt());
        websites->setEntries(sites(12));
        QAction* group = shownItems(&bar).first();
        QCOMPARE(group->text(), firstOfTwelve);
        QVERIFY(group->menu()->isEmpty());
        QPointer<QMenu> old(group->menu());
        websites->setEntries(sites(count.toInt()));
        QVERIFY(old.isNull());
        QCOMPARE(allCaptions(&bar), menu);
    }
};

QTEST_MAIN(TestNavPanel)
#include "tst_navpanel.moc"
