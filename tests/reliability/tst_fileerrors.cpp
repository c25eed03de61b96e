// Files and places the main window cannot use: bad database files at its start or through
// 打开数据库, a file with more columns than ours, a file made read-only, moved or deleted while
// it is open, and full file systems and read-only folders under the text export, the shortcut
// files, the preferences, the backup and the database itself. Each gives a clear error; a good
// file is never written to or replaced by a cut-off one; no record is lost.
#include "badfiles.h"
#include "books.h"
#include "places.h"
#include "support/windowdriver.h"
#include "testfiles.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QLocale>
#include <QTabWidget>
#include <QTest>

#include <sys/stat.h>

#include <optional>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

// Read at once when the book opens, unlike the bad files shared with the store's tests.
const QString kDamagedFirstPage = u"damaged first records page"_s;

const QAbstractItemModel& gridModel(const TSDIAppForm& form, const char* grid) {
    return *form.findChild<DBGrid*>(QString::fromLatin1(grid))->model();
}

QString cell(const TSDIAppForm& form, const char* grid, int row, int column) {
    return gridModel(form, grid).index(row, column).data().toString();
}

QStringList contactsIn(const QString& file) {
    return test::firstColumn(file, u"SELECT 姓名 FROM lianxi1 ORDER BY rowid"_s);
}

} // namespace

class TestFileErrors : public QObject {
    Q_OBJECT

    std::optional<test::Sandbox> m_box;

    // A book with the contact 张三 and the website a.
    QString goodBook(const QString& folder, const QString& name = u"book.mdb"_s) {
        const QString file = test::createBookFile(folder, name);
        test::runSql(file, u"INSERT INTO lianxi1(姓名) VALUES ('张三');"
                           "INSERT INTO wzsk1(网址名称, 网址) VALUES ('a', 'http://new.a')"_s);
        return file;
    }
    std::unique_ptr<TSDIAppForm> startWith(const QString& database) {
        test::rememberDatabase(m_box->ini(), database);
        return test::showMainWindow(m_box->ini());
    }

public:
    // Mounts must be made before the application starts its threads.
    static void initMain() { test::enterPrivateMountNamespace(); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_box.emplace();
        m_box->platform.favorites = m_box->path(u"Favorites"_s);
    }
    void cleanup() { m_box.reset(); }

    void badFileAtStartOrOpen_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("how");
        QList<test::BadFileKind> kinds = test::badFileKinds();
        kinds.append({kDamagedFirstPage, u"database disk image is malformed"_s, {}});
        // A file named on the command line or by a later start is opened as 打开数据库 opens one.
        // An Access file chosen or named that way is offered for import instead
        // (tst_mainwindow).
        for (const test::BadFileKind& kind : kinds)
            for (const QString& how : {u"remembered"_s, u"opened"_s, u"named"_s})
                if (how == u"remembered"_s || kind.name != u"access file"_s)
                    QTest::addRow("%s, %s", qPrintable(kind.name), qPrintable(how))
                        << kind.name << kind.error << how;
    }
    void badFileAtStartOrOpen() {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QFETCH(QString, how);
        const bool atStart = how == u"remembered"_s;
        const QString good = goodBook(m_box->dir.path(), u"good.mdb"_s);
        const QString bad = m_box->path(u"bad.mdb"_s);
        if (kind == kDamagedFirstPage)
            test::makeDamagedBook(bad, test::DamagedPage::First);
        else
            test::makeBadFile(kind, bad);
        test::rememberDatabase(m_box->ini(), atStart ? bad : good);
        const QString before = test::fingerprint(bad);
        const QStringList entries = test::folderEntries(m_box->dir.path());
        auto form = test::showMainWindow(m_box->ini());
        if (how == u"opened"_s) {
            m_box->platform.fileAnswers.enqueue(bad);
            test::trigger(*form, "FileOpenItem");
        } else if (how == u"named"_s) {
            form->OpenDatabaseFile(bad);
        }
        m_box->verifyOneError(error);
        if (atStart) {
            QCOMPARE(form->windowTitle(), u"Quillbox"_s);
            QVERIFY(!form->store().isOpen());
            // Not opened again at the next start without the user's say.
            QCOMPARE(form->currentDatabasePath(), QString());
        } else {
            // The book that was open stays open (or is opened again), records and all.
            QCOMPARE(form->windowTitle(), u"Quillbox--good.mdb"_s);
            QCOMPARE(form->store().connection().fileName(), good);
            QCOMPARE(form->currentDatabasePath(), good);
            QCOMPARE(cell(*form, "DBGrid1", 0, 0), u"张三"_s);
        }
        QCOMPARE(form->findChild<TLbButton*>(u"LbButton1"_s)->isEnabled(), !atStart);
        form.reset();
        QCOMPARE(test::fingerprint(bad), before);
        // No journal or other file left beside it.
        QCOMPARE(test::folderEntries(m_box->dir.path()), entries);
    }

    // The key index is whole, so the book opens; the records of the damaged page cannot be
    // read when the grid shows them. That is reported once and writes nothing.
    void damagedRecordsPage() {
        const QString file = m_box->path(u"damaged.mdb"_s);
        test::makeDamagedBook(file, test::DamagedPage::Last);
        const QString before = test::fingerprint(file);
        auto form = startWith(file);
        QCOMPARE(m_box->platform.messages.size(), 0);
        auto* grid = form->findChild<DBGrid*>(u"DBGrid1"_s);
        for (int row = 0; row < grid->model()->rowCount(); row += 10) {
            grid->scrollTo(grid->model()->index(row, 0));
            grid->grab(); // paints the rows scrolled to
        }
        QTRY_COMPARE(m_box->platform.messages.size(), 1);
        m_box->verifyOneError(u"database disk image is malformed"_s);
        grid->grab();
        QCoreApplication::processEvents();
        QCOMPARE(m_box->platform.messages.size(), 1);
        form.reset();
        QCOMPARE(test::fingerprint(file), before);
    }

    // Shown, and kept by a change and a new record.
    void extraColumnsWorkAndShow() {
        const QString file = test::createBookFile(m_box->dir.path());
        test::runSql(file, u"ALTER TABLE wzsk1 ADD COLUMN 评分 integer;"
                           "ALTER TABLE wzsk1 ADD COLUMN 标签 varchar(20);"
                           "INSERT INTO wzsk1(网址名称, 评分) VALUES ('老站', 5)"_s);
        auto form = startWith(file);
        const QAbstractItemModel& grid = gridModel(*form, "DBGrid2");
        QStringList headers;
        for (int c = 0; c < grid.columnCount(); ++c)
            headers << grid.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers,
                 tableSchema(BookId::Websites).columnNames + (QStringList{u"评分"_s, u"标签"_s}));
        QCOMPARE(cell(*form, "DBGrid2", 0, 4), u"5"_s);
        test::click(*form, "LbButton14"); // 修改
        test::type(*form, "DBregistryname", u"我"_s);
        test::click(*form, "LbButton30"); // 提交
        test::click(*form, "LbButton7");  // 添加
        test::type(*form, "DBwangzhiname", u"新站"_s);
        test::click(*form, "LbButton30");
        QCOMPARE(m_box->platform.messages.size(), 0);
        form.reset();
        QCOMPARE(test::firstColumn(file, u"SELECT 网址名称 FROM wzsk1 ORDER BY rowid"_s),
                 (QStringList{u"老站"_s, u"新站"_s}));
        QCOMPARE(test::firstColumn(file, u"SELECT 注册名 FROM wzsk1 WHERE 评分 = 5"_s),
                 QStringList{u"我"_s});
    }

    // The open file can still be read, but a post is refused with a clear error (the engine
    // will not write to a file whose journal could no longer be found after a crash) and the
    // typed record stays in the entry fields. 备份数据库 saves everything into a new file.
    void postRefusedWhileOpen_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("error");
        QTest::newRow("made read-only") << u"read-only"_s << u"只读"_s;
        QTest::newRow("moved") << u"moved"_s << u"被移动或删除"_s;
        QTest::newRow("deleted") << u"deleted"_s << u"被移动或删除"_s;
    }
    void postRefusedWhileOpen() {
        QFETCH(QString, change);
        QFETCH(QString, error);
        const QString file = goodBook(m_box->dir.path());
        const QString moved = m_box->path(u"moved.mdb"_s);
        test::UnwritablePlace readOnly(file, test::UnwritablePlace::Kind::ReadOnly);
        if (change == u"read-only"_s && !readOnly.lock())
            QSKIP(qPrintable(test::UnwritablePlace::whyNotLocked()));
        auto form = startWith(file);
        if (change != u"read-only"_s)
            QVERIFY(change == u"deleted"_s ? QFile::remove(file) : QFile::rename(file, moved));
        const QString where = change == u"moved"_s ? moved : file;
        const QString before = test::fingerprint(where);

        test::click(*form, "LbButton19"); // >||
        QCOMPARE(cell(*form, "DBGrid1", 0, 0), u"张三"_s);
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", u"李四"_s);
        test::click(*form, "LbButton28"); // 提交
        m_box->verifyOneError(error);
        test::click(*form, "LbButton3"); // 修改: back to the values typed
        QCOMPARE(form->findChild<QTabWidget*>(u"PageControl2"_s)->currentIndex(), 1);
        QCOMPARE(test::fieldText(*form, "DBname"), u"李四"_s);

        test::click(*form, "LbButton29"); // 取消
        m_box->platform.fileAnswers.enqueue(m_box->path(u"rescued"_s));
        test::trigger(*form, "FileSaveAsItem");
        QCOMPARE(form->windowTitle(), u"Quillbox--rescued.mdb"_s);
        test::click(*form, "LbButton1");
        test::type(*form, "DBname", u"李四"_s);
        test::click(*form, "LbButton28");
        QCOMPARE(m_box->platform.messages.size(), 1);
        form.reset();
        QCOMPARE(test::fingerprint(where), before);
        QCOMPARE(contactsIn(m_box->path(u"rescued.mdb"_s)), (QStringList{u"张三"_s, u"李四"_s}));
    }

    void writeRefused_data() {
        QTest::addColumn<bool>("full");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("good");       // a good file already there
        QTest::addColumn<QByteArray>("command"); // a menu item; none: closing the window
        QTest::addColumn<QString>("error");      // %1: the good file's path
        for (const bool full : {true, false}) {
            const char* place = full ? "full file system" : "read-only folder";
            // No space, the file-size limit of the fallback (EFBIG), or no write access.
            const QString shortcutError = !full              ? u"File access denied."_s
                                          : test::canMount() ? u"Disk full."_s
                                                             : u"I/O error 27."_s;
            QTest::addRow("text export, %s", place)
                << full << u"place"_s << u"list.txt"_s << QByteArray("N6")
                << u"Cannot create file %1."_s;
            QTest::addRow("shortcuts, %s", place)
                << full << u"Favorites/Inkwren网址收集"_s << u"a.url"_s << QByteArray("IE1")
                << shortcutError;
            QTest::addRow("preferences, %s", place) << full << u"config"_s << u"quillbox.ini"_s
                                                    << QByteArray() << u"Unable to write to %1."_s;
            // The good file is a bystander here: the copy goes to copy.mdb beside it.
            QTest::addRow("backup, %s", place)
                << full << u"copies"_s << u"copy"_s << QByteArray("FileSaveAsItem")
                << u"备份到“%1.mdb”失败"_s;
        }
    }
    // One clear error; the good file is left as it was and no other file (cut-off,
    // temporary) stays beside it; the window keeps the open database.
    void writeRefused() {
        QFETCH(bool, full);
        QFETCH(QString, folder);
        QFETCH(QString, good);
        QFETCH(QByteArray, command);
        QFETCH(QString, error);
        const QString book = goodBook(m_box->dir.path());
        folder = m_box->path(folder);
        test::UnwritablePlace place(folder, full ? test::UnwritablePlace::Kind::Full
                                                 : test::UnwritablePlace::Kind::ReadOnly);
        good = QDir(folder).filePath(good);
        test::writeBytes(good, "the good file\r\n");
        const QString ini = command.isEmpty() ? good : m_box->ini();
        test::rememberDatabase(ini, book, {u"张"_s, u"李"_s});
        const QStringList entries = test::folderEntries(folder);
        auto form = test::showMainWindow(ini);
        // A third history entry, so that the preferences have something new to write.
        test::type(*form, "cmlianxi1zhao", u"王"_s);
        test::click(*form, "LbButton5");              // 定位
        QCOMPARE(m_box->platform.messages.size(), 1); // 找不到
        m_box->platform.messages.clear();
        const QString before = test::fingerprint(good);

        if (!place.lock())
            QSKIP(qPrintable(test::UnwritablePlace::whyNotLocked()));
        m_box->platform.fileAnswers.enqueue(good);
        if (command.isEmpty())
            form.reset();
        else
            test::trigger(*form, command.constData());
        m_box->verifyOneError(error.replace(u"%1"_s, good));
        place.unlock();
        QCOMPARE(test::fingerprint(good), before);
        QCOMPARE(test::folderEntries(folder), entries);
        QVERIFY(m_box->platform.launches.isEmpty());
        if (form) {
            QCOMPARE(form->windowTitle(), u"Quillbox--book.mdb"_s);
            QCOMPARE(form->currentDatabasePath(), book);
            QCOMPARE(form->store().connection().fileName(), book);
        }
    }

    // Another program changes the contact while it is edited here: 提交 is refused with a
    // clear message, the typed phone number stays in its field, 刷新 shows the other program's
    // change beside it, and the next 提交 stores both.
    void recordChangedByAnotherProgram() {
        const QString file = goodBook(m_box->dir.path());
        auto form = startWith(file);
        test::click(*form, "LbButton3"); // 修改
        test::type(*form, "DBshouji", u"13900000000"_s);
        test::runSql(file, u"UPDATE lianxi1 SET 邮箱 = 'new@example.com'"_s);
        test::click(*form, "LbButton28"); // 提交
        m_box->verifyOneError(u"ADOTable1: 这条记录已被另一个程序修改，这次修改没有保存，"
                              "输入的内容仍在。请按“刷新”查看记录现在的内容，再提交。"_s);
        test::click(*form, "LbButton3");
        QCOMPARE(test::fieldText(*form, "DBshouji"), u"13900000000"_s);
        QCOMPARE(test::fieldText(*form, "DBemail"), QString());
        test::click(*form, "LbButton34"); // 刷新
        QCOMPARE(test::fieldText(*form, "DBshouji"), u"13900000000"_s);
        QCOMPARE(test::fieldText(*form, "DBemail"), u"new@example.com"_s);
        test::click(*form, "LbButton28");
        QCOMPARE(m_box->platform.messages.size(), 1);
        QCOMPARE(test::firstColumn(file, u"SELECT 姓名 || 手机 || 邮箱 FROM lianxi1"_s),
                 QStringList{u"张三13900000000new@example.com"_s});
    }

    // A preferences name that is a pipe or a link to a device: the window comes up at once
    // with one clear error and no book, and the end of the run leaves the name as it was.
    void preferencesThatAreNoFile_data() {
        QTest::addColumn<bool>("pipe");
        QTest::newRow("pipe") << true;
        QTest::newRow("link to /dev/zero") << false;
    }
    void preferencesThatAreNoFile() {
        QFETCH(bool, pipe);
        const QString ini = m_box->ini();
        if (pipe)
            QCOMPARE(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(u"/dev/zero"_s, ini));
        auto form = test::showMainWindow(ini);
        m_box->verifyOneError(u"首选项文件“%1”不是普通文件，没有读取"_s.arg(ini));
        QVERIFY(!form->store().isOpen());
        form.reset();
        QCOMPARE(m_box->platform.messages.size(), 1);
        QCOMPARE(QFileInfo(ini).isSymLink(), !pipe);
        QVERIFY(!QFileInfo(ini).isFile());
    }

    // The database itself on a full file system: the post fails, the record stays in the
    // entry fields, and once there is room again the same record is posted.
    void databaseOnFullDisk() {
        const QString folder = m_box->path(u"disk"_s);
        test::UnwritablePlace place(folder, test::UnwritablePlace::Kind::Full);
        QVERIFY(QDir().mkpath(folder));
        const QString file = goodBook(folder);
        auto form = startWith(file);
        QVERIFY(place.lock());
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", u"李四"_s);
        test::type(*form, "DBLianxiMemo", QString(255, QChar(u'满')));
        test::click(*form, "LbButton28"); // 提交
        QCOMPARE(m_box->platform.messages.size(), 1);
        qInfo("%s", qPrintable(m_box->platform.messages[0].text));
        place.unlock();
        test::click(*form, "LbButton3"); // 修改
        QCOMPARE(test::fieldText(*form, "DBname"), u"李四"_s);
        test::click(*form, "LbButton28");
        QCOMPARE(m_box->platform.messages.size(), 1);
        form.reset();
        QCOMPARE(test::firstColumn(file, u"PRAGMA integrity_check"_s), QStringList{u"ok"_s});
        QCOMPARE(contactsIn(file), (QStringList{u"张三"_s, u"李四"_s}));
    }
};

QTEST_MAIN(TestFileErrors)
#include "tst_fileerrors.moc"
