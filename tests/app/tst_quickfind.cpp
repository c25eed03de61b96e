#include "app/quickfindwindow.h"
#include "badfiles.h"
#include "books.h"
#include "filesizelimit.h"
#include "support/tables.h"
#include "windowdriver.h"

#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace qb;
using namespace Qt::StringLiterals;

class TestQuickFind : public QObject {
    Q_OBJECT

    std::unique_ptr<test::Sandbox> m_box;
    std::unique_ptr<TSDIAppForm> m_form;
    QuickFindWindow* m_window = nullptr;

    // Contacts by 姓名, 邮箱, QQ, 主页, 生日, 性别, 手机; a website and a serial.
    static void fill(RecordStore& store) {
        BookDataset& contacts = store.book(BookId::Contacts);
        for (const QString& contact :
             {u"张伟,zw@163.com,,,,,13800000001"_s, u"周文,,,,,,13800000002"_s,
              u"曾小明,,,,,,13900000003"_s, u"单田芳,tianfang@example.com,,,,,13800000004"_s,
              u"李娜,,,,,,13800000005"_s, u"王伟,,10086"_s, u"Tom王,Tom@Example.com"_s,
              u"阿明,wei@qq.com"_s, u"董立春"_s})
            test::addRecord(contacts, contact.split(u','));
        test::addRecord(store.book(BookId::Websites),
                        {u"张伟的博客"_s, u"http://zw.example.com"_s});
        test::addRecord(store.book(BookId::Websites), {u"12306铁路"_s, u"https://www.12306.cn"_s});
        test::addRecord(store.book(BookId::Serials), {u"ＡＢＣ软件 ２.０"_s, {}, u"K-138"_s});
    }

    // Replaces (or types on after) what the search field holds as the user types it: ASCII key by
    // key (\b is Backspace), each key's results awaited as a user reads them, anything else through
    // the input method. The results of the field's last text are shown.
    QString search(const QString& typed, bool replacing = true) {
        QLineEdit* field = m_window->searchField();
        if (replacing) {
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(field, Qt::Key_Delete);
        }
        const bool ascii =
            std::all_of(typed.begin(), typed.end(), [](QChar c) { return c < u'\x80'; });
        for (const QString& keys : ascii ? typed.split(QString()) : QStringList{typed}) {
            QSignalSpy shown(m_window, &QuickFindWindow::resultsShown);
            if (ascii) {
                QTest::keyClicks(field, keys);
            } else {
                QInputMethodEvent commit;
                commit.setCommitString(keys);
                QCoreApplication::sendEvent(field, &commit);
            }
            const auto done = [&] {
                return !shown.isEmpty() && shown.last().first() == field->text();
            };
            if (!keys.isEmpty() && !QTest::qWaitFor(done, 10000))
                return u"no results for "_s + field->text();
        }
        return shownRows();
    }
    // "book~key~column~matched text" for each row, best first.
    QString shownRows() const {
        QStringList rows;
        QTreeWidget* list = m_window->resultList();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            const auto* label = qobject_cast<QLabel*>(list->itemWidget(item, 3));
            rows << QStringList{item->text(0), item->text(1), item->text(2), label->text()}.join(
                u'~');
        }
        return rows.join(u", "_s);
    }
    // The book shown and its current record's key.
    QString current() const {
        const auto* pages = m_form->findChild<QTabWidget*>(u"PageControl1"_s);
        const int shown = pages->currentIndex();
        return pages->tabText(shown) + u':' + m_form->store().book(BookId(shown)).valueText(0);
    }
    void doubleClick(int row) {
        QTreeWidget* list = m_window->resultList();
        const QPoint key = list->visualRect(list->model()->index(row, 1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, key);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, key);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_box = std::make_unique<test::Sandbox>();
        const QString file = test::createBookFile(m_box->dir.path());
        {
            RecordStore store;
            store.openDatabase(file);
            fill(store);
        }
        test::rememberDatabase(m_box->ini(), file);
        m_form = test::showMainWindow(m_box->ini());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QTest::keyClick(m_form.get(), Qt::Key_F, Qt::ControlModifier);
        m_window = m_form->findChild<QuickFindWindow*>();
        QVERIFY(m_window && QTest::qWaitForWindowActive(m_window));
    }
    void cleanup() { m_form.reset(), m_box.reset(); }

    void typedQueries_data() { test::addTableRows(u"quickfind/queries.txt"_s, {"typed", "rows"}); }
    void typedQueries() {
        QFETCH(QString, typed);
        QFETCH(QString, rows);
        QCOMPARE(search(typed), rows);
    }

    // Enter, the arrow keys and a double click make a result current in its book as a grid
    // click would; Escape closes the window.
    void chosenRecordBecomesCurrent() {
        QCOMPARE(search(u"shan"_s), u"邮箱~单田芳~姓名~<b>单</b>田芳"_s);
        QTest::keyClick(m_window->searchField(), Qt::Key_Return);
        QCOMPARE(current(), u"邮箱:单田芳"_s);
        QCOMPARE(m_form->findChild<QLabel*>(u"sb2Panel0"_s)->text(), u"联系簿当前第2条记录"_s);
        search(u"zw"_s);
        QTest::keyClick(m_window->searchField(), Qt::Key_Down);
        QTest::keyClick(m_window->searchField(), Qt::Key_Down);
        QTest::keyClick(m_window->searchField(), Qt::Key_Up);
        QTest::keyClick(m_window->searchField(), Qt::Key_Return);
        QCOMPARE(current(), u"网址:张伟的博客"_s);
        doubleClick(2);
        QCOMPARE(current(), u"邮箱:周文"_s);
        QTest::keyClick(m_window->searchField(), Qt::Key_Escape);
        QTRY_VERIFY(!m_form->findChild<QuickFindWindow*>());
        QVERIFY(m_box->platform.messages.isEmpty());
    }

    // More matches than are shown: the best by rank, and among equals the first in pinyin
    // order (阿 a, 李 li, 张 zhang), not in the order of character codes or of adding.
    void manyMatchesShowTheFirstInPinyinOrder() {
        BookDataset& contacts = m_form->store().book(BookId::Contacts);
        for (const QString& surname : {u"张"_s, u"李"_s, u"阿"_s})
            for (int n = 100; n < 150; ++n)
                test::addRecord(contacts, {surname + QString::number(n)});
        QStringList keys;
        for (const QString& row : search(u"1"_s).split(u", "_s))
            keys << row.section(u'~', 1, 1);
        QCOMPARE(keys.size(), 100);
        QCOMPARE(keys.first(3).join(u' ') + u' ' + keys.last(), u"12306铁路 阿100 阿101 李148"_s);
    }

    // A book of several thousand records whose other columns fill more than one read of the
    // index's file: each row, "count: key column, …", gives the first results and the last.
    // Keys 阿0001 阿0004 …, 李0002 …, 张0000 … in pinyin order; 阿's and 张's mobiles are 15555
    // but for 张2997's and 张5997's, which start with 5555; every other record's notes start
    // with k, three hold 看清字.
    void bigBookShowsTheBestOfEachRank_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("best ones last in the order")
            << u"5555"_s
            << u"100: 李5555 姓名, 张2997 手机, 张5997 手机, 阿0001 手机 … 阿0289 手机"_s;
        QTest::newRow("enough at once") << u"1555"_s
                                        << u"100: 阿1555 姓名, 阿0001 手机, 阿0004 手机, 阿0007 "
                                           "手机 … 阿0295 手机"_s;
        QTest::newRow("by pinyin, narrowed")
            << u"kqz"_s << u"3: 张3000 备注, 阿0010 备注, 李2999 备注 … 李2999 备注"_s;
    }
    void bigBookShowsTheBestOfEachRank() {
        QFETCH(QString, typed);
        test::runSql(
            m_form->store().connection().fileName(),
            u"WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 5999) "
            "INSERT INTO lianxi1(姓名, 手机, 备注) SELECT CASE i % 3 WHEN 0 THEN '张' WHEN 1 "
            "THEN '阿' ELSE '李' END || printf('%04d', i), CASE WHEN i IN (2997, 5997) THEN "
            "'5555-' || i WHEN i % 3 <> 2 THEN '15555' END, CASE WHEN i = 3000 THEN '看清字' WHEN "
            "i IN (10, 2999) THEN 'x看清字' WHEN i % 2 = 0 THEN 'k' ELSE '' END || "
            "replace(hex(zeroblob(100)), '0', '.') FROM n"_s);
        QFETCH(QString, shown);
        QStringList keys;
        for (const QString& row : search(typed).split(u", "_s))
            keys << row.section(u'~', 1, 2).replace(u'~', u' ');
        QCOMPARE(u"%1: %2 … %3"_s.arg(keys.size()).arg(keys.mid(0, 4).join(u", "_s), keys.last()),
                 shown);
    }

    // The index keeps most of a book in temporary files, in TMPDIR, gone with the book; when none
    // can be made the window says so and finds again once it can.
    void temporaryFiles() {
        const auto restoreTmp = qScopeGuard([tmp = qgetenv("TMPDIR")] { qputenv("TMPDIR", tmp); });
        qputenv("TMPDIR", QFile::encodeName(m_box->path(u"missing"_s)));
        test::addRecord(m_form->store().book(BookId::Contacts), {u"赵武"_s});
        QTest::keyClicks(m_window->searchField(), u"zw"_s);
        auto* status = m_window->findChild<QLabel*>(u"QuickFindStatus"_s);
        QTRY_VERIFY(status->text().startsWith(u"无法建立快速查找的临时文件："_s));
        QCOMPARE(shownRows(), QString());
        QDir folder(m_box->path(u"index"_s));
        QVERIFY(folder.mkpath(u"."_s));
        qputenv("TMPDIR", QFile::encodeName(folder.path()));
        QCOMPARE(search(u"zhaow"_s), u"邮箱~赵武~姓名~<b>赵武</b>"_s);
        QCOMPARE(status->text(), QString());
        // A file and its lock for each book.
        QCOMPARE(folder.entryList({u"*.lock"_s}, QDir::Files).size(), 3);
        QCOMPARE(folder.entryList(QDir::Files).size(), 6);
        m_form.reset();
        QCOMPARE(folder.entryList(QDir::Files), QStringList());
    }

    // The index is built in the background once the books open, before anyone searches: the
    // first search finds at once.
    void indexBuiltAfterOpening() {
        m_form.reset();
        QTemporaryDir folder;
        const auto restoreTmp = qScopeGuard([tmp = qgetenv("TMPDIR")] { qputenv("TMPDIR", tmp); });
        qputenv("TMPDIR", QFile::encodeName(folder.path()));
        m_form = test::showMainWindow(m_box->ini());
        QTRY_COMPARE(QDir(folder.path()).entryList({u"quillbox-find-*"_s}, QDir::Files).size(), 6);
        QVERIFY(!m_form->findChild<QuickFindWindow*>());
    }

    // A disk that fills up while the index is written: the window says so, the book is as it
    // was, and quick find works again once there is room.
    void fullDiskWhileIndexing() {
        const QString file = m_form->store().connection().fileName();
        test::runSql(file, u"WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < 2999) INSERT INTO lianxi1(姓名, 备注) SELECT '钱' || i, "
                           "replace(hex(zeroblob(200)), '0', '.') FROM n"_s);
        const QStringList before = test::runSql(file, u"SELECT count(*) FROM lianxi1"_s);
        auto* status = m_window->findChild<QLabel*>(u"QuickFindStatus"_s);
        {
            const test::FileSizeLimit full(256 * 1024);
            QTest::keyClicks(m_window->searchField(), u"q"_s);
            QTRY_VERIFY(status->text().startsWith(u"无法写入快速查找的临时文件："_s));
        }
        QCOMPARE(test::runSql(file, u"SELECT count(*) FROM lianxi1"_s), before);
        QCOMPARE(search(u"钱2999"_s), u"邮箱~钱2999~姓名~<b>钱2999</b>"_s);
    }

    // Records added, changed or deleted since the book opened are found or gone, and another
    // file's records replace the old ones.
    void changesAreFound() {
        search(u"z"_s);
        BookDataset& contacts = m_form->store().book(BookId::Contacts);
        // 艾 first in pinyin order moves every other key's place in the index.
        for (const QString& key : {u"赵武"_s, u"艾"_s})
            test::addRecord(contacts, {key});
        QVERIFY(contacts.locate(u"姓名"_s, u"周文"_s));
        contacts.edit();
        contacts.setFieldText(0, u"周雯雯"_s);
        contacts.post();
        QVERIFY(contacts.locate(u"姓名"_s, u"张伟"_s));
        contacts.remove();
        QCOMPARE(search(u"w"_s, false),
                 u"网址~张伟的博客~网址名称~<b>张伟</b>的博客, 邮箱~赵武~姓名~<b>赵武</b>, "
                 "邮箱~周雯雯~姓名~<b>周雯</b>雯"_s);
        QTemporaryDir otherDir;
        const QString other = test::createBookFile(otherDir.path());
        {
            RecordStore store;
            store.openDatabase(other);
            test::addRecord(store.book(BookId::Contacts), {u"郑伟"_s});
        }
        m_form->OpenDatabaseFile(other);
        QTRY_COMPARE(shownRows(), u"邮箱~郑伟~姓名~<b>郑伟</b>"_s);
    }
};

QTEST_MAIN(TestQuickFind)
#include "tst_quickfind.moc"
