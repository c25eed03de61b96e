#include "books.h"
#include "store/preferences.h"
#include "support/driver.h"
#include "support/windowdriver.h"
#include "testfiles.h"
#include "widgets/dbgrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kBrowsing = u"添加 插入 修改 删除 刷新 ||< |< >| >|| 定位"_s;
// While a record is typed only 提交 and 取消 work; the contacts' 刷新 stays as it was.
const QString kEntering = u"提交 取消"_s;
const QString kContactsEntering = u"刷新 提交 取消"_s;

} // namespace

class TestBooks : public QObject {
    Q_OBJECT

    std::unique_ptr<test::Sandbox> m_box;
    std::unique_ptr<TSDIAppForm> m_form;
    std::unique_ptr<test::Driver> m_user;

    // The three books hold these keys, in this order, when the window opens on them.
    void start(const QStringList& keys, const QStringList& history = {}) {
        const QString file = test::createBookFile(m_box->dir.path());
        {
            RecordStore store;
            store.openDatabase(file);
            for (BookId id : allBooks())
                for (const QString& key : keys)
                    test::addRecord(store.book(id), {key});
        }
        test::rememberDatabase(m_box->ini(), file, history);
        m_form = test::showMainWindow(m_box->ini());
        m_user = std::make_unique<test::Driver>(*m_form);
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    BookDataset& dataset(BookId id) { return m_form->store().book(id); }
    QWidget* field(const QString& name) { return m_form->findChild<QWidget*>(name); }

    // One user step: "@tab" a page's tab, "[field]" a click into a field, "=text" typing,
    // "⌫" emptying the focused field, "字段:column" the column to search in, "?text" typing into
    // the search box, "#n" a click on
    // the grid's n-th row, "caption!是" a command whose question gets that answer, else a
    // command's caption.
    void step(const QString& step) {
        const QString rest = step.mid(1);
        if (step.startsWith(u'@')) {
            m_user->showPage(rest);
        } else if (step.startsWith(u'[')) {
            m_user->clickInto(rest.chopped(1));
        } else if (step.startsWith(u'=')) {
            m_user->type(rest);
        } else if (step == u"⌫"_s) {
            m_user->erase();
        } else if (step.startsWith(u"字段:"_s)) {
            m_user->chooseField(step.mid(3));
        } else if (step.startsWith(u'?')) {
            m_user->search(rest);
        } else if (step.startsWith(u'#')) {
            m_user->clickRow(rest.toInt());
        } else if (step.contains(u'!')) {
            m_box->platform.answers.enqueue(step.endsWith(u"是"_s) ? mb::IdYes : mb::IdNo);
            m_user->click(step.section(u'!', 0, 0));
        } else {
            m_user->click(step);
        }
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_box = std::make_unique<test::Sandbox>(); }
    void cleanup() {
        m_user.reset();
        m_form.reset();
        m_box.reset();
    }

    // Every record command of the three books, as the user meets it: the steps from a fresh
    // window, then what the grid, the page, the command column, the status line, the Detail
    // view and the last message box show.
    void commands_data() {
        QTest::addColumn<QString>("book");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("message");
        const QStringList abc{u"a"_s, u"b"_s, u"c"_s};
        const auto row = [&](const char* tag, const char* book, const QStringList& keys,
                             const QStringList& steps, const char* rows, const char* page,
                             const QString& enabled, const char* status, const char* detail,
                             const char* message = "") {
            QTest::newRow(tag) << QString::fromUtf8(book) << keys << steps
                               << QString::fromUtf8(rows) << QString::fromUtf8(page) << enabled
                               << QString::fromUtf8(status) << QString::fromUtf8(detail)
                               << QString::fromUtf8(message);
        };
        // Contacts.
        row("c 添加", "邮箱", abc, {u"添加"_s}, "a,b,c,[]", "录入/个人", kContactsEntering, "||",
            "");
        row("c 添加 typed", "邮箱", abc, {u"添加"_s, u"=张三"_s, u"提交"_s}, "a,b,c,[张三]",
            "大概/个人", kBrowsing, "||", "");
        row("c 插入", "邮箱", abc, {u">|"_s, u"插入"_s}, "a,[],b,c", "录入/个人", kContactsEntering,
            "联系簿当前第2条记录||", "姓名:b");
        row("c 插入 typed", "邮箱", abc, {u">|"_s, u"插入"_s, u"=d"_s, u"提交"_s}, "a,[d],b,c",
            "大概/个人", kBrowsing, "联系簿当前第2条记录||", "姓名:b");
        row("c 修改 from 单位", "邮箱", abc, {u"@录入"_s, u"@单位"_s, u"修改"_s, u"=z"_s},
            "[az],b,c", "录入/个人", kContactsEntering, "||", "");
        row("c 提交 back to 个人", "邮箱", abc, {u"修改"_s, u"=z"_s, u"@单位"_s, u"提交"_s},
            "[az],b,c", "大概/个人", kBrowsing, "||", "");
        row("c 取消", "邮箱", abc, {u"修改"_s, u"=z"_s, u"@家庭"_s, u"取消"_s}, "[a],b,c",
            "大概/个人", kBrowsing, "||", "");
        row("c 修改 on empty", "邮箱", {}, {u"修改"_s}, "[]", "录入/个人", kContactsEntering, "||",
            "");
        row("c typed without 修改, then a move", "邮箱", abc,
            {u"@录入"_s, u"[DBname]"_s, u"=z"_s, u"@大概"_s, u">|"_s}, "za,[b],c", "大概/个人",
            kBrowsing, "联系簿当前第2条记录||", "姓名:b");
        row("c taken key", "邮箱", abc, {u"添加"_s, u"=a"_s, u"提交"_s}, "a,b,c,[a]", "大概/个人",
            kBrowsing, "||", "", "ADOTable1: ");
        row("c >||", "邮箱", abc, {u">||"_s}, "a,b,[c]", "大概/个人", kBrowsing,
            "联系簿当前第3条记录||", "姓名:c");
        row("c |<", "邮箱", abc, {u">||"_s, u"|<"_s}, "a,[b],c", "大概/个人", kBrowsing,
            "联系簿当前第2条记录||", "姓名:b");
        row("c ||<", "邮箱", abc, {u">||"_s, u"||<"_s}, "[a],b,c", "大概/个人", kBrowsing,
            "联系簿当前第1条记录||", "姓名:a");
        row("c >| past the end", "邮箱", abc, {u">|"_s, u">|"_s, u">|"_s}, "a,b,[c]", "大概/个人",
            kBrowsing, "联系簿当前第3条记录||", "姓名:c");
        row("c >| on empty", "邮箱", {}, {u">|"_s}, "", "大概/个人", kBrowsing,
            "联系簿当前第-1条记录||", "姓名:");
        row("c grid click", "邮箱", abc, {u"#2"_s}, "a,[b],c", "大概/个人", kBrowsing,
            "联系簿当前第2条记录||", "姓名:b");
        row("c 删除 no", "邮箱", abc, {u"删除!否"_s}, "[a],b,c", "大概/个人", kBrowsing, "||", "",
            "确定要删除这条记录吗？");
        row("c 删除 from 单位", "邮箱", abc, {u">|"_s, u"@录入"_s, u"@单位"_s, u"删除!是"_s},
            "a,[c]", "大概/个人", kBrowsing, "联系簿当前第2条记录||", "姓名:b", "确定要删除");
        row("c 删除 on empty", "邮箱", {}, {u"删除!是"_s}, "", "大概/个人", kBrowsing, "||", "",
            "ADOTable1: Cannot perform this operation on an empty dataset.");
        row("c 刷新", "邮箱", abc, {u"刷新"_s}, "[a],b,c", "大概/个人", kBrowsing,
            "|联系簿有3条记录|", "");
        row("c 定位 leaves the Detail view", "邮箱", abc, {u">|"_s, u"?c"_s, u"定位"_s}, "a,b,[c]",
            "大概/个人", kBrowsing, "联系簿当前第2条记录||", "姓名:b");
        row("c 定位 Chinese", "邮箱", {u"a"_s, u"张三"_s}, {u"?张三"_s, u"定位"_s}, "a,[张三]",
            "大概/个人", kBrowsing, "||", "");
        row("c 定位 as typed", "邮箱", abc, {u"?c "_s, u"定位"_s}, "[a],b,c", "大概/个人",
            kBrowsing, "||", "", "找不到");
        // Websites.
        row("w 添加", "网址", abc, {u"添加"_s}, "a,b,c,[]", "录入", kEntering, "||", "");
        row("w 插入", "网址", abc, {u">|"_s, u"插入"_s}, "a,[],b,c", "录入", kEntering,
            "网址当前第2条记录||", "");
        row("w 插入 typed", "网址", abc, {u">|"_s, u"插入"_s, u"=d"_s, u"提交"_s}, "a,[d],b,c",
            "大概", kBrowsing, "网址当前第2条记录||", "");
        row("w 修改", "网址", abc, {u"修改"_s, u"=z"_s, u"提交"_s}, "[az],b,c", "大概", kBrowsing,
            "||", "");
        row("w 取消", "网址", abc, {u"修改"_s, u"=z"_s, u"取消"_s}, "[a],b,c", "大概", kBrowsing,
            "||", "");
        row("w >||", "网址", abc, {u">||"_s}, "a,b,[c]", "大概", kBrowsing, "网址当前第3条记录||",
            "");
        row("w |<", "网址", abc, {u">||"_s, u"|<"_s}, "a,[b],c", "大概", kBrowsing,
            "网址当前第2条记录||", "");
        row("w ||<", "网址", abc, {u">||"_s, u"||<"_s}, "[a],b,c", "大概", kBrowsing,
            "网址当前第1条记录||", "");
        row("w >|", "网址", abc, {u">|"_s}, "a,[b],c", "大概", kBrowsing, "网址当前第2条记录||",
            "");
        row("w 删除", "网址", abc, {u">|"_s, u"删除!是"_s}, "a,[c]", "大概", kBrowsing,
            "网址当前第2条记录||", "", "确定要删除");
        row("w 刷新", "网址", abc, {u"刷新"_s}, "[a],b,c", "大概", kBrowsing, "|网址有3条记录|",
            "");
        row("w 定位", "网址", abc, {u"?b"_s, u"定位"_s}, "a,[b],c", "大概", kBrowsing, "||", "");
        row("w 定位 in another column", "网址", abc, {u"字段:网址"_s, u"?b"_s, u"定位"_s},
            "[a],b,c", "大概", kBrowsing, "||", "", "找不到");
        row("w 添加 after an emptied key", "网址", abc,
            {u"@录入"_s, u"[DBwangzhiname]"_s, u"⌫"_s, u"@大概"_s, u"添加"_s}, "[],b,c", "录入",
            kEntering, "||", "", "ADOTable2: 网址名称不能为空.");
        // Serials: first and last report the count in the count bar's last panel.
        row("s 添加", "序列号", abc, {u"添加"_s}, "a,b,c,[]", "录入", kEntering, "||", "");
        row("s 插入", "序列号", abc, {u">|"_s, u"插入"_s, u"=d"_s, u"提交"_s}, "a,[d],b,c", "大概",
            kBrowsing, "序列号当前第2条记录||", "");
        row("s 修改", "序列号", abc, {u"修改"_s, u"=z"_s, u"提交"_s}, "[az],b,c", "大概", kBrowsing,
            "||", "");
        row("s 取消", "序列号", abc, {u"修改"_s, u"=z"_s, u"取消"_s}, "[a],b,c", "大概", kBrowsing,
            "||", "");
        row("s >||", "序列号", abc, {u">||"_s}, "a,b,[c]", "大概", kBrowsing, "||序列号有3条记录",
            "");
        row("s |<", "序列号", abc, {u">||"_s, u"|<"_s}, "a,[b],c", "大概", kBrowsing,
            "序列号当前第2条记录||序列号有3条记录", "");
        row("s ||<", "序列号", abc, {u">|"_s, u"||<"_s}, "[a],b,c", "大概", kBrowsing,
            "序列号当前第2条记录||序列号有3条记录", "");
        row("s >|", "序列号", abc, {u">|"_s}, "a,[b],c", "大概", kBrowsing, "序列号当前第2条记录||",
            "");
        row("s 删除", "序列号", abc, {u"删除!是"_s}, "[b],c", "大概", kBrowsing, "||", "",
            "确定要删除");
        row("s 刷新", "序列号", abc, {u"刷新"_s}, "[a],b,c", "大概", kBrowsing, "|序列号有3条记录|",
            "");
        row("s 定位", "序列号", abc, {u"?c"_s, u"定位"_s}, "a,b,[c]", "大概", kBrowsing, "||", "");
        // The serials book calls its dataset before it shows the entry page.
        row("s 添加 after an emptied key", "序列号", abc,
            {u"@录入"_s, u"[DBnameversion]"_s, u"⌫"_s, u"@大概"_s, u"添加"_s}, "[],b,c", "大概",
            kEntering, "||", "", "ADOTable3: 名称版本号不能为空.");
    }
    void commands() {
        QFETCH(QString, book);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, steps);
        QFETCH(QString, rows);
        QFETCH(QString, page);
        QFETCH(QString, enabled);
        QFETCH(QString, status);
        QFETCH(QString, detail);
        QFETCH(QString, message);
        start(keys);
        m_user->showBook(book);
        for (const QString& s : steps)
            step(s);
        QCOMPARE(m_user->gridRows(), rows);
        QCOMPARE(m_user->pageShown(), page);
        QCOMPARE(m_user->enabledButtons(), enabled);
        QCOMPARE(m_user->statusPanels(), status);
        m_user->showBook(u"邮箱"_s);
        QCOMPARE(m_user->detailFirstLine(), detail);
        const auto& boxes = m_box->platform.messages;
        QCOMPARE(boxes.isEmpty(), message.isEmpty());
        if (!message.isEmpty())
            QVERIFY2(boxes.last().text.startsWith(message), qPrintable(boxes.last().text));
    }

    // The boxes a command shows: caption and buttons.
    void commandBoxes_data() {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<unsigned>("flags");
        QTest::newRow("删除") << QStringList{u"a"_s} << QString() << u"删除"_s << u"警告"_s
                              << unsigned(mb::YesNo | mb::IconStop | mb::DefaultButton2);
        QTest::newRow("删除 on empty")
            << QStringList() << QString() << u"删除"_s << u"Quillbox"_s << unsigned(mb::IconStop);
        QTest::newRow("找不到") << QStringList() << u"x"_s << u"定位"_s << u"^^"_s
                                << unsigned(mb::IconExclamation);
    }
    void commandBoxes() {
        QFETCH(QStringList, keys);
        QFETCH(QString, search);
        QFETCH(QString, command);
        QFETCH(QString, caption);
        QFETCH(unsigned, flags);
        start(keys);
        m_box->platform.answers.enqueue(mb::IdYes);
        if (!search.isEmpty())
            m_user->search(search);
        m_user->click(command);
        QVERIFY(!m_box->platform.messages.isEmpty());
        QCOMPARE(m_box->platform.messages.last().caption, caption);
        QCOMPARE(m_box->platform.messages.last().flags, flags);
    }

    // Every column as name, ":", the value as shown, one line each, a note's lines as lines.
    void detailView() {
        start({});
        for (const QString& s : {u"添加"_s, u"=张三 "_s, u"[DBbirth]"_s, u"=2024-03-05"_s,
                                 u"@单位"_s, u"[DBLianxiMemo]"_s, u"=一"_s})
            step(s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        for (const QString& s : {u"=二"_s, u"提交"_s, u"||<"_s})
            step(s);
        const auto* view = m_form->findChild<QPlainTextEdit*>(u"Lianxi1Zhanshi"_s);
        QCOMPARE(view->toPlainText(), QString::fromUtf8(test::readBytes(
                                          QStringLiteral(QB_TEST_DATA "/books/detail.txt"))));
        QCOMPARE(view->textCursor().position(), 0);
    }

    // The history keeps the first spelling of a text, the empty one too, and is remembered.
    void searchHistory() {
        start({u"b"_s, u"abc"_s, u"ab"_s});
        for (const QString& text : {u"ab"_s, u"AB"_s, QString(), QString()}) {
            m_user->search(text);
            m_user->click(u"定位"_s);
        }
        m_form.reset();
        QCOMPARE(LoadPreferences(m_box->ini()).histories[0], (QStringList{u"ab"_s, QString()}));
    }

    // The history is offered in the drop-down, never completed into what is typed.
    void searchBoxSearchesWhatWasTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("rows");
        QTest::newRow("history in other case") << u"a"_s << u"Abc,[a1],z1,zz"_s;
        QTest::newRow("history entry longer") << u"z"_s << u"Abc,a1,[z1],zz"_s;
    }
    void searchBoxSearchesWhatWasTyped() {
        QFETCH(QString, typed);
        QFETCH(QString, rows);
        start({u"Abc"_s, u"a1"_s, u"z1"_s, u"zz"_s}, {u"Abc"_s, u"zz"_s});
        m_user->search(typed);
        m_user->click(u"定位"_s);
        QCOMPARE(m_user->gridRows(), rows);
    }

    // Tab goes from control to control: past the 访问 links and out of a grid.
    void tabLeavesLinksAndGrids() {
        start({u"a"_s});
        m_user->clickRow(1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"cmlianxi1ziduan"_s);
        m_user->showPage(u"录入"_s);
        m_user->clickInto(u"DBzhuye"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"DBemail"_s);
    }

    // A refused record keeps what was typed for the next 修改.
    void refusedRecordKeepsTypedValues() {
        start({u"a"_s});
        m_user->click(u"添加"_s);
        m_user->type(u"a"_s);
        m_user->clickInto(u"DBqq"_s);
        m_user->type(u"123"_s);
        m_user->click(u"提交"_s);
        m_user->click(u"修改"_s);
        QCOMPARE(qobject_cast<QLineEdit*>(field(u"DBqq"_s))->text(), u"123"_s);
        m_user->click(u"取消"_s);
        QCOMPARE(dataset(BookId::Contacts).recordCount(), 1);
    }

    // The pages take the window's size after the window system has resized it, when it is
    // maximized and when it is restored.
    void maximizeAndRestoreRelayout() {
        start({});
        const auto inner = [this] { return field(u"PageControl4"_s)->width(); };
        m_form->showMaximized();
        QTRY_VERIFY(m_form->isMaximized() && m_form->width() > 613);
        QTRY_COMPARE(inner(), m_form->width() - 70 - 80);
        m_user->showBook(u"序列号"_s);
        QCOMPARE(m_user->button(u"添加"_s)->x(), inner() + 10);
        QCOMPARE(m_user->button(u">||"_s)->x(), inner() + 10 + 3 * 28);
        m_form->showNormal();
        QTRY_VERIFY(!m_form->isMaximized());
        for (const char* name : {"PageControl2", "PageControl4", "PageControl5"})
            QCOMPARE(field(QString::fromLatin1(name))->width(), 383);
        m_user->showBook(u"邮箱"_s);
        int x = 393;
        for (const QString& caption : {u"||<"_s, u"|<"_s, u">|"_s, u">||"_s}) {
            QCOMPARE(m_user->button(caption)->x(), x);
            x += 28;
        }
        QCOMPARE(m_user->button(u"添加"_s)->x(), 393);
    }
};

QTEST_MAIN(TestBooks)
#include "tst_books.moc"
