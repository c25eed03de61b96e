// Database files the main window cannot use at its start or through 打开数据库, a read-only
// file, a file with more columns than ours, and a file moved or deleted while it is open.
// Each gives a clear error; nothing is written to the file; no record is lost.
#include "places.h"
#include "platform/scriptedplatform.h"
#include "store/badfiles.h"
#include "store/testbooks.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"
#include "windowdriver.h"

#include <QFile>
#include <QLocale>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;

namespace {

QStringList headers(const TSDIAppForm& form, const char* grid) {
    const QAbstractItemModel* model = form.findChild<DBGrid*>(QString::fromLatin1(grid))->model();
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles << model->headerData(c, Qt::Horizontal).toString();
    return titles;
}

QString cell(const TSDIAppForm& form, const char* grid, int row, int column) {
    const QAbstractItemModel* model = form.findChild<DBGrid*>(QString::fromLatin1(grid))->model();
    return model->index(row, column).data().toString();
}

QStringList contactsIn(const QString& file) {
    RecordStore store;
    store.openDatabase(file);
    return test::keysInGridOrder(store.book(BookId::Contacts));
}

} // namespace

class TestBadFiles : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;

    QString ini() const { return m_dir->filePath(QStringLiteral("quillbox.ini")); }
    QString path(const QString& name) const { return m_dir->filePath(name); }

    QString bookWithContact(const QString& name, const QString& contact) {
        const QString file = test::createBookFile(m_dir->path(), name);
        RecordStore store;
        store.openDatabase(file);
        test::addRecord(store.book(BookId::Contacts), {contact});
        return file;
    }

    // One error box with the stop icon whose text holds the part.
    void verifyOneError(const QString& part) {
        QCOMPARE(m_platform->messages.size(), 1);
        const ScriptedPlatform::Message& box = m_platform->messages.constFirst();
        QVERIFY2(box.text.contains(part), qPrintable(box.text));
        QCOMPARE(box.caption, QStringLiteral("Quillbox"));
        QCOMPARE(box.flags, mb::IconStop);
    }

public:
    // Mounts must be made before the application starts its threads.
    static void initMain() { test::enterPrivateMountNamespace(); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
    }
    void cleanup() {
        m_platform.reset();
        m_dir.reset();
    }

    void badFileAtStartOrOpen_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("atStart");
        for (const test::BadFileKind& kind : test::badFileKinds()) {
            QTest::addRow("%s, remembered", qPrintable(kind.name))
                << kind.name << kind.error << true;
            QTest::addRow("%s, opened", qPrintable(kind.name)) << kind.name << kind.error << false;
        }
    }
    void badFileAtStartOrOpen() {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QFETCH(bool, atStart);
        const QString good = bookWithContact(QStringLiteral("good.mdb"), QStringLiteral("张三"));
        const QString bad = path(QStringLiteral("bad.mdb"));
        test::makeBadFile(kind, bad);
        test::rememberDatabase(ini(), atStart ? bad : good);
        const QString before = test::fingerprint(bad);
        const QStringList entries = test::folderEntries(m_dir->path());

        auto form = test::showMainWindow(ini());
        if (!atStart) {
            m_platform->fileAnswers.enqueue(bad);
            test::trigger(*form, "FileOpenItem");
        }
        verifyOneError(error);
        if (atStart) {
            QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox"));
            QVERIFY(!form->store().isOpen());
            QCOMPARE(form->currentDatabasePath(), bad);
        } else {
            // The book that was open stays open, records and all.
            QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--good.mdb"));
            QCOMPARE(form->store().connection().fileName(), good);
            QCOMPARE(form->currentDatabasePath(), good);
            QCOMPARE(cell(*form, "DBGrid1", 0, 0), QStringLiteral("张三"));
        }
        QCOMPARE(form->findChild<TLbButton*>(QStringLiteral("LbButton1"))->isEnabled(), !atStart);
        form.reset();
        QCOMPARE(test::fingerprint(bad), before);
        // No journal or other file left beside it.
        QCOMPARE(test::folderEntries(m_dir->path()), entries);
    }

    // The key index is whole, so the book opens; the records of the damaged page cannot be
    // read when the grid shows them. That is reported once and writes nothing.
    void damagedRecordsPage() {
        const QString file = path(QStringLiteral("damaged.mdb"));
        test::makeDamagedBook(file, test::DamagedPage::Last);
        test::rememberDatabase(ini(), file);
        const QString before = test::fingerprint(file);
        auto form = test::showMainWindow(ini());
        QCOMPARE(m_platform->messages.size(), 0);
        auto* grid = form->findChild<DBGrid*>(QStringLiteral("DBGrid1"));
        for (int row = 0; row < grid->model()->rowCount(); row += 10) {
            grid->scrollTo(grid->model()->index(row, 0));
            grid->grab(); // paints the rows scrolled to
        }
        QTRY_COMPARE(m_platform->messages.size(), 1);
        verifyOneError(QStringLiteral("database disk image is malformed"));
        grid->grab();
        QCoreApplication::processEvents();
        QCOMPARE(m_platform->messages.size(), 1);
        form.reset();
        QCOMPARE(test::fingerprint(file), before);
    }

    // Records the window reads as soon as the book opens are damaged: the open fails after the
    // book that was open has been closed, so that book is opened again.
    void damagedFirstRecordsOpened() {
        const QString good = bookWithContact(QStringLiteral("good.mdb"), QStringLiteral("张三"));
        const QString file = path(QStringLiteral("damaged.mdb"));
        test::makeDamagedBook(file, test::DamagedPage::First);
        test::rememberDatabase(ini(), good);
        const QString before = test::fingerprint(file);
        auto form = test::showMainWindow(ini());
        m_platform->fileAnswers.enqueue(file);
        test::trigger(*form, "FileOpenItem");
        verifyOneError(QStringLiteral("database disk image is malformed"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--good.mdb"));
        QCOMPARE(form->store().connection().fileName(), good);
        QCOMPARE(cell(*form, "DBGrid1", 0, 0), QStringLiteral("张三"));
        QVERIFY(form->findChild<TLbButton*>(QStringLiteral("LbButton1"))->isEnabled());
        form.reset();
        QCOMPARE(test::fingerprint(file), before);
    }

    void extraColumnsWorkAndShow() {
        const QString file = test::createBookFile(m_dir->path());
        test::runSql(file, QStringLiteral("ALTER TABLE wzsk1 ADD COLUMN 评分 integer;"
                                          "ALTER TABLE wzsk1 ADD COLUMN 标签 varchar(20);"
                                          "INSERT INTO wzsk1(网址名称, 评分) VALUES ('老站', 5)"));
        test::rememberDatabase(ini(), file);
        auto form = test::showMainWindow(ini());
        QCOMPARE(headers(*form, "DBGrid2"),
                 (QStringList{QStringLiteral("网址名称"), QStringLiteral("网址"),
                              QStringLiteral("注册名"), QStringLiteral("备注"),
                              QStringLiteral("评分"), QStringLiteral("标签")}));
        QCOMPARE(cell(*form, "DBGrid2", 0, 4), QStringLiteral("5"));
        test::click(*form, "LbButton14"); // 修改
        test::type(*form, "DBregistryname", QStringLiteral("我"));
        test::click(*form, "LbButton30"); // 提交
        test::click(*form, "LbButton7");  // 添加
        test::type(*form, "DBwangzhiname", QStringLiteral("新站"));
        test::click(*form, "LbButton30");
        QCOMPARE(m_platform->messages.size(), 0);
        form.reset();
        RecordStore store;
        store.openDatabase(file);
        BookDataset& websites = store.book(BookId::Websites);
        QCOMPARE(test::keysInGridOrder(websites),
                 (QStringList{QStringLiteral("新站"), QStringLiteral("老站")}));
        websites.last();
        QCOMPARE(websites.valueText(QStringLiteral("注册名")), QStringLiteral("我"));
        QCOMPARE(websites.valueText(QStringLiteral("评分")), QStringLiteral("5"));
    }

    // Opens for browsing; a post is refused with a clear error and the typed record stays in
    // the entry fields.
    void readOnlyFile() {
        const QString file = bookWithContact(QStringLiteral("book.mdb"), QStringLiteral("张三"));
        test::rememberDatabase(ini(), file);
        test::ReadOnlyPlace readOnly(file);
        if (!readOnly.works())
            QSKIP(qPrintable(test::ReadOnlyPlace::unavailableReason()));
        const QString before = test::fingerprint(file);
        auto form = test::showMainWindow(ini());
        QCOMPARE(m_platform->messages.size(), 0);
        QCOMPARE(cell(*form, "DBGrid1", 0, 0), QStringLiteral("张三"));
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", QStringLiteral("李四"));
        test::type(*form, "DBqq", QStringLiteral("12345"));
        test::click(*form, "LbButton28"); // 提交
        verifyOneError(QStringLiteral("只读"));
        test::click(*form, "LbButton3"); // 修改: back to the values typed
        QCOMPARE(form->findChild<QTabWidget*>(QStringLiteral("PageControl2"))->currentIndex(), 1);
        QCOMPARE(test::fieldText(*form, "DBname"), QStringLiteral("李四"));
        QCOMPARE(test::fieldText(*form, "DBqq"), QStringLiteral("12345"));
        form.reset();
        QCOMPARE(test::fingerprint(file), before);
    }

    // The open file keeps working for reading. A post is refused with a clear error (the
    // engine will not write to a file whose journal could no longer be found after a crash),
    // the typed record stays, and 备份数据库 saves everything that was open into a new file.
    void fileGoneWhileOpen_data() {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("moved") << false;
        QTest::newRow("deleted") << true;
    }
    void fileGoneWhileOpen() {
        QFETCH(bool, deleted);
        const QString file = bookWithContact(QStringLiteral("book.mdb"), QStringLiteral("张三"));
        const QString moved = path(QStringLiteral("moved.mdb"));
        test::rememberDatabase(ini(), file);
        auto form = test::showMainWindow(ini());
        QVERIFY(deleted ? QFile::remove(file) : QFile::rename(file, moved));

        test::click(*form, "LbButton19"); // >||
        QCOMPARE(cell(*form, "DBGrid1", 0, 0), QStringLiteral("张三"));
        test::click(*form, "LbButton1");
        test::type(*form, "DBname", QStringLiteral("李四"));
        test::click(*form, "LbButton28");
        verifyOneError(QStringLiteral("被移动或删除"));
        test::click(*form, "LbButton3");
        QCOMPARE(test::fieldText(*form, "DBname"), QStringLiteral("李四"));
        if (!deleted)
            QCOMPARE(contactsIn(moved), QStringList{QStringLiteral("张三")});

        test::click(*form, "LbButton29"); // 取消
        m_platform->fileAnswers.enqueue(path(QStringLiteral("rescued")));
        test::trigger(*form, "FileSaveAsItem");
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--rescued.mdb"));
        test::click(*form, "LbButton1");
        test::type(*form, "DBname", QStringLiteral("李四"));
        test::click(*form, "LbButton28");
        QCOMPARE(m_platform->messages.size(), 1);
        form.reset();
        QCOMPARE(contactsIn(path(QStringLiteral("rescued.mdb"))),
                 (QStringList{QStringLiteral("张三"), QStringLiteral("李四")}));
    }
};

QTEST_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
