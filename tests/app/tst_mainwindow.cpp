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
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
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

#include <array>
#include <csignal>
#include <unistd.h>

using namespace qb;
using namespace Qt::StringLiterals;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString ini() const { return path(u"quillbox.ini"_s); }
    void remember(const QString& database) {
        Preferences prefs;
        prefs.databasePath = database;
        prefs.histories[0] = {u"张"_s};
        SavePreferences(ini(), prefs);
    }
    // A form on the remembered book, or on a new book.mdb.
    std::unique_ptr<TSDIAppForm> showForm(bool withBook = true) {
        if (withBook)
            remember(test::createBookFile(m_dir->path()));
        auto form = std::make_unique<TSDIAppForm>(ini());
        form->show();
        return form;
    }
    template <class T = QWidget> static T* child(QObject* form, const QString& name) {
        return form->findChild<T*>(name);
    }
    static QAction* action(QObject* form, const QString& name) {
        return child<QAction>(form, name);
    }
    static bool enabled(QObject* form, const QString& name) {
        return child<TLbButton>(form, name)->isEnabled();
    }
    QString said() const {
        QStringList texts;
        for (const auto& message : m_platform->messages)
            texts << message.text;
        return texts.join(u'\n');
    }
    static QStringList enabledMenuItems(QObject* form) {
        QStringList names;
        for (const char* item : {"N6", "N11", "N12", "FileSaveAsItem", "N8", "N14", "IE1"})
            if (action(form, QString::fromLatin1(item))->isEnabled())
                names << QString::fromLatin1(item);
        return names;
    }
    static int records(const QString& file, BookId book = BookId::Contacts) {
        RecordStore store;
        store.openDatabase(file);
        return store.book(book).recordCount();
    }

    // The texts of a window wider than their controls leave room for.
    static QStringList clippedTexts(const QWidget* window) {
        QStringList clipped;
        const auto check = [&](const QWidget* control, const QString& text, int room) {
            if (control->fontMetrics().horizontalAdvance(text) > room)
                clipped << control->objectName() + u": "_s + text;
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
                check(tabs, tab.text,
                      tabs->style()->subElementRect(QStyle::SE_TabBarTabText, &tab, tabs).width());
            }
        return clipped;
    }

    // A copy of the program in the test's folder, so that its preferences file and its
    // single-instance names are the test's.
    QString programCopy() const {
        if (!QFile::exists(path(u"quillbox"_s)))
            QFile::copy(QStringLiteral(QUILLBOX_BINARY), path(u"quillbox"_s));
        return path(u"quillbox"_s);
    }
    QProcessEnvironment programEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, m_dir->path());
        env.insert(u"TMPDIR"_s, m_dir->path());
        return env;
    }
    bool programListens() const {
        QLocalSocket probe;
        probe.connectToServer(path(u"Quillbox-%1"_s.arg(getuid())));
        return probe.waitForConnected(100);
    }
    // Book files a process holds open, as the system sees them.
    QStringList openBooks(qint64 pid) const {
        QStringList books;
        for (const QFileInfo& fd :
             QDir(u"/proc/%1/fd"_s.arg(pid)).entryInfoList(QDir::Files | QDir::System))
            if (fd.symLinkTarget().startsWith(m_dir->path()) &&
                fd.symLinkTarget().endsWith(u".mdb"_s))
                books << QFileInfo(fd.symLinkTarget()).fileName();
        return books;
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
    }
    void cleanup() { m_platform.reset(), m_dir.reset(); }

    // A start without a book to open: the error box shows the text as written (a sentence
    // ending in Chinese punctuation gets no "." after it); the book is not opened again at the
    // next start without the user's say, but opens once mended and chosen in 打开数据库.
    void startWithoutABook_data() {
        QTest::addColumn<bool>("remembered");
        QTest::addColumn<QByteArray>("bytes"); // null: no file
        QTest::addColumn<QString>("error");    // %1: the file
        const QString notOurs = u"“%1”不是 Quillbox 数据库文件."_s;
        QTest::newRow("no preferences") << false << QByteArray() << QString();
        QTest::newRow("missing") << true << QByteArray() << QString();
        QTest::newRow("not a database") << true << QByteArray("plain text") << notOurs;
        QTest::newRow("empty") << true << QByteArray("") << notOurs;
        QTest::newRow("access file")
            << true << QByteArray(4, '\0') + QByteArray("Standard Jet DB") + QByteArray(200, '\0')
            << u"“%1”是 Access 数据库文件。Quillbox 只能打开它自己的数据库文件，"
               "用“文件 → 导入 Access 数据库…”可以把它的记录导入新的数据库。"_s;
    }
    void startWithoutABook() {
        QFETCH(bool, remembered);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const QString file = path(u"bad.mdb"_s);
        if (!bytes.isNull())
            test::writeBytes(file, bytes);
        if (remembered)
            remember(file);
        auto form = showForm(false);
        // The designed size and place include the window system's frame.
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTRY_COMPARE(form->frameGeometry(), QRect(106, 94, 613, 505));
        QCOMPARE(said(), QString(error).replace(u"%1"_s, file));
        for (const auto& message : m_platform->messages)
            QVERIFY(message.caption == u"Quillbox"_s && message.flags == mb::IconStop);
        QCOMPARE(form->windowTitle(), u"Quillbox"_s);
        QVERIFY(!form->store().isOpen());
        QVERIFY(enabledMenuItems(form.get()).isEmpty());
        for (const char* name : {"LbButton1", "LbButton5", "LbButton16", "LbButton28", "LbButton29",
                                 "LbButton34", "LbButton13"})
            QVERIFY2(!enabled(form.get(), QString::fromLatin1(name)), name);
        QCOMPARE(child<QToolButton>(form.get(), u"SpeedButton1"_s)->text(), u"访问"_s);
        QCOMPARE(child<QTabWidget>(form.get(), u"PageControl1"_s)->currentIndex(), 0);
        QCOMPARE(form->currentDatabasePath(), remembered && bytes.isNull() ? file : QString());
        if (!error.isEmpty()) {
            QCOMPARE(LoadPreferences(ini()).databasePath, QString());
            QCOMPARE(test::readBytes(file), bytes);
        }
        if (remembered) {
            QFile::remove(file);
            QCOMPARE(test::createBookFile(m_dir->path(), u"bad.mdb"_s), file);
            m_platform->fileAnswers.enqueue(file);
            test::Driver(*form).choose(u"打开数据库"_s);
            QCOMPARE(form->windowTitle(), u"Quillbox--bad.mdb"_s);
            QVERIFY(form->store().isOpen());
        }
        form.reset();
        QVERIFY(QFile::exists(ini())); // the end writes the preferences
        QCOMPARE(LoadPreferences(ini()).databasePath, remembered ? file : QString());
    }

    void rememberedDatabaseOpensAtStart() {
        const QString file = test::createBookFile(m_dir->path());
        {
            RecordStore store;
            store.openDatabase(file);
            test::addRecord(store.book(BookId::Contacts), {u"张三"_s, u"z@example.com"_s});
        }
        remember(file);
        auto form = showForm(false);
        QCOMPARE(form->windowTitle(), u"Quillbox--book.mdb"_s);
        QCOMPARE(LoadPreferences(ini()).databasePath, file);
        QCOMPARE(enabledMenuItems(form.get()).size(), 7);
        QVERIFY(enabled(form.get(), u"LbButton1"_s) && !enabled(form.get(), u"LbButton28"_s));
        QCOMPARE(test::Driver(*form).gridRows(), u"[张三]"_s);
        QCOMPARE(child<QLineEdit>(form.get(), u"DBemail"_s)->text(), u"z@example.com"_s);
        QCOMPARE(child<QComboBox>(form.get(), u"cmlianxi1zhao"_s)->itemText(0), u"张"_s);
        for (const char* panel : {"sb1Panel0", "sb1Panel3", "sb2Panel0"})
            QCOMPARE(child<QLabel>(form.get(), QString::fromLatin1(panel))->text(), QString());
        // Standard layout: the command column at 386 on every page.
        QCOMPARE(child(form.get(), u"LbButton7"_s)->geometry().topLeft().x(), 386);
        QCOMPARE(child(form.get(), u"LbButton7"_s)->size(), QSize(70, 23));
        QCOMPARE(child(form.get(), u"LbButton26"_s)->size(), QSize(28, 21));
    }

    // The file items show the icon theme's images, and images of their own without a theme.
    void menuIcons_data() {
        QTest::addColumn<QString>("theme");
        QTest::newRow("theme") << u"quillbox-test"_s;
        QTest::newRow("no such theme") << u"quillbox-none"_s;
    }
    void menuIcons() {
        QFETCH(QString, theme);
        const QString dir = path(u"icons/quillbox-test"_s);
        QVERIFY(QDir().mkpath(dir + u"/16x16/actions"_s));
        test::writeBytes(dir + u"/index.theme"_s,
                         "[Icon Theme]\nName=T\nDirectories=16x16/actions\n"
                         "\n[16x16/actions]\nSize=16\nType=Fixed\n");
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::blue);
        const QStringList names = {u"document-new"_s, u"document-open"_s, u"document-save-as"_s};
        for (const QString& name : names)
            QVERIFY(image.save(dir + u"/16x16/actions/%1.png"_s.arg(name)));
        const auto restore =
            qScopeGuard([paths = QIcon::themeSearchPaths(), name = QIcon::themeName()] {
                QIcon::setThemeSearchPaths(paths);
                QIcon::setThemeName(name);
            });
        QIcon::setThemeSearchPaths({path(u"icons"_s)});
        QIcon::setThemeName(theme);
        auto form = showForm();
        const char* items[] = {"FileNewItem", "FileOpenItem", "FileSaveAsItem"};
        for (int i = 0; i < 3; ++i) {
            const QIcon icon = action(form.get(), QString::fromLatin1(items[i]))->icon();
            QVERIFY2(!icon.pixmap(16).isNull(), items[i]);
            QCOMPARE(icon.name(), theme == u"quillbox-test"_s ? names[i] : QString());
        }
    }

    // Every text of every window shows whole in the platform's fonts, at any scale (this test
    // also runs at QT_SCALE_FACTOR=2): labels, buttons, tabs and the status line.
    void noTextCutOff() {
        auto form = showForm();
        action(form.get(), u"N8"_s)->trigger();
        Tfrmsetting1 settings(form.get());
        settings.show();
        QStringList clipped;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible())
                clipped << clippedTexts(window);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u", "_s)));
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
        test::createBookFile(m_dir->path(), u"other.mdb"_s);
        test::writeBytes(path(u"text.mdb"_s), "x");
        const QString book = test::createBookFile(m_dir->path());
        {
            RecordStore store;
            store.openDatabase(book);
            for (const char* key : {"a", "b"})
                test::addRecord(store.book(BookId::Websites), {QString::fromLatin1(key)});
        }
        remember(book);
        auto form = showForm(false);
        test::Driver user(*form);
        user.showBook(u"网址"_s);
        user.click(u">|"_s);
        if (!chosen.isEmpty())
            m_platform->fileAnswers.enqueue(path(chosen));
        user.choose(item);
        QCOMPARE(m_platform->fileRequests.last().filter, u"ACESS数据库文件|*.mdb"_s);
        QCOMPARE(m_platform->fileRequests.last().confirmOverwrite, item != u"打开数据库"_s);
        QCOMPARE(form->windowTitle(), u"Quillbox--"_s + title);
        QCOMPARE(user.gridRows(), rows);
        QCOMPARE(form->store().connection().fileName(), path(title));
        QCOMPARE(LoadPreferences(ini()).databasePath, path(title));
        QVERIFY2(message.isEmpty() ? said().isEmpty() : said().contains(message),
                 qPrintable(said()));
        QCOMPARE(m_platform->messages.size(), message.isEmpty() ? 0 : 1);
        QCOMPARE(test::readBytes(path(u"text.mdb"_s)), QByteArray("x"));
    }

    // An Access file comes over into a new database, through 打开数据库 or the menu item; the
    // new database is then the open one and the report can be saved as text.
    void importAccessFile_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("answer"); // to the offer; 0: no offer is made
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("message"); // %1: the Access file, %2: the chosen one
        const QString offer = u"“%1”是 Access 数据库文件，Quillbox 不能直接打开它。\n"
                              "要把其中的记录导入到一个新的 Quillbox 数据库吗？"
                              "（Access 文件本身不会被改动。）"_s;
        QTest::newRow("open, yes")
            << u"FileOpenItem"_s << int(mb::IdYes) << u"old-quillbox"_s << offer;
        QTest::newRow("open, no") << u"FileOpenItem"_s << int(mb::IdNo) << QString() << offer;
        QTest::newRow("menu") << u"JetImportItem"_s << 0 << u"new.mdb"_s << QString();
        QTest::newRow("onto an existing file")
            << u"JetImportItem"_s << 0 << u"book.mdb"_s << u"文件“%2”已经存在，没有新建数据库。"_s;
        QTest::newRow("no mdbtools")
            << u"JetImportItem"_s << 0 << u"new.mdb"_s
            << u"没有找到读取 Access 数据库所需的程序“mdb-tables”，请先安装软件包 "
               "mdbtools（例如：sudo apt-get install mdbtools）后再导入."_s;
    }
    void importAccessFile() {
        QFETCH(QString, item);
        QFETCH(int, answer);
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        const QString old = path(u"old.mdb"_s);
        QVERIFY(QFile::copy(QStringLiteral(QB_JET_DATA "/books.mdb"), old));
        const QByteArray oldBytes = test::readBytes(old);
        auto form = showForm();
        const QString target = path(chosen.endsWith(u".mdb"_s) ? chosen : chosen + u".mdb"_s);
        m_platform->fileAnswers << old << path(chosen);
        if (answer)
            m_platform->answers << answer;
        const QByteArray searchPath = qgetenv("PATH");
        if (QTest::currentDataTag() == QByteArray("no mdbtools"))
            qputenv("PATH", m_dir->path().toUtf8());
        action(form.get(), item)->trigger();
        qputenv("PATH", searchPath);
        QCOMPARE(said(), QString(message).replace(u"%1"_s, old).replace(u"%2"_s, target));
        if (answer != mb::IdNo) {
            QCOMPARE(m_platform->fileRequests.last().initialName, path(u"old-quillbox.mdb"_s));
            QCOMPARE(m_platform->fileRequests.last().kind, FileDialogRequest::Kind::Save);
        }
        QCOMPARE(test::readBytes(old), oldBytes);
        auto* report = child<QDialog>(form.get(), u"JetImportReport"_s);
        if (!message.isEmpty() && answer != mb::IdYes) {
            QCOMPARE(form->currentDatabasePath(), path(u"book.mdb"_s));
            QVERIFY(!report);
            QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).join(u','),
                     u"book.mdb,old.mdb,quillbox.ini"_s);
            return;
        }
        QCOMPARE(form->windowTitle(), u"Quillbox--"_s + QFileInfo(target).fileName());
        QCOMPARE(form->store().connection().fileName(), target);
        const auto* grid = child<DBGrid>(form.get(), u"DBGrid1"_s);
        QCOMPARE(grid->model()->index(0, 0).data().toString(), u"张三"_s);
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(child<DBGrid>(form.get(), u"DBGrid3"_s)->model()->rowCount(), 2);
        QVERIFY(enabled(form.get(), u"LbButton1"_s));
        QVERIFY(report && report->isVisible());
        const QString lines = u"Access 数据库：%1\r\n新的 Quillbox 数据库：%2\r\n\r\n"
                              "联系人（lianxi1）：导入 3 条记录\r\n"
                              "网址（wzsk1）：导入 2 条记录\r\n"
                              "序列号（xuliehao1）：导入 2 条记录\r\n\r\n"
                              "每条记录都已原样导入。\r\n"_s.arg(old, target);
        QCOMPARE(report->findChild<QPlainTextEdit*>()->toPlainText() + u'\n',
                 QString(lines).replace(u"\r\n"_s, u"\n"_s));
        m_platform->fileAnswers << path(u"报告"_s);
        QTest::mouseClick(child<QPushButton>(report, u"SaveReportButton"_s), Qt::LeftButton);
        QCOMPARE(m_platform->fileRequests.last().filter, u"文本文件|*.txt"_s);
        QCOMPARE(test::readBytes(path(u"报告.txt"_s)), test::gb18030(lines));
    }

    // A record being typed is left as a move leaves it before any command closes the books or
    // the program, or reads the book (exports, navigation panel): posted when it can be;
    // otherwise its error shows and the command stops.
    void typedRecordSurvivesClosingTheBooks_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("withKey");
        for (const char* command :
             {"FileSaveAsItem", "FileOpenItem", "FileNewItem", "FileExitItem", "N13", "close box",
              "N6", "N8", "ExportContactsCsv", "Ctrl+Q", "later start"}) {
            QTest::addRow("%s, posted", command) << QString::fromLatin1(command) << true;
            QTest::addRow("%s, refused", command) << QString::fromLatin1(command) << false;
        }
    }
    void typedRecordSurvivesClosingTheBooks() {
        QFETCH(QString, command);
        QFETCH(bool, withKey);
        const QString other = test::createBookFile(m_dir->path(), u"other.mdb"_s);
        auto form = showForm();
        const QString file = form->currentDatabasePath();
        QTest::mouseClick(child(form.get(), u"LbButton1"_s), Qt::LeftButton);
        if (withKey)
            QTest::keyClicks(child(form.get(), u"DBname"_s), u"zl"_s);
        QTest::keyClicks(child(form.get(), u"DBemail"_s), u"z@l.cn"_s);
        child<QTabWidget>(form.get(), u"PageControl1"_s)->setCurrentIndex(2);
        if (command == u"N13"_s) // the tray's menu, the window hidden
            form->hide();
        m_platform->fileAnswers.enqueue(command == u"FileOpenItem"_s ? other : path(u"new.mdb"_s));
        if (command == u"close box"_s) {
            form->close();
        } else if (command == u"later start"_s) {
            form->OpenDatabaseFile(other); // what a later start's request names reaches
        } else if (command == u"Ctrl+Q"_s) {
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
            QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        } else {
            action(form.get(), command)->trigger();
        }
        if (withKey) {
            QCOMPARE(said(), QString());
            QCOMPARE(records(file), 1);
            QVERIFY(!enabled(form.get(), u"LbButton28"_s) && !enabled(form.get(), u"LbButton29"_s));
            return;
        }
        // Refused: the record stays on screen, in editing, and the command does nothing.
        QCOMPARE(said(), u"ADOTable1: 姓名不能为空."_s);
        QVERIFY(m_platform->fileRequests.isEmpty());
        QVERIFY(form->isVisible());
        QCOMPARE(child<QTabWidget>(form.get(), u"PageControl1"_s)->currentIndex(), 0);
        QCOMPARE(form->store().book(BookId::Contacts).state(), DatasetState::Insert);
        QVERIFY(enabled(form.get(), u"LbButton28"_s));
        QCOMPARE(form->windowTitle(), u"Quillbox--book.mdb"_s);
        QCOMPARE(child<QLineEdit>(form.get(), u"DBemail"_s)->text(), u"z@l.cn"_s);
        // At the end nobody is asked: the refused record is not posted and the end goes on.
        form.reset();
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(records(file), 0);
        QCOMPARE(LoadPreferences(ini()).databasePath, file);
    }

    void endWithoutAnyonePostsTheRecord() {
        auto form = showForm();
        test::Driver user(*form);
        user.showBook(u"网址"_s);
        QTest::mouseClick(child(form.get(), u"LbButton7"_s), Qt::LeftButton);
        QTest::keyClicks(child(form.get(), u"DBwangzhiname"_s), u"site"_s);
        form->endUnattended();
        form->close();
        const QString file = form->currentDatabasePath();
        form.reset();
        QCOMPARE(said(), QString());
        QCOMPARE(records(file, BookId::Websites), 1);
    }

    // 导航 and 显示导航面板 stay disabled while a panel is shown, whatever the file commands do;
    // 导入导出 comes after the existing menus, enabled like the text exports.
    void navigationPanelAndExchangeMenu() {
        auto closed = showForm(false);
        const QList<QAction*> menus = closed->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus.last()->text(), u"导入导出"_s);
        for (QAction* item : menus.last()->menu()->actions())
            QVERIFY2(item->isSeparator() || !item->isEnabled(), qPrintable(item->text()));
        closed.reset();
        auto form = showForm();
        test::addRecord(form->store().book(BookId::Websites), {u"站点"_s, u"https://a.example/"_s});
        action(form.get(), u"N8"_s)->trigger();
        m_platform->fileAnswers << path(u"sites"_s) << path(u"sites"_s) << path(u"new.mdb"_s);
        action(form.get(), u"ExportWebsitesBookmarks"_s)->trigger();
        QCOMPARE(m_platform->fileRequests.last().filter, u"书签文件|*.html"_s);
        QVERIFY(test::readBytes(path(u"sites.html"_s))
                    .contains("<DT><A HREF=\"https://a.example/\">站点</A>"));
        action(form.get(), u"N11"_s)->trigger();
        QCOMPARE(m_platform->fileRequests.last().filter, u"文本文件|*.txt"_s);
        QVERIFY(
            test::readBytes(path(u"sites.txt"_s)).startsWith(test::gb18030(u"[我的网址]\r\n"_s)));
        action(form.get(), u"FileNewItem"_s)->trigger();
        QCOMPARE(form->currentDatabasePath(), path(u"new.mdb"_s));
        QCOMPARE(enabledMenuItems(form.get()).join(u','), u"N6,N11,N12,FileSaveAsItem,IE1"_s);
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == u"frmdaohang"_s)
                window->close();
        QCOMPARE(enabledMenuItems(form.get()).size(), 7);
    }

    void linkButtons_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("launched"); // empty: "是空的" shows
        const auto row = [](const char* tag, const char* field, const char* typed,
                            const char* launched) {
            QTest::newRow(tag) << QString::fromLatin1(field) << QString::fromLatin1(typed)
                               << QString::fromLatin1(launched);
        };
        row("home page", "DBzhuye", "example.com", "example.com");
        row("mail", "DBemail", "a@b.cn", "mailto:a@b.cn");
        row("mail twice", "DBemail", "mailto:a@b.cn", "mailto:mailto:a@b.cn");
        row("website", "DBwangzhi", " http://x.cn ", " http://x.cn ");
        row("empty", "DBzhuye", "", "");
        row("blanks only home page", "DBzhuye", "  ", "");
        row("blanks only mail", "DBemail", " ", "");
    }
    void linkButtons() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, launched);
        auto form = showForm();
        const QString link = field == u"DBzhuye"_s   ? u"SpeedButton1"_s
                             : field == u"DBemail"_s ? u"SpeedButton2"_s
                                                     : u"SpeedButton5"_s;
        child<QLineEdit>(form.get(), field)->setText(typed);
        QTest::mouseClick(child(form.get(), link), Qt::LeftButton);
        QCOMPARE(m_platform->launches.join(u'|'), launched);
        QCOMPARE(said(), launched.isEmpty() ? u"是空的"_s : QString());
        for (const auto& message : m_platform->messages)
            QVERIFY(message.caption == u"^^"_s && message.flags == mb::Ok);
    }

    // One instance, whether the second start comes once the first listens or at the same
    // moment; the one that stays keeps listening and opens the book the second one named.
    // Both starts are the real program, started in the books' folder with relative names.
    void secondStartFindsTheFirst_data() {
        QTest::addColumn<bool>("together");
        QTest::addColumn<QStringList>("firstArgs");
        QTest::addColumn<QStringList>("secondArgs");
        QTest::addColumn<QStringList>("openAtEnd");
        const QStringList none, book{u"book.mdb"_s}, other{u"other.mdb"_s};
        QTest::newRow("after the first listens") << false << none << none << none;
        QTest::newRow("at the same moment") << true << none << none << none;
        QTest::newRow("first names a book") << false << book << none << book;
        QTest::newRow("second names a book") << false << book << other << other;
        // Logout, shutdown or `kill` end the program in order: the preferences are written.
        QTest::newRow("SIGTERM") << false << none << QStringList{u"15"_s} << none;
        QTest::newRow("SIGHUP") << false << none << QStringList{u"1"_s} << none;
    }
    void secondStartFindsTheFirst() {
        QFETCH(bool, together);
        QFETCH(QStringList, firstArgs);
        QFETCH(QStringList, secondArgs);
        QFETCH(QStringList, openAtEnd);
        test::createBookFile(m_dir->path());
        test::createBookFile(m_dir->path(), u"other.mdb"_s);
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
        if (QTest::currentDataTag()[0] == 'S') { // the signal's number, hand-written
            QVERIFY(!QFile::exists(ini()));
            QCOMPARE(::kill(pid_t(starts[0].processId()), secondArgs[0].toInt()), 0);
            QVERIFY(starts[0].waitForFinished(20000));
            QVERIFY(starts[0].exitStatus() == QProcess::NormalExit && starts[0].exitCode() == 0);
            QVERIFY(QFile::exists(ini()));
            return;
        }
        starts[1].start(programCopy(), secondArgs);
        QTRY_VERIFY_WITH_TIMEOUT(starts[0].state() != QProcess::Running ||
                                     starts[1].state() != QProcess::Running,
                                 20000);
        QTest::qWait(300);
        const int running = starts[0].state() == QProcess::Running ? 0 : 1;
        QProcess& ended = starts[1 - running];
        QCOMPARE(starts[running].state(), QProcess::Running);
        QVERIFY(ended.exitStatus() == QProcess::NormalExit && ended.exitCode() == 0);
        QVERIFY(together || running == 0);
        QVERIFY(programListens());
        QTRY_COMPARE(openBooks(starts[running].processId()), openAtEnd);
        starts[running].kill();
        starts[running].waitForFinished();
    }

    // The second start is a real program run in the books' folder; the running instance is
    // this test's window, so what it opened can be read.
    void laterStartOpensItsFile_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("book");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("token"); // VARIABLE=value for the later start
        const auto row = [](const char* tag, const char* argument, const char* book,
                            const char* error = "", const char* token = "") {
            QTest::newRow(tag) << QString::fromUtf8(argument) << QString::fromUtf8(book)
                               << QString::fromUtf8(error) << QString::fromUtf8(token);
        };
        row("no file", "", "book.mdb");
        row("relative name", "other.mdb", "other.mdb");
        row("absolute name", "<dir>/other.mdb", "other.mdb");
        row("line break in the name", "two\nlines.mdb", "two\nlines.mdb");
        row("the open book", "book.mdb", "book.mdb");
        row("access file", "access.mdb", "book.mdb", "是 Access 数据库文件");
        row("missing file", "gone.mdb", "book.mdb", "不存在");
        row("Wayland token", "", "book.mdb", "", "XDG_ACTIVATION_TOKEN=kwin-1234_TIME5");
        row("startup id, with a file", "other.mdb", "other.mdb", "",
            "DESKTOP_STARTUP_ID=openbox-7-x_TIME42");
    }
    void laterStartOpensItsFile() {
        QFETCH(QString, argument);
        QFETCH(QString, book);
        QFETCH(QString, error);
        QFETCH(QString, token);
        qunsetenv("XDG_ACTIVATION_TOKEN");
        test::createBookFile(m_dir->path(), u"other.mdb"_s);
        test::createBookFile(m_dir->path(), u"two\nlines.mdb"_s);
        test::writeBytes(path(u"access.mdb"_s),
                         QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(2028, '\0'));
        // Both instances find each other in TMPDIR; the other tests keep the usual one.
        const auto restoreTmp = qScopeGuard([tmp = qgetenv("TMPDIR")] { qputenv("TMPDIR", tmp); });
        qputenv("TMPDIR", QFile::encodeName(m_dir->path()));
        SingleInstance instance(u"Quillbox"_s);
        QVERIFY(!instance.notifyRunningInstance()); // this test's window is the first start
        auto form = showForm();
        followLaterStarts(instance, *form);
        QVERIFY(instance.listen());
        QSignalSpy activations(&instance, &SingleInstance::activated);
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.remove(u"XDG_ACTIVATION_TOKEN"_s);
        env.remove(u"DESKTOP_STARTUP_ID"_s);
        if (!token.isEmpty())
            env.insert(token.section(u'=', 0, 0), token.section(u'=', 1));
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(m_dir->path());
        second.start(QStringLiteral(QUILLBOX_BINARY),
                     argument.isEmpty() ? QStringList()
                                        : QStringList{argument.replace(u"<dir>"_s, m_dir->path())});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(activations.count(), 1);
        QCOMPARE(activations[0][0].toString(), token.section(u'=', 1));
        QCOMPARE(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"), token.section(u'=', 1));
        QCOMPARE(form->windowTitle(), u"Quillbox--"_s + book);
        QCOMPARE(form->currentDatabasePath(), path(book));
        QCOMPARE(form->store().connection().fileName(), path(book));
        QCOMPARE(m_platform->messages.size(), error.isEmpty() ? 0 : 1);
        QVERIFY2(said().contains(error), qPrintable(said()));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
