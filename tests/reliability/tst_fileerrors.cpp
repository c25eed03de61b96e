// Files and places the main window cannot use: bad database files at its start or through
// 打开数据库, a file with more columns than ours, a file made read-only, moved or deleted while
// it is open, another program changing the record being edited, and full file systems and
// read-only folders under the text export, the shortcut files, the preferences, the backup and
// the database itself. Each gives a clear error; a good file is never written to or replaced
// by a cut-off one; no record is lost.
#include "badfiles.h"
#include "books.h"
#include "places.h"
#include "support/windowdriver.h"
#include "tables.h"
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

QString cell(const TSDIAppForm& form, const char* grid, int row, int column) {
    return form.findChild<DBGrid*>(QString::fromLatin1(grid))
        ->model()
        ->index(row, column)
        .data()
        .toString();
}

QString rows(const QString& file, const QString& sql) {
    return test::firstColumn(file, sql).join(u',');
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
    // 添加 on the contacts, the name typed, 提交.
    void addContact(TSDIAppForm& form, const QString& name) {
        test::click(form, "LbButton1");
        test::type(form, "DBname", name);
        test::click(form, "LbButton28");
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

    // Remembered from the last run, chosen through 打开数据库, or named on the command line or
    // by a later start. An Access file chosen or named is offered for import instead.
    void badFileAtStartOrOpen_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("how");
        QList<test::BadFileKind> kinds = test::badFileKinds();
        // Read at once when the book opens, unlike the bad files shared with the store's tests.
        kinds.append({u"damaged first records page"_s, u"database disk image is malformed"_s});
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
        if (kind.startsWith(u"damaged"_s))
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
        } else if (how == u"named"_s)
            form->OpenDatabaseFile(bad);
        m_box->verifyOneError(error);
        // The book that was open stays open, records and all; a bad one is not opened again
        // at the next start without the user's say.
        QCOMPARE(form->windowTitle(), atStart ? u"Quillbox"_s : u"Quillbox--good.mdb"_s);
        QCOMPARE(form->currentDatabasePath(), atStart ? QString() : good);
        QCOMPARE(form->store().isOpen() ? form->store().connection().fileName() : QString(),
                 atStart ? QString() : good);
        QCOMPARE(cell(*form, "DBGrid1", 0, 0), atStart ? QString() : u"张三"_s);
        QCOMPARE(form->findChild<TLbButton*>(u"LbButton1"_s)->isEnabled(), !atStart);
        form.reset();
        QCOMPARE(test::fingerprint(bad), before);
        QCOMPARE(test::folderEntries(m_box->dir.path()), entries); // no journal left beside it
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
        const auto* grid = form->findChild<DBGrid*>(u"DBGrid2"_s)->model();
        QCOMPARE(grid->headerData(4, Qt::Horizontal).toString() +
                     grid->headerData(5, Qt::Horizontal).toString() +
                     QString::number(grid->columnCount()),
                 u"评分标签6"_s);
        QCOMPARE(cell(*form, "DBGrid2", 0, 4), u"5"_s);
        test::click(*form, "LbButton14"); // 修改
        test::type(*form, "DBregistryname", u"我"_s);
        test::click(*form, "LbButton30"); // 提交
        test::click(*form, "LbButton7");  // 添加
        test::type(*form, "DBwangzhiname", u"新站"_s);
        test::click(*form, "LbButton30");
        QCOMPARE(m_box->platform.messages.size(), 0);
        form.reset();
        QCOMPARE(rows(file, u"SELECT 网址名称 || ifnull(注册名 || 评分, '') FROM wzsk1"_s),
                 u"老站我5,新站"_s);
    }

    // The open file can still be read, but a post is refused with a clear error (the engine
    // will not write to a file whose journal could no longer be found after a crash) and the
    // typed record stays in the entry fields. 备份数据库 saves everything into a new file.
    // On a full disk the same record is posted once there is room again.
    void postRefusedWhileOpen_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("error");
        QTest::newRow("made read-only") << u"read-only"_s << u"只读"_s;
        QTest::newRow("moved") << u"moved"_s << u"被移动或删除"_s;
        QTest::newRow("deleted") << u"deleted"_s << u"被移动或删除"_s;
        QTest::newRow("full disk") << u"full"_s << QString();
    }
    void postRefusedWhileOpen() {
        QFETCH(QString, change);
        QFETCH(QString, error);
        const bool full = change == u"full"_s;
        const QString folder = m_box->path(u"disk"_s);
        test::UnwritablePlace place(full ? folder : folder + u"/book.mdb"_s,
                                    full ? test::UnwritablePlace::Kind::Full
                                         : test::UnwritablePlace::Kind::ReadOnly);
        QVERIFY(QDir().mkpath(folder));
        const QString file = goodBook(folder);
        if (change == u"read-only"_s && !place.lock())
            QSKIP("nothing makes a file read-only for root here");
        auto form = startWith(file);
        const QString where = change == u"moved"_s ? folder + u"/moved.mdb"_s : file;
        if (change == u"moved"_s || change == u"deleted"_s)
            QVERIFY(change == u"deleted"_s ? QFile::remove(file) : QFile::rename(file, where));
        QVERIFY(!full || place.lock());
        const QString before = test::fingerprint(where);
        test::click(*form, "LbButton19"); // >||
        QCOMPARE(cell(*form, "DBGrid1", 0, 0), u"张三"_s);
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", u"李四"_s);
        test::type(*form, "DBLianxiMemo", QString(full ? 255 : 1, u'满'));
        test::click(*form, "LbButton28"); // 提交
        m_box->verifyOneError(error);
        test::click(*form, "LbButton3"); // 修改: back to the values typed
        QCOMPARE(form->findChild<QTabWidget*>(u"PageControl2"_s)->currentIndex(), 1);
        QCOMPARE(test::fieldText(*form, "DBname"), u"李四"_s);
        QString saved = file;
        if (full) {
            place.unlock();
            test::click(*form, "LbButton28");
        } else {
            test::click(*form, "LbButton29"); // 取消
            m_box->platform.fileAnswers.enqueue(saved = m_box->path(u"rescued"_s));
            test::trigger(*form, "FileSaveAsItem");
            QCOMPARE(form->windowTitle(), u"Quillbox--rescued.mdb"_s);
            addContact(*form, u"李四"_s);
            saved += u".mdb"_s;
        }
        QCOMPARE(m_box->platform.messages.size(), 1);
        form.reset();
        if (!full)
            QCOMPARE(test::fingerprint(where), before);
        QCOMPARE(rows(saved, u"PRAGMA integrity_check"_s), u"ok"_s);
        QCOMPARE(rows(saved, u"SELECT 姓名 FROM lianxi1 ORDER BY rowid"_s), u"张三,李四"_s);
    }

    void writeRefused_data() {
        test::addTableRows(u"reliability/write-refused.txt"_s,
                           {"full", "folder", "good", "command", "error"});
    }
    // One clear error; the good file is left as it was and no other file (cut-off,
    // temporary) stays beside it; the window keeps the open database.
    void writeRefused() {
        QFETCH(QString, full);
        QFETCH(QString, folder);
        QFETCH(QString, good);
        QFETCH(QString, command);
        QFETCH(QString, error);
        if (!test::canMount())
            error.replace(u"Disk full."_s, u"I/O error 27."_s);
        const QString book = goodBook(m_box->dir.path());
        folder = m_box->path(folder);
        test::UnwritablePlace place(folder, full == u"1"_s ? test::UnwritablePlace::Kind::Full
                                                           : test::UnwritablePlace::Kind::ReadOnly);
        good = QDir(folder).filePath(good);
        test::writeBytes(good, "the good file\r\n");
        const QString ini = command == u"close"_s ? good : m_box->ini();
        test::rememberDatabase(ini, book, {u"张"_s, u"李"_s});
        const QStringList entries = test::folderEntries(folder);
        auto form = test::showMainWindow(ini);
        // A third history entry, so that the preferences have something new to write.
        test::type(*form, "cmlianxi1zhao", u"王"_s);
        test::click(*form, "LbButton5"); // 定位: 找不到
        m_box->platform.messages.clear();
        const QString before = test::fingerprint(good);
        if (!place.lock())
            QSKIP("nothing makes a folder read-only for root here");
        m_box->platform.fileAnswers.enqueue(good);
        if (command == u"close"_s)
            form.reset();
        else
            test::trigger(*form, command.toLatin1().constData());
        m_box->verifyOneError(error.replace(u"%1"_s, good));
        place.unlock();
        QCOMPARE(test::fingerprint(good), before);
        QCOMPARE(test::folderEntries(folder), entries);
        QVERIFY(m_box->platform.launches.isEmpty());
        if (form)
            QCOMPARE(form->windowTitle() + form->currentDatabasePath() +
                         form->store().connection().fileName(),
                     u"Quillbox--book.mdb"_s + book + book);
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
        QCOMPARE(test::fieldText(*form, "DBshouji") + test::fieldText(*form, "DBemail"),
                 u"13900000000"_s);
        test::click(*form, "LbButton34"); // 刷新
        QCOMPARE(test::fieldText(*form, "DBshouji") + test::fieldText(*form, "DBemail"),
                 u"13900000000new@example.com"_s);
        test::click(*form, "LbButton28");
        QCOMPARE(m_box->platform.messages.size(), 1);
        QCOMPARE(rows(file, u"SELECT 姓名 || 手机 || 邮箱 FROM lianxi1"_s),
                 u"张三13900000000new@example.com"_s);
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
        QVERIFY(pipe ? ::mkfifo(QFile::encodeName(ini).constData(), 0600) == 0
                     : QFile::link(u"/dev/zero"_s, ini));
        auto form = test::showMainWindow(ini);
        m_box->verifyOneError(u"首选项文件“%1”不是普通文件，没有读取"_s.arg(ini));
        QVERIFY(!form->store().isOpen());
        form.reset();
        QCOMPARE(m_box->platform.messages.size(), 1);
        QCOMPARE(QFileInfo(ini).isSymLink(), !pipe);
        QVERIFY(!QFileInfo(ini).isFile());
    }
};

QTEST_MAIN(TestFileErrors)
#include "tst_fileerrors.moc"
