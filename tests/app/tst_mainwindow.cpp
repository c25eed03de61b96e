#include "app/laterstarts.h"
#include "app/sdiappform.h"
#include "platform/scriptedplatform.h"
#include "platform/singleinstance.h"
#include "store/preferences.h"
#include "store/testbooks.h"
#include "testfiles.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <unistd.h>

using namespace qb;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;

    QString ini() const { return m_dir->filePath(QStringLiteral("quillbox.ini")); }

    void remember(const QString& database) {
        Preferences prefs;
        prefs.databasePath = database;
        prefs.histories[0] = {QStringLiteral("张")};
        SavePreferences(ini(), prefs);
    }

    std::unique_ptr<TSDIAppForm> showForm() {
        auto form = std::make_unique<TSDIAppForm>(ini());
        form->show();
        return form;
    }

    static QAction* action(QWidget* form, const char* name) {
        return form->findChild<QAction*>(QString::fromLatin1(name));
    }
    static TLbButton* button(QWidget* form, const char* name) {
        return form->findChild<TLbButton*>(QString::fromLatin1(name));
    }

    static QStringList headers(const DBGrid* grid) {
        QStringList titles;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            titles << grid->model()->headerData(c, Qt::Horizontal).toString();
        return titles;
    }

    static QStringList enabledMenuItems(QWidget* form) {
        QStringList names;
        for (const char* item : {"N6", "N11", "N12", "FileSaveAsItem", "N8", "N14", "IE1"})
            if (action(form, item)->isEnabled())
                names << QString::fromLatin1(item);
        return names;
    }

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

    void firstRunWithoutPreferences() {
        auto form = showForm();
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox"));
        QVERIFY(!form->store().isOpen());
        QVERIFY(enabledMenuItems(form.get()).isEmpty());
        for (const char* name : {"LbButton1", "LbButton5", "LbButton16", "LbButton28", "LbButton29",
                                 "LbButton34", "LbButton13"})
            QVERIFY2(!button(form.get(), name)->isEnabled(), name);
        const auto* link = form->findChild<QToolButton*>(QStringLiteral("SpeedButton1"));
        QCOMPARE(link->text(), QStringLiteral("访问"));
        QVERIFY(m_platform->messages.isEmpty());
        QCOMPARE(form->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->currentIndex(), 0);
        form.reset();
        // The end of the run writes the preferences.
        QVERIFY(QFile::exists(ini()));
        QCOMPARE(LoadPreferences(ini()).databasePath, QString());
    }

    void rememberedDatabaseOpensAtStart() {
        const QString file = test::createBookFile(m_dir->path());
        {
            RecordStore store;
            store.openDatabase(file);
            test::addRecord(store.book(BookId::Contacts),
                            {QStringLiteral("张三"), QStringLiteral("z@example.com")});
        }
        remember(file);
        auto form = showForm();
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--book.mdb"));
        QVERIFY(form->store().isOpen());
        QCOMPARE(enabledMenuItems(form.get()).size(), 7);
        QVERIFY(button(form.get(), "LbButton1")->isEnabled());
        QVERIFY(!button(form.get(), "LbButton28")->isEnabled());
        const auto* grid = form->findChild<DBGrid*>(QStringLiteral("DBGrid1"));
        QCOMPARE(headers(grid), tableSchema(BookId::Contacts).columnNames);
        QCOMPARE(grid->model()->index(0, 0).data().toString(), QStringLiteral("张三"));
        QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("DBemail"))->text(),
                 QStringLiteral("z@example.com"));
        QCOMPARE(form->findChild<QComboBox*>(QStringLiteral("cmlianxi1ziduan"))->count(), 25);
        QCOMPARE(form->findChild<QComboBox*>(QStringLiteral("cmwzsk1ziduan"))->count(), 4);
        QCOMPARE(form->findChild<QComboBox*>(QStringLiteral("cmxuliehao1ziduan"))->count(), 5);
        QCOMPARE(form->findChild<QComboBox*>(QStringLiteral("cmlianxi1zhao"))->itemText(0),
                 QStringLiteral("张"));
        for (const char* panel : {"sb1Panel0", "sb1Panel3", "sb2Panel0"})
            QCOMPARE(form->findChild<QLabel*>(QString::fromLatin1(panel))->text(), QString());
        // Standard layout: the command column at 386 on every page.
        QCOMPARE(button(form.get(), "LbButton7")->x(), 386);
        QCOMPARE(button(form.get(), "LbButton7")->size(), QSize(70, 23));
        QCOMPARE(button(form.get(), "LbButton26")->size(), QSize(28, 21));
    }

    void badRememberedFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not a database") << QByteArray("plain text");
        QTest::newRow("empty") << QByteArray();
    }
    void badRememberedFile() {
        QFETCH(QByteArray, bytes);
        const QString file = m_dir->filePath(QStringLiteral("bad.mdb"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        remember(file);
        auto form = showForm();
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(m_platform->messages[0].caption, QStringLiteral("Quillbox"));
        QCOMPARE(m_platform->messages[0].flags, mb::IconStop);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox"));
        QVERIFY(!form->store().isOpen());
        QVERIFY(!button(form.get(), "LbButton1")->isEnabled());
        QCOMPARE(form->currentDatabasePath(), file);
        form.reset();
        QFile again(file);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), bytes);
        QCOMPARE(LoadPreferences(ini()).databasePath, file);
    }

    void newDatabaseCommand_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("created");
        QTest::newRow("plain name") << QStringLiteral("notes") << QStringLiteral("notes.mdb");
        QTest::newRow("upper case extension")
            << QStringLiteral("notes.MDB") << QStringLiteral("notes.MDB.mdb");
        QTest::newRow("mdb") << QStringLiteral("a.mdb") << QStringLiteral("a.mdb");
    }
    void newDatabaseCommand() {
        QFETCH(QString, chosen);
        QFETCH(QString, created);
        auto form = showForm();
        m_platform->fileAnswers.enqueue(m_dir->filePath(chosen));
        action(form.get(), "FileNewItem")->trigger();
        QCOMPARE(m_platform->fileRequests.last().filter, QStringLiteral("ACESS数据库文件|*.mdb"));
        QVERIFY(m_platform->fileRequests.last().confirmOverwrite);
        QVERIFY(QFile::exists(m_dir->filePath(created)));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--") + created);
        QCOMPARE(form->currentDatabasePath(), m_dir->filePath(created));
        QVERIFY(form->store().isOpen());
        QVERIFY(button(form.get(), "LbButton10")->isEnabled());
        QCOMPARE(form->findChild<DBGrid*>(QStringLiteral("DBGrid3"))->model()->rowCount(), 0);
    }

    void newDatabaseOntoExistingOrUnwritableChangesNothing() {
        const QString file = test::createBookFile(m_dir->path());
        remember(file);
        auto form = showForm();
        const QString existing = m_dir->filePath(QStringLiteral("other.mdb"));
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        m_platform->fileAnswers.enqueue(existing);
        action(form.get(), "FileNewItem")->trigger();
        QCOMPARE(m_platform->messages.size(), 1);
        QVERIFY(m_platform->messages[0].text.contains(QStringLiteral("已经存在")));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--book.mdb"));
        QCOMPARE(form->currentDatabasePath(), file);
        QVERIFY(form->store().isOpen());

        m_platform->fileAnswers.enqueue(existing + QStringLiteral("/sub/new"));
        action(form.get(), "FileNewItem")->trigger();
        QCOMPARE(m_platform->messages.size(), 2);
        QCOMPARE(m_platform->messages[1].text, QStringLiteral("数据库创建失败！"));
        QCOMPARE(m_platform->messages[1].caption, QStringLiteral("Quillbox"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--book.mdb"));
        QCOMPARE(form->currentDatabasePath(), file);
    }

    void openDatabaseCommand() {
        const QString file = test::createBookFile(m_dir->path());
        const QString other = test::createBookFile(m_dir->path(), QStringLiteral("other.mdb"));
        remember(file);
        auto form = showForm();
        form->book(BookId::Contacts).move(Move::First);
        // The same path letter for letter: nothing is reopened, the panels keep their texts.
        m_platform->fileAnswers.enqueue(file);
        action(form.get(), "FileOpenItem")->trigger();
        QCOMPARE(m_platform->fileRequests.last().filter, QStringLiteral("ACESS数据库文件|*.mdb"));
        m_platform->fileAnswers.enqueue(other);
        action(form.get(), "FileOpenItem")->trigger();
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--other.mdb"));
        QCOMPARE(form->currentDatabasePath(), other);
        // Cancelled: nothing changes.
        action(form.get(), "FileOpenItem")->trigger();
        QCOMPARE(form->currentDatabasePath(), other);
        // A file that is not a database leaves the open one as it was.
        const QString text = m_dir->filePath(QStringLiteral("text.mdb"));
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        m_platform->fileAnswers.enqueue(text);
        action(form.get(), "FileOpenItem")->trigger();
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--other.mdb"));
        QVERIFY(form->store().isOpen());
        QCOMPARE(form->store().connection().fileName(), other);
    }

    void backupCommand() {
        const QString file = test::createBookFile(m_dir->path());
        remember(file);
        auto form = showForm();
        test::addRecord(form->store().book(BookId::Websites), {QStringLiteral("站点")});
        m_platform->fileAnswers.enqueue(m_dir->filePath(QStringLiteral("copy")));
        action(form.get(), "FileSaveAsItem")->trigger();
        const QString copy = m_dir->filePath(QStringLiteral("copy.mdb"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--copy.mdb"));
        QCOMPARE(form->currentDatabasePath(), copy);
        QCOMPARE(form->store().connection().fileName(), copy);
        QCOMPARE(form->store().book(BookId::Websites).recordCount(), 1);
        // Onto an existing file: refused and reported, nothing replaced.
        m_platform->fileAnswers.enqueue(file);
        action(form.get(), "FileSaveAsItem")->trigger();
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(form->currentDatabasePath(), copy);
    }

    // 导入导出 comes after the existing menus, enabled like the text exports, and runs through
    // the file dialogs and message boxes like every other command.
    void exchangeMenu() {
        auto closed = showForm();
        const QList<QAction*> menus = closed->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus.last()->text(), QStringLiteral("导入导出"));
        for (QAction* item : menus.last()->menu()->actions())
            QVERIFY2(item->isSeparator() || !item->isEnabled(), qPrintable(item->text()));
        closed.reset();

        remember(test::createBookFile(m_dir->path()));
        auto form = showForm();
        test::addRecord(form->store().book(BookId::Websites),
                        {QStringLiteral("站点"), QStringLiteral("https://a.example/")});
        m_platform->fileAnswers.enqueue(m_dir->filePath(QStringLiteral("sites")));
        action(form.get(), "ExportWebsitesBookmarks")->trigger();
        QCOMPARE(m_platform->fileRequests.last().filter, QStringLiteral("书签文件|*.html"));
        QVERIFY(test::readBytes(m_dir->filePath(QStringLiteral("sites.html")))
                    .contains("<DT><A HREF=\"https://a.example/\">站点</A>"));

        const QString csv = m_dir->filePath(QStringLiteral("in.csv"));
        test::writeBytes(csv, "网址名称,网址\r\n站点,https://b.example/\r\n新站,x\r\n");
        m_platform->fileAnswers.enqueue(csv);
        m_platform->answers << mb::IdNo << mb::IdYes; // not replaced: kept both
        action(form.get(), "ImportWebsitesCsv")->trigger();
        QCOMPARE(m_platform->messages.size(), 3);
        QCOMPARE(m_platform->messages.last().text,
                 QStringLiteral("导入完成：新增 2 条，替换 0 条，跳过 0 条。"));
        QCOMPARE(test::keysInGridOrder(form->store().book(BookId::Websites)),
                 QStringList(
                     {QStringLiteral("新站"), QStringLiteral("站点"), QStringLiteral("站点 (2)")}));
    }

    void linkButtons_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("launched");
        QTest::newRow("home page")
            << QStringLiteral("DBzhuye") << QStringLiteral("SpeedButton1")
            << QStringLiteral("example.com") << QStringLiteral("example.com");
        QTest::newRow("mail") << QStringLiteral("DBemail") << QStringLiteral("SpeedButton2")
                              << QStringLiteral("a@b.cn") << QStringLiteral("mailto:a@b.cn");
        QTest::newRow("mail twice")
            << QStringLiteral("DBemail") << QStringLiteral("SpeedButton2")
            << QStringLiteral("mailto:a@b.cn") << QStringLiteral("mailto:mailto:a@b.cn");
        QTest::newRow("website") << QStringLiteral("DBwangzhi") << QStringLiteral("SpeedButton5")
                                 << QStringLiteral(" http://x.cn ")
                                 << QStringLiteral(" http://x.cn ");
        QTest::newRow("empty") << QStringLiteral("DBzhuye") << QStringLiteral("SpeedButton1")
                               << QString() << QString();
    }
    void linkButtons() {
        QFETCH(QString, field);
        QFETCH(QString, link);
        QFETCH(QString, typed);
        QFETCH(QString, launched);
        const QString file = test::createBookFile(m_dir->path());
        remember(file);
        auto form = showForm();
        auto* edit = form->findChild<QLineEdit*>(field);
        edit->setText(typed);
        QTest::mouseClick(form->findChild<QToolButton*>(link), Qt::LeftButton);
        if (launched.isEmpty()) {
            QVERIFY(m_platform->launches.isEmpty());
            QCOMPARE(m_platform->messages.size(), 1);
            QCOMPARE(m_platform->messages[0].text, QStringLiteral("是空的"));
            QCOMPARE(m_platform->messages[0].caption, QStringLiteral("^^"));
            QCOMPARE(m_platform->messages[0].flags, mb::Ok);
        } else {
            QCOMPARE(m_platform->launches, QStringList{launched});
        }
    }

    // Book files a process holds open, as the system sees them.
    QStringList openBooks(qint64 pid) const {
        QStringList books;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System))
            if (fd.symLinkTarget().startsWith(m_dir->path()))
                books << QFileInfo(fd.symLinkTarget()).fileName();
        return books;
    }

    // Both starts are the real program, started in the books' folder with relative names.
    void secondStartFindsTheFirst_data() {
        QTest::addColumn<QStringList>("firstArgs");
        QTest::addColumn<QStringList>("secondArgs");
        QTest::addColumn<QStringList>("openAtEnd");
        const QStringList book{QStringLiteral("book.mdb")};
        const QStringList other{QStringLiteral("other.mdb")};
        QTest::newRow("no files") << QStringList() << QStringList() << QStringList();
        QTest::newRow("first names a book") << book << QStringList() << book;
        QTest::newRow("second names a book") << book << other << other;
    }
    void secondStartFindsTheFirst() {
        QFETCH(QStringList, firstArgs);
        QFETCH(QStringList, secondArgs);
        QFETCH(QStringList, openAtEnd);
        test::createBookFile(m_dir->path());
        test::createBookFile(m_dir->path(), QStringLiteral("other.mdb"));
        const QString binary = QStringLiteral(QUILLBOX_BINARY);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->path());
        env.insert(QStringLiteral("TMPDIR"), m_dir->path());
        QProcess first;
        first.setProcessEnvironment(env);
        first.setWorkingDirectory(m_dir->path());
        first.start(binary, firstArgs);
        QVERIFY(first.waitForStarted());
        // Wait until the first instance listens, then start the second.
        const QString server = m_dir->filePath(QStringLiteral("Quillbox-%1").arg(getuid()));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QLocalSocket probe;
                probe.connectToServer(server);
                return probe.waitForConnected(100);
            }(),
            20000);
        QTRY_COMPARE(openBooks(first.processId()), firstArgs);
        QProcess second;
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(m_dir->path());
        second.start(binary, secondArgs);
        QVERIFY(second.waitForFinished(10000));
        const int code = second.exitCode();
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(code, 0);
        QTRY_COMPARE(openBooks(first.processId()), openAtEnd);
        first.kill();
        first.waitForFinished();
    }

    // The second start is a real program run in the books' folder; the running instance is
    // this test's window, so what it opened can be read.
    void laterStartOpensItsFile_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("error");
        QTest::newRow("no file") << QString() << QStringLiteral("Quillbox--book.mdb") << QString();
        QTest::newRow("relative name")
            << QStringLiteral("other.mdb") << QStringLiteral("Quillbox--other.mdb") << QString();
        QTest::newRow("absolute name") << QStringLiteral("<dir>/other.mdb")
                                       << QStringLiteral("Quillbox--other.mdb") << QString();
        QTest::newRow("line break in the name")
            << QStringLiteral("two\nlines.mdb") << QStringLiteral("Quillbox--two\nlines.mdb")
            << QString();
        QTest::newRow("the open book")
            << QStringLiteral("book.mdb") << QStringLiteral("Quillbox--book.mdb") << QString();
        QTest::newRow("access file")
            << QStringLiteral("access.mdb") << QStringLiteral("Quillbox--book.mdb")
            << QStringLiteral("是 Access 数据库文件");
        QTest::newRow("missing file")
            << QStringLiteral("gone.mdb") << QStringLiteral("Quillbox--book.mdb")
            << QStringLiteral("不存在");
    }
    void laterStartOpensItsFile() {
        QFETCH(QString, argument);
        QFETCH(QString, title);
        QFETCH(QString, error);
        const QString book = test::createBookFile(m_dir->path());
        test::createBookFile(m_dir->path(), QStringLiteral("other.mdb"));
        test::createBookFile(m_dir->path(), QStringLiteral("two\nlines.mdb"));
        QFile access(m_dir->filePath(QStringLiteral("access.mdb")));
        QVERIFY(access.open(QIODevice::WriteOnly));
        access.write(QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(2028, '\0'));
        access.close();
        remember(book);
        // Both instances find each other in TMPDIR; the other tests keep the usual one.
        const QByteArray tmp = qgetenv("TMPDIR");
        const auto restoreTmp = qScopeGuard([&] { qputenv("TMPDIR", tmp); });
        qputenv("TMPDIR", QFile::encodeName(m_dir->path()));
        SingleInstance instance(QStringLiteral("Quillbox"));
        auto form = showForm();
        followLaterStarts(instance, *form);
        QVERIFY(instance.listen());
        QSignalSpy activations(&instance, &SingleInstance::activated);

        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(m_dir->path());
        QStringList args;
        if (!argument.isEmpty())
            args << argument.replace(QStringLiteral("<dir>"), m_dir->path());
        second.start(QStringLiteral(QUILLBOX_BINARY), args);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(activations.count(), 1);
        QCOMPARE(form->windowTitle(), title);
        QCOMPARE(form->currentDatabasePath(),
                 m_dir->filePath(title.mid(QStringLiteral("Quillbox--").size())));
        QCOMPARE(form->store().connection().fileName(), form->currentDatabasePath());
        QCOMPARE(m_platform->messages.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty())
            QVERIFY2(m_platform->messages[0].text.contains(error),
                     qPrintable(m_platform->messages[0].text));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
