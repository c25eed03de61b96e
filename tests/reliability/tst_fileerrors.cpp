// Files and places the main window cannot use: bad database files at its start or through
// 打开数据库, a file made read-only, moved or deleted while it is open, preferences that are a
// pipe, and full file systems and read-only folders under
// the text export, the shortcut files, the preferences, the backup and the database itself.
// Each gives a clear error; a good file is never written to or replaced by a cut-off one; no
// record is lost.
#include "badfiles.h"
#include "books.h"
#include "places.h"
#include "support/windowdriver.h"
#include "tables.h"
#include "testfiles.h"

#include <QTabWidget>
#include <QTest>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace qb;
using namespace Qt::StringLiterals;
using test::cell;

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

public:
    // Mounts must be made before the application starts its threads.
    static void initMain() { test::enterPrivateMountNamespace(); }

private Q_SLOTS:
    void init() {
        m_box.emplace();
        m_box->platform.favorites = m_box->path(u"Favorites"_s);
    }
    void cleanup() { m_box.reset(); }

    void badFileAtStartOrOpen_data() {
        test::addTableRows(u"reliability/badfiles.txt"_s, {"error", "how", "what"});
    }
    // Remembered from the last run, chosen through 打开数据库, or named on the command line or
    // by a later start. The book that was open stays open, records and all; a bad one is not
    // opened again at the next start without the user's say; it is never written to.
    void badFileAtStartOrOpen() {
        const QString error = cell("error");
        const QString good = goodBook(m_box->dir.path(), u"good.mdb"_s);
        const QString bad = m_box->path(u"bad.mdb"_s);
        test::makeBadFile(cell("how"), cell("what"), bad);
        const QString before = test::fingerprint(bad);
        for (const QString& way : {u"remembered"_s, u"opened"_s, u"named"_s}) {
            const bool atStart = way == u"remembered"_s;
            if (!atStart && error.contains(u"Access"_s))
                break; // chosen or named, it is offered for import instead
            test::rememberDatabase(m_box->ini(), atStart ? bad : good);
            const QStringList entries = test::folderEntries(m_box->dir.path());
            auto form = test::showMainWindow(m_box->ini());
            m_box->platform.fileAnswers.enqueue(bad);
            if (way == u"opened"_s)
                test::trigger(*form, "FileOpenItem");
            else if (way == u"named"_s)
                form->OpenDatabaseFile(bad);
            m_box->verifyOneError(error);
            m_box->platform.messages.clear();
            m_box->platform.fileAnswers.clear();
            QCOMPARE(
                form->windowTitle() + form->currentDatabasePath() +
                    (form->store().isOpen() ? form->store().connection().fileName() : QString()) +
                    test::fieldText(*form, "DBname") +
                    QString::number(form->findChild<QWidget*>(u"LbButton1"_s)->isEnabled()),
                atStart ? u"Quillbox0"_s : u"Quillbox--good.mdb"_s + good + good + u"张三1"_s);
            form.reset();
            QCOMPARE(test::fingerprint(bad), before);
            QCOMPARE(test::folderEntries(m_box->dir.path()), entries); // no journal left beside it
        }
    }

    // The open file can still be read, but a post is refused with a clear error (the engine
    // will not write to a file whose journal could no longer be found after a crash) and the
    // typed record stays in the entry fields. 备份数据库 saves everything into a new file.
    // On a full disk the same record is posted once there is room again.
    void postRefusedWhileOpen_data() {
        test::addTableRows(u"reliability/post-refused.txt"_s, {"error"});
    }
    void postRefusedWhileOpen() {
        const QString change = QString::fromLatin1(QTest::currentDataTag());
        const bool full = change == u"full"_s;
        const QString folder = m_box->path(u"disk"_s);
        test::UnwritablePlace place(full ? folder : folder + u"/book.mdb"_s,
                                    full ? test::UnwritablePlace::Kind::Full
                                         : test::UnwritablePlace::Kind::ReadOnly);
        QVERIFY(QDir().mkpath(folder));
        const QString file = goodBook(folder);
        if (change == u"read-only"_s && !place.lock())
            QSKIP("nothing makes a file read-only for root here");
        test::rememberDatabase(m_box->ini(), file);
        auto form = test::showMainWindow(m_box->ini());
        const QString where = change == u"moved"_s ? folder + u"/moved.mdb"_s : file;
        if (change == u"moved"_s || change == u"deleted"_s)
            QVERIFY(change == u"deleted"_s ? QFile::remove(file) : QFile::rename(file, where));
        QVERIFY(!full || place.lock());
        const QString before = test::fingerprint(where);
        test::click(*form, "LbButton19"); // >||: the file is still read
        QCOMPARE(test::fieldText(*form, "DBname"), u"张三"_s);
        test::click(*form, "LbButton1"); // 添加
        test::type(*form, "DBname", u"李四"_s);
        test::type(*form, "DBLianxiMemo", QString(full ? 255 : 1, u'满'));
        test::click(*form, "LbButton28"); // 提交
        m_box->verifyOneError(cell("error"));
        test::click(*form, "LbButton3"); // 修改: back to the values typed
        QCOMPARE(
            test::fieldText(*form, "DBname") +
                QString::number(form->findChild<QTabWidget*>(u"PageControl2"_s)->currentIndex()),
            u"李四1"_s);
        QString saved = file;
        if (full) {
            place.unlock();
            test::click(*form, "LbButton28");
        } else {
            test::click(*form, "LbButton29"); // 取消
            m_box->platform.fileAnswers.enqueue(saved = m_box->path(u"rescued"_s));
            test::trigger(*form, "FileSaveAsItem");
            QCOMPARE(form->windowTitle(), u"Quillbox--rescued.mdb"_s);
            test::click(*form, "LbButton1");
            test::type(*form, "DBname", u"李四"_s);
            test::click(*form, "LbButton28");
            saved += u".mdb"_s;
        }
        QCOMPARE(m_box->platform.messages.size(), 1);
        form.reset();
        if (!full)
            QCOMPARE(test::fingerprint(where), before);
        QCOMPARE(test::runSql(saved,
                              u"PRAGMA integrity_check; SELECT 姓名 FROM lianxi1 ORDER BY rowid"_s)
                     .join(u','),
                 u"ok,张三,李四"_s);
    }

    void writeRefused_data() {
        test::addTableRows(u"reliability/write-refused.txt"_s,
                           {"full", "folder", "good", "command", "error"});
    }
    // One clear error; the good file is left as it was and no other file (cut-off,
    // temporary) stays beside it; the window keeps the open database.
    void writeRefused() {
        const QString command = cell("command"), folder = m_box->path(cell("folder"));
        QString error = cell("error");
        if (!test::canMount())
            error.replace(u"Disk full."_s, u"I/O error 27."_s);
        const QString book = goodBook(m_box->dir.path());
        test::UnwritablePlace place(folder, cell("full") == u"1"_s
                                                ? test::UnwritablePlace::Kind::Full
                                                : test::UnwritablePlace::Kind::ReadOnly);
        const QString good = QDir(folder).filePath(cell("good"));
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

    // A preferences name that is a pipe: the window comes up at once (a read that blocks ends
    // the test run) with one clear error and no book, and its end leaves the pipe as it was.
    void preferencesThatAreAPipe() {
        const QString ini = m_box->ini();
        QVERIFY(::mkfifo(QFile::encodeName(ini).constData(), 0600) == 0);
        ::alarm(20);
        auto form = test::showMainWindow(ini);
        ::alarm(0);
        m_box->verifyOneError(u"首选项文件“%1”不是普通文件，没有读取"_s.arg(ini));
        QVERIFY(!form->store().isOpen());
        form.reset();
        QCOMPARE(m_box->platform.messages.size(), 1);
        QVERIFY(!QFileInfo(ini).isFile() && QFileInfo(ini).exists());
    }
};

QTEST_MAIN(TestFileErrors)
#include "tst_fileerrors.moc"
