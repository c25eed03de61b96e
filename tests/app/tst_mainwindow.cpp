#include "app/laterstarts.h"
#include "app/sdiappform.h"
#include "books.h"
#include "platform/scriptedplatform.h"
#include "platform/singleinstance.h"
#include "settings/settingswindow.h"
#include "store/preferences.h"
#include "support/driver.h"
#include "testfiles.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <QApplication>
#include <QRegularExpression>

#include <array>
#include <csignal>
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

    // The texts of a window that are wider than their controls leave room for, as
    // "object: text (width > room)".
    static QStringList clippedTexts(const QWidget* window) {
        QStringList clipped;
        const auto check = [&](const QWidget* control, const QString& text, int room) {
            const int width = control->fontMetrics().horizontalAdvance(text);
            if (width > room)
                clipped << QStringLiteral("%1: %2 (%3 > %4)")
                               .arg(control->objectName(), text)
                               .arg(width)
                               .arg(room);
        };
        for (const QLabel* label : window->findChildren<QLabel*>())
            if (!label->wordWrap() && !label->text().isEmpty())
                check(label, label->text(), label->contentsRect().width());
        // A button's text keeps clear of its edge and of the focus frame inside it.
        for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
            if (!button->text().isEmpty())
                check(button, QString(button->text()).remove(u'&'), button->width() - 8);
        for (const QTabBar* tabs : window->findChildren<QTabBar*>())
            for (int i = 0; i < tabs->count(); ++i) {
                QStyleOptionTab tab;
                tab.initFrom(tabs);
                tab.shape = tabs->shape();
                tab.text = tabs->tabText(i);
                tab.rect = tabs->tabRect(i);
                const QRect room =
                    tabs->style()->subElementRect(QStyle::SE_TabBarTabText, &tab, tabs);
                check(tabs, tab.text, room.width());
            }
        return clipped;
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

    // Records of the contacts book in the file, read by a second connection.
    static int contactsInFile(const QString& file) {
        RecordStore store;
        store.openDatabase(file);
        return store.book(BookId::Contacts).recordCount();
    }

    // A copy of the program in the test's folder, so that its preferences file is the
    // test's, with the single-instance names in the test's folder too.
    QString programCopy() const {
        const QString copy = m_dir->filePath(QStringLiteral("quillbox"));
        if (!QFile::exists(copy))
            QFile::copy(QStringLiteral(QUILLBOX_BINARY), copy);
        return copy;
    }
    QProcessEnvironment programEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->path());
        env.insert(QStringLiteral("TMPDIR"), m_dir->path());
        return env;
    }
    bool programListens() const {
        QLocalSocket probe;
        probe.connectToServer(m_dir->filePath(QStringLiteral("Quillbox-%1").arg(getuid())));
        return probe.waitForConnected(100);
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
        // The designed size and place include the window system's frame.
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTRY_COMPARE(form->frameGeometry(), QRect(106, 94, 613, 505));
        QVERIFY(form->size() != QSize(613, 505));
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

    // The file items show the icon theme's images, and images of their own without a theme.
    void menuIcons_data() {
        QTest::addColumn<QString>("theme");
        QTest::newRow("theme") << QStringLiteral("quillbox-test");
        QTest::newRow("no such theme") << QStringLiteral("quillbox-none");
    }
    void menuIcons() {
        QFETCH(QString, theme);
        const QString themes = m_dir->filePath(QStringLiteral("icons"));
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::blue);
        QVERIFY(QDir().mkpath(themes + QStringLiteral("/quillbox-test/16x16/actions")));
        test::writeBytes(themes + QStringLiteral("/quillbox-test/index.theme"),
                         "[Icon Theme]\nName=T\nDirectories=16x16/actions\n\n"
                         "[16x16/actions]\nSize=16\nType=Fixed\n");
        const QStringList names = {QStringLiteral("document-new"), QStringLiteral("document-open"),
                                   QStringLiteral("document-save-as")};
        for (const QString& name : names)
            QVERIFY(image.save(themes +
                               QStringLiteral("/quillbox-test/16x16/actions/%1.png").arg(name)));
        const QStringList searchPaths = QIcon::themeSearchPaths();
        const QString themeName = QIcon::themeName();
        const auto restore = qScopeGuard([&] {
            QIcon::setThemeSearchPaths(searchPaths);
            QIcon::setThemeName(themeName);
        });
        QIcon::setThemeSearchPaths({themes});
        QIcon::setThemeName(theme);
        auto form = showForm();
        const bool themed = theme == QStringLiteral("quillbox-test");
        const char* items[] = {"FileNewItem", "FileOpenItem", "FileSaveAsItem"};
        for (int i = 0; i < 3; ++i) {
            const QIcon icon = action(form.get(), items[i])->icon();
            QVERIFY2(!icon.pixmap(16).isNull(), items[i]);
            QCOMPARE(icon.name(), themed ? names[i] : QString());
        }
    }

    // Every text of every window shows whole in the platform's fonts, at any scale (this test
    // also runs at QT_SCALE_FACTOR=2): labels, buttons, tabs and the status line.
    void noTextCutOff() {
        remember(test::createBookFile(m_dir->path()));
        auto form = showForm();
        action(form.get(), "N8")->trigger();
        auto settings = std::make_unique<Tfrmsetting1>(form.get());
        settings->show();
        QStringList clipped;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible())
                clipped << clippedTexts(window);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
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
        QCOMPARE(LoadPreferences(ini()).databasePath, file);
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

    // The error box shows the text as written; a sentence ending in Chinese punctuation gets
    // no "." after it. Once the file is mended, 打开数据库 on the same path opens it.
    void badRememberedFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error"); // %1: the file
        const QString notOurs = QStringLiteral("“%1”不是 Quillbox 数据库文件.");
        QTest::newRow("not a database") << QByteArray("plain text") << notOurs;
        QTest::newRow("empty") << QByteArray() << notOurs;
        QTest::newRow("access file")
            << QByteArray(4, '\0') + QByteArray("Standard Jet DB") + QByteArray(200, '\0')
            << QStringLiteral("“%1”是 Access 数据库文件。Quillbox 只能打开它自己的数据库文件，"
                              "用“文件 → 导入 Access 数据库…”可以把它的记录导入新的数据库。");
    }
    void badRememberedFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const QString file = m_dir->filePath(QStringLiteral("bad.mdb"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        remember(file);
        auto form = showForm();
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(m_platform->messages[0].text, error.arg(file));
        QCOMPARE(m_platform->messages[0].caption, QStringLiteral("Quillbox"));
        QCOMPARE(m_platform->messages[0].flags, mb::IconStop);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox"));
        QVERIFY(!form->store().isOpen());
        QVERIFY(!button(form.get(), "LbButton1")->isEnabled());
        // Not opened again at the next start without the user's say.
        QCOMPARE(form->currentDatabasePath(), QString());
        QCOMPARE(LoadPreferences(ini()).databasePath, QString());
        {
            QFile again(file);
            QVERIFY(again.open(QIODevice::ReadOnly));
            QCOMPARE(again.readAll(), bytes);
        }
        // Mended since, the same file opens when the user chooses it.
        QVERIFY(QFile::remove(file));
        QCOMPARE(test::createBookFile(m_dir->path(), QStringLiteral("bad.mdb")), file);
        m_platform->fileAnswers.enqueue(file);
        action(form.get(), "FileOpenItem")->trigger();
        QVERIFY(form->store().isOpen());
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--bad.mdb"));
        QCOMPARE(m_platform->messages.size(), 1);
        form.reset();
        QCOMPARE(LoadPreferences(ini()).databasePath, file);
    }

    // A remembered book missing at the start is not reported; once it is back, 打开数据库
    // opens it though its name is the one remembered.
    void rememberedFileMissingAtStart() {
        const QString file = m_dir->filePath(QStringLiteral("later.mdb"));
        remember(file);
        auto form = showForm();
        QVERIFY(m_platform->messages.isEmpty());
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox"));
        QCOMPARE(test::createBookFile(m_dir->path(), QStringLiteral("later.mdb")), file);
        m_platform->fileAnswers.enqueue(file);
        test::Driver(*form).choose(QStringLiteral("打开数据库"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--later.mdb"));
        QVERIFY(form->store().isOpen());
    }

    // The database commands of 文件, chosen with the 网址 book at its second record: the
    // window's title, the 网址 grid with its current row (a book opened again starts at its
    // first), the book remembered for the next start and the message box, if any.
    void databaseCommands_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("chosen"); // empty: the dialog is cancelled
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("message"); // a part of it
        const auto row = [](const char* tag, const char* item, const char* chosen, const char* book,
                            const char* rows, const char* message = "") {
            QTest::newRow(tag) << QString::fromUtf8(item) << QString::fromUtf8(chosen)
                               << QString::fromUtf8(book) << QString::fromUtf8(rows)
                               << QString::fromUtf8(message);
        };
        row("new", "新建数据库", "notes", "notes.mdb", "");
        row("new, other extension", "新建数据库", "notes.MDB", "notes.MDB.mdb", "");
        row("new, .mdb", "新建数据库", "a.mdb", "a.mdb", "");
        row("new onto a file", "新建数据库", "other.mdb", "book.mdb", "a,[b]", "已经存在");
        row("new where none can be", "新建数据库", "text.mdb/sub/new", "book.mdb", "a,[b]",
            "数据库创建失败！");
        row("new, cancelled", "新建数据库", "", "book.mdb", "a,[b]");
        row("open", "打开数据库", "other.mdb", "other.mdb", "");
        row("open the open one", "打开数据库", "book.mdb", "book.mdb", "a,[b]");
        row("open no database", "打开数据库", "text.mdb", "book.mdb", "a,[b]",
            "不是 Quillbox 数据库文件");
        row("open, cancelled", "打开数据库", "", "book.mdb", "a,[b]");
        row("backup", "备份数据库", "copy", "copy.mdb", "[a],b");
        row("backup onto a file", "备份数据库", "other.mdb", "book.mdb", "a,[b]", "other.mdb");
    }
    void databaseCommands() {
        QFETCH(QString, item);
        QFETCH(QString, chosen);
        QFETCH(QString, title);
        QFETCH(QString, rows);
        QFETCH(QString, message);
        const QString book = test::createBookFile(m_dir->path());
        test::createBookFile(m_dir->path(), QStringLiteral("other.mdb"));
        test::writeBytes(m_dir->filePath(QStringLiteral("text.mdb")), "x");
        {
            RecordStore store;
            store.openDatabase(book);
            for (const char* key : {"a", "b"})
                test::addRecord(store.book(BookId::Websites), {QString::fromLatin1(key)});
        }
        remember(book);
        auto form = showForm();
        test::Driver user(*form);
        user.showBook(QStringLiteral("网址"));
        user.click(QStringLiteral(">|"));
        if (!chosen.isEmpty())
            m_platform->fileAnswers.enqueue(m_dir->filePath(chosen));
        user.choose(item);
        QCOMPARE(m_platform->fileRequests.last().filter, QStringLiteral("ACESS数据库文件|*.mdb"));
        QCOMPARE(m_platform->fileRequests.last().confirmOverwrite,
                 item != QStringLiteral("打开数据库"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--") + title);
        QCOMPARE(user.gridRows(), rows);
        QCOMPARE(form->store().connection().fileName(), m_dir->filePath(title));
        QCOMPARE(LoadPreferences(ini()).databasePath, m_dir->filePath(title));
        QCOMPARE(m_platform->messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(m_platform->messages[0].text.contains(message),
                     qPrintable(m_platform->messages[0].text));
        QCOMPARE(test::readBytes(m_dir->filePath(QStringLiteral("text.mdb"))), QByteArray("x"));
    }

    // An Access file comes over into a new database, through 打开数据库 or the menu item; the
    // new database is then the open one and the report can be saved as text.
    void importAccessFile_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("answer"); // to the offer; 0: no offer is made
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("imported");
        const QString offer = QStringLiteral("“%1”是 Access 数据库文件，Quillbox 不能直接打开它。\n"
                                             "要把其中的记录导入到一个新的 Quillbox 数据库吗？"
                                             "（Access 文件本身不会被改动。）");
        const auto row = [](const char* tag, const char* item, int answer, const char* chosen,
                            const QString& message, bool imported) {
            QTest::newRow(tag) << QString::fromLatin1(item) << answer << QString::fromUtf8(chosen)
                               << message << imported;
        };
        row("open, yes", "FileOpenItem", mb::IdYes, "old-quillbox", offer, true);
        row("open, no", "FileOpenItem", mb::IdNo, "", offer, false);
        row("menu", "JetImportItem", 0, "new.mdb", QString(), true);
        row("onto an existing file", "JetImportItem", 0, "book.mdb",
            QStringLiteral("文件“%1”已经存在，没有新建数据库。"), false);
        row("no mdbtools", "JetImportItem", 0, "new.mdb",
            QStringLiteral("没有找到读取 Access 数据库所需的程序“mdb-tables”，请先安装软件包 "
                           "mdbtools（例如：sudo apt-get install mdbtools）后再导入."),
            false);
    }
    void importAccessFile() {
        QFETCH(QString, item);
        QFETCH(int, answer);
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        QFETCH(bool, imported);
        const QString book = test::createBookFile(m_dir->path());
        remember(book);
        const QString old = m_dir->filePath(QStringLiteral("old.mdb"));
        QVERIFY(QFile::copy(QStringLiteral(QB_JET_DATA "/books.mdb"), old));
        const QByteArray oldBytes = test::readBytes(old);
        auto form = showForm();
        const QString target = m_dir->filePath(
            chosen.endsWith(QStringLiteral(".mdb")) ? chosen : chosen + QStringLiteral(".mdb"));
        m_platform->fileAnswers << old << m_dir->filePath(chosen);
        if (answer)
            m_platform->answers << answer;
        const QByteArray path = qgetenv("PATH");
        if (QTest::currentDataTag() == QByteArray("no mdbtools"))
            qputenv("PATH", m_dir->path().toUtf8());
        action(form.get(), qPrintable(item))->trigger();
        qputenv("PATH", path);
        if (message.isEmpty()) {
            QCOMPARE(m_platform->messages.size(), 0);
        } else {
            QCOMPARE(m_platform->messages.size(), 1);
            const QString named = message.contains(QStringLiteral("已经存在")) ? target : old;
            QCOMPARE(m_platform->messages[0].text,
                     message.contains(QStringLiteral("%1")) ? message.arg(named) : message);
        }
        if (answer != mb::IdNo) {
            QCOMPARE(m_platform->fileRequests.last().initialName,
                     m_dir->filePath(QStringLiteral("old-quillbox.mdb")));
            QCOMPARE(m_platform->fileRequests.last().kind, FileDialogRequest::Kind::Save);
        }
        QCOMPARE(test::readBytes(old), oldBytes);
        auto* report = form->findChild<QDialog*>(QStringLiteral("JetImportReport"));
        if (!imported) {
            QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--book.mdb"));
            QCOMPARE(form->currentDatabasePath(), book);
            QVERIFY(!report);
            QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{QStringLiteral("book.mdb"), QStringLiteral("old.mdb"),
                                  QStringLiteral("quillbox.ini")}));
            return;
        }
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--") + QFileInfo(target).fileName());
        QCOMPARE(form->currentDatabasePath(), target);
        QCOMPARE(form->store().connection().fileName(), target);
        auto* grid = form->findChild<DBGrid*>(QStringLiteral("DBGrid1"));
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(grid->model()->index(0, 0).data().toString(), QStringLiteral("张三"));
        QCOMPARE(form->findChild<DBGrid*>(QStringLiteral("DBGrid3"))->model()->rowCount(), 2);
        QVERIFY(button(form.get(), "LbButton1")->isEnabled());
        QVERIFY(report && report->isVisible());
        const QString lines = QStringLiteral("Access 数据库：%1\r\n新的 Quillbox 数据库：%2\r\n\r\n"
                                             "联系人（lianxi1）：导入 3 条记录\r\n"
                                             "网址（wzsk1）：导入 2 条记录\r\n"
                                             "序列号（xuliehao1）：导入 2 条记录\r\n\r\n"
                                             "每条记录都已原样导入。\r\n")
                                  .arg(old, target);
        QCOMPARE(report->findChild<QPlainTextEdit*>()->toPlainText(),
                 QString(lines).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).chopped(1));
        m_platform->fileAnswers << m_dir->filePath(QStringLiteral("报告"));
        QTest::mouseClick(report->findChild<QPushButton*>(QStringLiteral("SaveReportButton")),
                          Qt::LeftButton);
        QCOMPARE(m_platform->fileRequests.last().filter, QStringLiteral("文本文件|*.txt"));
        QCOMPARE(test::readBytes(m_dir->filePath(QStringLiteral("报告.txt"))),
                 test::gb18030(lines));
    }

    // A record being typed is left as a move leaves it before any command closes the books or
    // the program, or reads the book (exports, navigation panel): posted when it can be;
    // otherwise its error shows and the command stops.
    void typedRecordSurvivesClosingTheBooks_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("fromTray");
        QTest::addColumn<bool>("withKey");
        const std::pair<const char*, bool> commands[] = {{"FileSaveAsItem", false},
                                                         {"FileOpenItem", false},
                                                         {"FileNewItem", false},
                                                         {"FileExitItem", false},
                                                         {"N13", true},
                                                         {"close box", false},
                                                         {"N6", false},
                                                         {"N8", false},
                                                         {"ExportContactsCsv", false},
                                                         {"Ctrl+Q", false},
                                                         {"later start", false}};
        for (const auto& [command, fromTray] : commands) {
            QTest::addRow("%s, posted", command)
                << QString::fromLatin1(command) << fromTray << true;
            QTest::addRow("%s, refused", command)
                << QString::fromLatin1(command) << fromTray << false;
        }
    }
    void typedRecordSurvivesClosingTheBooks() {
        QFETCH(QString, command);
        QFETCH(bool, fromTray);
        QFETCH(bool, withKey);
        const QString file = test::createBookFile(m_dir->path());
        const QString other = test::createBookFile(m_dir->path(), QStringLiteral("other.mdb"));
        remember(file);
        auto form = showForm();
        QTest::mouseClick(button(form.get(), "LbButton1"), Qt::LeftButton);
        if (withKey)
            QTest::keyClicks(form->findChild<QLineEdit*>(QStringLiteral("DBname")),
                             QStringLiteral("zl"));
        QTest::keyClicks(form->findChild<QLineEdit*>(QStringLiteral("DBemail")),
                         QStringLiteral("z@l.cn"));
        form->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(2);
        if (fromTray)
            form->hide();
        const QString target = command == QStringLiteral("FileOpenItem")
                                   ? other
                                   : m_dir->filePath(QStringLiteral("new.mdb"));
        m_platform->fileAnswers.enqueue(target);
        if (command == QStringLiteral("close box")) {
            form->close();
        } else if (command == QStringLiteral("later start")) {
            form->OpenDatabaseFile(other); // what a later start's request names reaches
        } else if (command == QStringLiteral("Ctrl+Q")) {
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
            QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        } else {
            action(form.get(), command.toLatin1().constData())->trigger();
        }
        if (withKey) {
            QVERIFY(m_platform->messages.isEmpty());
            QCOMPARE(contactsInFile(file), 1);
            QCOMPARE(form->store().book(BookId::Contacts).state() == DatasetState::Insert, false);
            QVERIFY(!button(form.get(), "LbButton28")->isEnabled());
            QVERIFY(!button(form.get(), "LbButton29")->isEnabled());
            return;
        }
        // Refused: the record stays on screen, in editing, and the command does nothing.
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(m_platform->messages[0].text, QStringLiteral("ADOTable1: 姓名不能为空."));
        QVERIFY(m_platform->fileRequests.isEmpty());
        QVERIFY(form->isVisible());
        QCOMPARE(form->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->currentIndex(), 0);
        QCOMPARE(form->store().book(BookId::Contacts).state(), DatasetState::Insert);
        QVERIFY(button(form.get(), "LbButton28")->isEnabled());
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox--book.mdb"));
        QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("DBemail"))->text(),
                 QStringLiteral("z@l.cn"));
        // At the end nobody is asked: the refused record is not posted and the end goes on.
        form.reset();
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(contactsInFile(file), 0);
        QCOMPARE(LoadPreferences(ini()).databasePath, file);
    }

    void endWithoutAnyonePostsTheRecord() {
        const QString file = test::createBookFile(m_dir->path());
        remember(file);
        auto form = showForm();
        form->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        QTest::mouseClick(button(form.get(), "LbButton7"), Qt::LeftButton);
        QTest::keyClicks(form->findChild<QLineEdit*>(QStringLiteral("DBwangzhiname")),
                         QStringLiteral("site"));
        form->endUnattended();
        form->close();
        form.reset();
        QVERIFY(m_platform->messages.isEmpty());
        RecordStore store;
        store.openDatabase(file);
        QCOMPARE(store.book(BookId::Websites).recordCount(), 1);
    }

    // 导航 and 显示导航面板 stay disabled while a panel is shown, whatever the file commands do.
    void oneNavigationPanelAtATime() {
        const QString file = test::createBookFile(m_dir->path());
        const QString other = test::createBookFile(m_dir->path(), QStringLiteral("other.mdb"));
        remember(file);
        auto form = showForm();
        action(form.get(), "N8")->trigger();
        const auto navigationItems = [&] {
            return QStringList(enabledMenuItems(form.get()))
                .filter(QRegularExpression(QStringLiteral("^N(8|14)$")));
        };
        QVERIFY(navigationItems().isEmpty());
        m_platform->fileAnswers.enqueue(other);
        action(form.get(), "FileOpenItem")->trigger();
        QVERIFY(navigationItems().isEmpty());
        m_platform->fileAnswers.enqueue(m_dir->filePath(QStringLiteral("new.mdb")));
        action(form.get(), "FileNewItem")->trigger();
        QVERIFY(navigationItems().isEmpty());
        QCOMPARE(form->currentDatabasePath(), m_dir->filePath(QStringLiteral("new.mdb")));
        QWidget* panel = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == QStringLiteral("frmdaohang") && window->isVisible())
                panel = window;
        QVERIFY(panel);
        panel->close();
        QCOMPARE(navigationItems(), (QStringList{QStringLiteral("N8"), QStringLiteral("N14")}));
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
        m_platform->fileAnswers.enqueue(m_dir->filePath(QStringLiteral("sites")));
        action(form.get(), "N11")->trigger();
        QCOMPARE(m_platform->fileRequests.last().filter, QStringLiteral("文本文件|*.txt"));
        QVERIFY(test::readBytes(m_dir->filePath(QStringLiteral("sites.txt")))
                    .startsWith(test::gb18030(QStringLiteral("[我的网址]\r\n"))));
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
        QTest::newRow("blanks only home page")
            << QStringLiteral("DBzhuye") << QStringLiteral("SpeedButton1") << QStringLiteral("  ")
            << QString();
        QTest::newRow("blanks only mail")
            << QStringLiteral("DBemail") << QStringLiteral("SpeedButton2") << QStringLiteral(" ")
            << QString();
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
            if (fd.symLinkTarget().startsWith(m_dir->path()) &&
                fd.symLinkTarget().endsWith(QStringLiteral(".mdb")))
                books << QFileInfo(fd.symLinkTarget()).fileName();
        return books;
    }

    // One instance, whether the second start comes once the first listens or at the same
    // moment; the one that stays keeps listening and opens the book the second one named.
    // Both starts are the real program, started in the books' folder with relative names.
    void secondStartFindsTheFirst_data() {
        QTest::addColumn<bool>("together");
        QTest::addColumn<QStringList>("firstArgs");
        QTest::addColumn<QStringList>("secondArgs");
        QTest::addColumn<QStringList>("openAtEnd");
        const QStringList none;
        const QStringList book{QStringLiteral("book.mdb")};
        const QStringList other{QStringLiteral("other.mdb")};
        QTest::newRow("after the first listens") << false << none << none << none;
        QTest::newRow("at the same moment") << true << none << none << none;
        QTest::newRow("first names a book") << false << book << none << book;
        QTest::newRow("second names a book") << false << book << other << other;
    }
    void secondStartFindsTheFirst() {
        QFETCH(bool, together);
        QFETCH(QStringList, firstArgs);
        QFETCH(QStringList, secondArgs);
        QFETCH(QStringList, openAtEnd);
        test::createBookFile(m_dir->path());
        test::createBookFile(m_dir->path(), QStringLiteral("other.mdb"));
        std::array<QProcess, 2> starts;
        for (QProcess& start : starts) {
            start.setProcessEnvironment(programEnvironment());
            start.setWorkingDirectory(m_dir->path());
        }
        starts[0].start(programCopy(), firstArgs);
        if (!together) {
            QTRY_VERIFY_WITH_TIMEOUT(programListens(), 20000);
            QTRY_COMPARE(openBooks(starts[0].processId()), firstArgs);
        }
        starts[1].start(programCopy(), secondArgs);
        for (QProcess& start : starts)
            QVERIFY(start.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(starts[0].state() != QProcess::Running ||
                                     starts[1].state() != QProcess::Running,
                                 20000);
        QTest::qWait(300);
        const int running = starts[0].state() == QProcess::Running ? 0 : 1;
        QProcess& ended = starts[1 - running];
        QCOMPARE(starts[running].state(), QProcess::Running);
        QCOMPARE(ended.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended.exitCode(), 0);
        if (!together)
            QCOMPARE(running, 0);
        QVERIFY(programListens());
        QTRY_COMPARE(openBooks(starts[running].processId()), openAtEnd);
        starts[running].kill();
        starts[running].waitForFinished();
    }

    // Logout, shutdown or `kill` end the program in order: the preferences are written.
    void terminationSignalEndsInOrder_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void terminationSignalEndsInOrder() {
        QFETCH(int, signal);
        QProcess program;
        program.setProcessEnvironment(programEnvironment());
        program.start(programCopy(), {});
        QTRY_VERIFY_WITH_TIMEOUT(programListens(), 20000);
        const QString preferences = m_dir->filePath(QStringLiteral("quillbox.ini"));
        QVERIFY(!QFile::exists(preferences));
        QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile::exists(preferences));
    }

    // The second start is a real program run in the books' folder; the running instance is
    // this test's window, so what it opened can be read.
    void laterStartOpensItsFile_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("tokenVariable"); // set for the later start
        QTest::addColumn<QString>("token");
        QTest::newRow("no file") << QString() << QStringLiteral("Quillbox--book.mdb") << QString()
                                 << QString() << QString();
        QTest::newRow("relative name")
            << QStringLiteral("other.mdb") << QStringLiteral("Quillbox--other.mdb") << QString()
            << QString() << QString();
        QTest::newRow("absolute name")
            << QStringLiteral("<dir>/other.mdb") << QStringLiteral("Quillbox--other.mdb")
            << QString() << QString() << QString();
        QTest::newRow("line break in the name")
            << QStringLiteral("two\nlines.mdb") << QStringLiteral("Quillbox--two\nlines.mdb")
            << QString() << QString() << QString();
        QTest::newRow("the open book")
            << QStringLiteral("book.mdb") << QStringLiteral("Quillbox--book.mdb") << QString()
            << QString() << QString();
        QTest::newRow("access file")
            << QStringLiteral("access.mdb") << QStringLiteral("Quillbox--book.mdb")
            << QStringLiteral("是 Access 数据库文件") << QString() << QString();
        QTest::newRow("missing file")
            << QStringLiteral("gone.mdb") << QStringLiteral("Quillbox--book.mdb")
            << QStringLiteral("不存在") << QString() << QString();
        QTest::newRow("Wayland token")
            << QString() << QStringLiteral("Quillbox--book.mdb") << QString()
            << QStringLiteral("XDG_ACTIVATION_TOKEN") << QStringLiteral("kwin-1234_TIME5");
        QTest::newRow("startup id, with a file")
            << QStringLiteral("other.mdb") << QStringLiteral("Quillbox--other.mdb") << QString()
            << QStringLiteral("DESKTOP_STARTUP_ID") << QStringLiteral("openbox-7-x_TIME42");
    }
    void laterStartOpensItsFile() {
        QFETCH(QString, argument);
        QFETCH(QString, title);
        QFETCH(QString, error);
        QFETCH(QString, tokenVariable);
        QFETCH(QString, token);
        qunsetenv("XDG_ACTIVATION_TOKEN");
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
        QVERIFY(!instance.notifyRunningInstance()); // this test's window is the first start
        auto form = showForm();
        followLaterStarts(instance, *form);
        QVERIFY(instance.listen());
        QSignalSpy activations(&instance, &SingleInstance::activated);

        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
        env.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
        if (!tokenVariable.isEmpty())
            env.insert(tokenVariable, token);
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(m_dir->path());
        QStringList args;
        if (!argument.isEmpty())
            args << argument.replace(QStringLiteral("<dir>"), m_dir->path());
        second.start(QStringLiteral(QUILLBOX_BINARY), args);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(activations.count(), 1);
        QCOMPARE(activations[0][0].toString(), token);
        QCOMPARE(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"), token);
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
