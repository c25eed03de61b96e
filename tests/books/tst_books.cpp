#include "app/sdiappform.h"
#include "books.h"
#include "platform/scriptedplatform.h"
#include "store/preferences.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

class TestBooks : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<TSDIAppForm> m_form;

    QString ini() const { return m_dir->filePath(QStringLiteral("quillbox.ini")); }
    template <typename T> T* child(const QString& name) { return m_form->findChild<T*>(name); }
    TLbButton* button(int number) {
        return child<TLbButton>(QStringLiteral("LbButton%1").arg(number));
    }
    void click(int number) { QTest::mouseClick(button(number), Qt::LeftButton); }
    QString panel(const char* bar, int index) {
        return child<QLabel>(QStringLiteral("%1Panel%2").arg(QString::fromLatin1(bar)).arg(index))
            ->text();
    }
    BookDataset& dataset(BookId id) { return m_form->store().book(id); }
    // Where the keyboard goes.
    static QWidget* focused() { return QApplication::focusWidget(); }

    void addContacts(const QStringList& names) {
        for (const QString& name : names)
            test::addRecord(dataset(BookId::Contacts), {name});
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        Preferences prefs;
        prefs.databasePath = test::createBookFile(m_dir->path());
        SavePreferences(ini(), prefs);
        m_form = std::make_unique<TSDIAppForm>(ini());
        m_form->show();
    }
    void cleanup() {
        m_form.reset();
        m_platform.reset();
        m_dir.reset();
    }

    void deleteAsksFirst() {
        addContacts({QStringLiteral("a"), QStringLiteral("b")});
        auto* pages = child<QTabWidget>(QStringLiteral("PageControl2"));
        auto* sub = child<QTabWidget>(QStringLiteral("PageControl3"));
        pages->setCurrentIndex(1);
        sub->setCurrentIndex(2);
        m_platform->answers.enqueue(mb::IdNo);
        click(4);
        QCOMPARE(m_platform->messages.last().text, QStringLiteral("确定要删除这条记录吗？"));
        QCOMPARE(m_platform->messages.last().caption, QStringLiteral("警告"));
        QCOMPARE(m_platform->messages.last().flags, 0x114u);
        QCOMPARE(dataset(BookId::Contacts).recordCount(), 2);
        QCOMPARE(pages->currentIndex(), 1);
        m_platform->answers.enqueue(mb::IdYes);
        click(4);
        QCOMPARE(dataset(BookId::Contacts).recordCount(), 1);
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(sub->currentIndex(), 0);
    }

    void deleteOnEmptyBookShowsError() {
        m_platform->answers.enqueue(mb::IdYes);
        click(8);
        QCOMPARE(m_platform->messages.last().text,
                 QStringLiteral("ADOTable2: Cannot perform this operation on an empty dataset."));
        QCOMPARE(m_platform->messages.last().flags, mb::IconStop);
    }

    void arrangements_data() {
        QTest::addColumn<int>("add");
        QTest::addColumn<int>("post");
        QTest::addColumn<int>("cancel");
        QTest::addColumn<int>("refresh");
        QTest::addColumn<bool>("refreshStaysEnabled");
        QTest::addColumn<int>("locate");
        QTest::newRow("contacts") << 1 << 28 << 29 << 34 << true << 5;
        QTest::newRow("websites") << 7 << 30 << 31 << 35 << false << 9;
        QTest::newRow("serials") << 10 << 32 << 33 << 36 << false << 13;
    }
    void arrangements() {
        QFETCH(int, add);
        QFETCH(int, post);
        QFETCH(int, cancel);
        QFETCH(int, refresh);
        QFETCH(bool, refreshStaysEnabled);
        QFETCH(int, locate);
        click(add);
        QVERIFY(!button(add)->isEnabled());
        QVERIFY(!button(locate)->isEnabled());
        QVERIFY(button(post)->isEnabled());
        QVERIFY(button(cancel)->isEnabled());
        QCOMPARE(button(refresh)->isEnabled(), refreshStaysEnabled);
        click(cancel);
        QVERIFY(button(add)->isEnabled());
        QVERIFY(!button(post)->isEnabled());
        QVERIFY(button(refresh)->isEnabled());
    }

    void entryPlacesAndEditOnEmpty() {
        QCOMPARE(button(3)->text(), QStringLiteral("修改"));
        click(3); // 修改 on an empty book starts a new record
        QCOMPARE(dataset(BookId::Contacts).state(), DatasetState::Insert);
        QCOMPARE(child<QTabWidget>(QStringLiteral("PageControl2"))->currentIndex(), 1);
        QTest::keyClicks(child<QLineEdit>(QStringLiteral("DBname")), QStringLiteral("b"));
        click(28);
        QCOMPARE(child<QTabWidget>(QStringLiteral("PageControl2"))->currentIndex(), 0);
        click(1);
        QTest::keyClicks(child<QLineEdit>(QStringLiteral("DBname")), QStringLiteral("c"));
        click(28);
        QCOMPARE(test::keysInGridOrder(dataset(BookId::Contacts)),
                 (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
        click(16);
        click(2);
        QTest::keyClicks(child<QLineEdit>(QStringLiteral("DBname")), QStringLiteral("a"));
        click(28);
        QCOMPARE(test::keysInGridOrder(dataset(BookId::Contacts)),
                 (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
        click(16);
        click(18); // >| goes one on
        QCOMPARE(dataset(BookId::Contacts).recordNumber(), 2);
    }

    // 添加, 插入 and 修改 leave the cursor in the first field of the entry page they show.
    void entryCommandsStartTypingInTheFirstField_data() {
        QTest::addColumn<int>("book");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("field");
        const std::tuple<int, int, const char*> rows[] = {
            {0, 1, "DBname"},         {0, 2, "DBname"},         {0, 3, "DBname"},
            {1, 7, "DBwangzhiname"},  {1, 6, "DBwangzhiname"},  {1, 14, "DBwangzhiname"},
            {2, 10, "DBnameversion"}, {2, 11, "DBnameversion"}, {2, 15, "DBnameversion"}};
        for (const auto& [book, command, field] : rows)
            QTest::addRow("LbButton%d", command) << book << command << QString::fromLatin1(field);
    }
    void entryCommandsStartTypingInTheFirstField() {
        QFETCH(int, book);
        QFETCH(int, command);
        QFETCH(QString, field);
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        child<QTabWidget>(u"PageControl1"_s)->setCurrentIndex(book);
        if (book == 0) // the entry sub-page shown last must not keep the cursor
            child<QTabWidget>(u"PageControl3"_s)->setCurrentIndex(2);
        click(command);
        QTest::keyClicks(focused(), u"k"_s);
        QCOMPARE(child<QLineEdit>(field)->text(), u"k"_s);
    }

    // Tab goes from control to control: past the 访问 links and out of a grid.
    void tabLeavesLinksAndGrids() {
        addContacts({u"a"_s, u"b"_s});
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        child<DBGrid>(u"DBGrid1"_s)->setFocus();
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused()->objectName(), u"cmlianxi1ziduan"_s);
        child<QTabWidget>(u"PageControl2"_s)->setCurrentIndex(1);
        child<QLineEdit>(u"DBzhuye"_s)->setFocus();
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused()->objectName(), u"DBemail"_s);
    }

    void duplicateKeyKeepsTypedValues() {
        addContacts({QStringLiteral("a")});
        click(1);
        QTest::keyClicks(child<QLineEdit>(QStringLiteral("DBname")), QStringLiteral("a"));
        QTest::keyClicks(child<QLineEdit>(QStringLiteral("DBqq")), QStringLiteral("123"));
        click(28);
        QCOMPARE(m_platform->messages.size(), 1);
        QVERIFY(m_platform->messages[0].text.startsWith(QStringLiteral("ADOTable1: ")));
        QCOMPARE(child<QTabWidget>(QStringLiteral("PageControl2"))->currentIndex(), 0);
        QVERIFY(button(1)->isEnabled());
        click(3);
        QCOMPARE(child<QTabWidget>(QStringLiteral("PageControl2"))->currentIndex(), 1);
        QCOMPARE(child<QLineEdit>(QStringLiteral("DBqq"))->text(), QStringLiteral("123"));
        click(29);
        QCOMPARE(dataset(BookId::Contacts).recordCount(), 1);
    }

    void typingWithoutEditIsStoredByAMove() {
        addContacts({QStringLiteral("a"), QStringLiteral("b")});
        click(16);
        QTest::keyClicks(child<QLineEdit>(QStringLiteral("DBqq")), QStringLiteral("9"));
        QVERIFY(button(1)->isEnabled());
        click(18);
        QCOMPARE(dataset(BookId::Contacts).rowValueText(0, 2), QStringLiteral("9"));
    }

    void statusTexts() {
        click(16);
        QCOMPARE(panel("sb2", 0), QStringLiteral("联系簿当前第-1条记录"));
        addContacts({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        for (const char* key : {"s1", "s2", "s3"})
            test::addRecord(dataset(BookId::Serials), {QString::fromLatin1(key)});
        click(19);
        QCOMPARE(panel("sb2", 0), QStringLiteral("联系簿当前第3条记录"));
        click(18);
        QCOMPARE(panel("sb2", 0), QStringLiteral("联系簿当前第3条记录"));
        QCOMPARE(panel("sb1", 0), QString());
        click(34);
        QCOMPARE(panel("sb1", 0), QStringLiteral("联系簿有3条记录"));
        // Serials: first and last report the count in the last panel of the count bar.
        click(26);
        QCOMPARE(panel("sb2", 2), QStringLiteral("序列号当前第2条记录"));
        click(24);
        QCOMPARE(panel("sb1", 3), QStringLiteral("序列号有3条记录"));
        QCOMPARE(panel("sb2", 2), QStringLiteral("序列号当前第2条记录"));
        click(36);
        QCOMPARE(panel("sb1", 2), QStringLiteral("序列号有3条记录"));
        click(23);
        QCOMPARE(panel("sb2", 1), QStringLiteral("网址当前第-1条记录"));
    }

    void gridClickWritesPosition() {
        addContacts({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        auto* grid = child<DBGrid>(QStringLiteral("DBGrid1"));
        const QRect cell = grid->visualRect(grid->model()->index(1, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(panel("sb2", 0), QStringLiteral("联系簿当前第2条记录"));
        QVERIFY(child<QPlainTextEdit>(QStringLiteral("Lianxi1Zhanshi"))
                    ->toPlainText()
                    .startsWith(QStringLiteral("姓名:b\n")));
    }

    void detailView() {
        test::addRecord(dataset(BookId::Contacts), {QStringLiteral("张三 "), QString(), QString(),
                                                    QString(), QStringLiteral("2024-03-05")});
        dataset(BookId::Contacts).edit();
        dataset(BookId::Contacts).setFieldText(24, QStringLiteral("一\r\n二\r\n三"));
        dataset(BookId::Contacts).post();
        click(16);
        auto* view = child<QPlainTextEdit>(QStringLiteral("Lianxi1Zhanshi"));
        const QStringList lines = view->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 25 + 2 + 2);
        QCOMPARE(lines[0], QStringLiteral("姓名:张三 "));
        QCOMPARE(lines[1], QStringLiteral("邮箱:"));
        QCOMPARE(lines[4], QStringLiteral("生日:2024/3/5"));
        QCOMPARE(lines[24], QStringLiteral("备注:一"));
        QCOMPARE(lines[26], QStringLiteral("三"));
        QCOMPARE(view->textCursor().position(), 0);
        QVERIFY(!view->textCursor().hasSelection());
    }

    void locateAndHistory() {
        addContacts({QStringLiteral("b"), QStringLiteral("abc"), QStringLiteral("ab")});
        auto* search = child<QComboBox>(QStringLiteral("cmlianxi1zhao"));
        click(19);
        search->setEditText(QStringLiteral("ab"));
        click(5);
        QCOMPARE(dataset(BookId::Contacts).valueText(0), QStringLiteral("ab"));
        QCOMPARE(panel("sb2", 0), QStringLiteral("联系簿当前第3条记录"));
        search->setEditText(QStringLiteral("AB"));
        click(5);
        QCOMPARE(m_platform->messages.last().text, QStringLiteral("找不到"));
        QCOMPARE(m_platform->messages.last().caption, QStringLiteral("^^"));
        QCOMPARE(m_platform->messages.last().flags, 0x30u);
        search->setEditText(QString());
        click(5);
        click(5);
        QCOMPARE(search->count(), 2);
        QCOMPARE(search->itemText(0), QStringLiteral("ab"));
        QCOMPARE(search->itemText(1), QString());
        m_form.reset();
        QCOMPARE(LoadPreferences(ini()).histories[0],
                 (QStringList{QStringLiteral("ab"), QString()}));
    }

    // The history is offered in the drop-down, never completed into what is typed.
    void searchBoxSearchesWhatWasTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found"); // empty: 找不到
        QTest::newRow("history in other case") << u"a"_s << u"a1"_s;
        QTest::newRow("history entry longer") << u"z"_s << u"z1"_s;
    }
    void searchBoxSearchesWhatWasTyped() {
        QFETCH(QString, typed);
        QFETCH(QString, found);
        addContacts({u"Abc"_s, u"a1"_s, u"z1"_s, u"zz"_s});
        auto* search = child<QComboBox>(QStringLiteral("cmlianxi1zhao"));
        m_form->book(BookId::Contacts).setSearchHistory({u"Abc"_s, u"zz"_s});
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        search->setFocus();
        QTest::keyClicks(search->lineEdit(), typed);
        QCOMPARE(search->currentText(), typed);
        click(5);
        QCOMPARE(dataset(BookId::Contacts).valueText(0), found);
        QCOMPARE(search->itemText(search->count() - 1), typed);
    }

    // The pages take the window's size after the window system has resized it, when it is
    // maximized and when it is restored.
    void maximizeAndRestoreRelayout() {
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        const auto inner = [this] { return child<QTabWidget>(u"PageControl4"_s)->width(); };
        m_form->showMaximized();
        QTRY_VERIFY(m_form->isMaximized() && m_form->width() > 613);
        QTRY_COMPARE(inner(), m_form->width() - 70 - 80);
        QCOMPARE(button(10)->x(), inner() + 10);
        QCOMPARE(button(24)->x(), inner() + 10 + 3 * 28);
        m_form->showNormal();
        QTRY_VERIFY(!m_form->isMaximized());
        for (const char* name : {"PageControl2", "PageControl4", "PageControl5"})
            QCOMPARE(child<QTabWidget>(QString::fromLatin1(name))->width(), 383);
        QCOMPARE(button(1)->x(), 393);
        QCOMPARE(button(16)->x(), 393);
        QCOMPARE(button(17)->x(), 421);
        QCOMPARE(button(18)->x(), 449);
        QCOMPARE(button(19)->x(), 477);
    }
};

QTEST_MAIN(TestBooks)
#include "tst_books.moc"
