#include "app/laterstarts.h"
#include "books.h"
#include "platform/singleinstance.h"
#include "settings/settingswindow.h"
#include "support/driver.h"
#include "tables.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QLocalSocket>
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <unistd.h>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

// The menu items that need an open book.
const QString kMenuItems = u"N6,N11,N12,FileSaveAsItem,N8,N14,IE1"_s;

QString enabledOf(const QObject& form, const QString& names) {
    QStringList on;
    for (const QString& name : names.split(u','))
        if (form.findChild<QObject*>(name)->property("enabled").toBool())
            on << name;
    return on.join(u',');
}

int records(const QString& file) {
    RecordStore store;
    store.openDatabase(file);
    return store.book(BookId::Contacts).recordCount();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<test::Sandbox> m_box;

    QString path(const QString& name) const { return m_box->path(name); }
    // A form on a new book.mdb, or on what the preferences name.
    std::unique_ptr<TSDIAppForm> showForm(bool withBook = true) {
        if (withBook)
            test::rememberDatabase(m_box->ini(), test::createBookFile(m_box->dir.path()));
        return test::showMainWindow(m_box->ini());
    }
    // The program, started in the test's folder (its TMPDIR too) with the variable set.
    void startProgram(QProcess& process, const QString& program, const QString& arguments,
                      const QString& variable) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DESKTOP_STARTUP_ID"_s);
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"TMPDIR"_s, m_box->dir.path());
        if (!variable.isEmpty())
            env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_box->dir.path());
        process.start(program,
                      test::items(QString(arguments).replace(u"<dir>"_s, m_box->dir.path())));
    }
    bool programListens() const {
        QLocalSocket probe;
        probe.connectToServer(path(u"Quillbox-%1"_s.arg(getuid())));
        return probe.waitForConnected(100);
    }
    // What the user sees, after the window has done the work it queued for later.
    static QString seen(const TSDIAppForm& form) {
        QTest::qWait(20);
        return u"window %1, minimized %2, tray %3"_s.arg(form.isVisible())
            .arg(form.isMinimized())
            .arg(form.trayIcon()->isVisible());
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_box = std::make_unique<test::Sandbox>(); }
    void cleanup() { m_box.reset(); }

    // A bad book opens once mended and chosen in 打开数据库; the end writes the preferences.
    void start_data() { test::addTableRows(u"app/start.txt"_s); }
    void start() {
        const auto [remembered, bytes, title, enabled, messages] = test::cells<5>();
        const QString file = path(u"bad.mdb"_s);
        if (bytes == u"<book>"_s) {
            RecordStore store;
            store.openDatabase(test::createBookFile(m_box->dir.path(), u"bad.mdb"_s));
            test::addRecord(store.book(BookId::Contacts), {u"张三"_s});
        } else if (!bytes.isNull()) {
            test::writeBytes(file, test::bytesOf(bytes));
        }
        if (!remembered.isEmpty())
            test::rememberDatabase(m_box->ini(), file);
        auto form = showForm(false);
        // The designed size and place include the window system's frame.
        QTRY_COMPARE(form->frameGeometry(), QRect(106, 94, 613, 505));
        QCOMPARE(m_box->boxes(), QString(messages).replace(u"%1"_s, file));
        QCOMPARE(form->windowTitle(), title);
        QCOMPARE(enabledOf(*form, kMenuItems + u",LbButton1,LbButton5,LbButton16,LbButton28,"
                                               "LbButton29,LbButton34,LbButton13"_s),
                 enabled);
        QCOMPARE(test::Driver(*form).gridRows(), enabled.isEmpty() ? u""_s : u"[张三]"_s);
        QCOMPARE(form->currentDatabasePath(),
                 remembered.isEmpty() || !messages.isEmpty() ? u""_s : file);
        QCOMPARE(LoadPreferences(m_box->ini()).databasePath, form->currentDatabasePath());
        if (!remembered.isEmpty()) {
            QFile::remove(file);
            test::createBookFile(m_box->dir.path(), u"bad.mdb"_s);
            m_box->platform.fileAnswers.enqueue(file);
            test::Driver(*form).choose(u"打开数据库"_s);
            QCOMPARE(form->windowTitle(), u"Quillbox--bad.mdb"_s);
        }
        form.reset();
        QCOMPARE(LoadPreferences(m_box->ini()).databasePath, remembered.isEmpty() ? u""_s : file);
    }

    // The file items show the icon theme's images, and images of their own without a theme.
    void menuIcons() {
        const QString dir = path(u"icons/quillbox-test/"_s);
        QVERIFY(QDir().mkpath(dir + u"16"_s));
        test::writeBytes(dir + u"index.theme"_s,
                         "[Icon Theme]\nName=T\nDirectories=16\n[16]\nSize=16\nType=Fixed\n");
        for (const char* name : {"document-new", "document-open", "document-save-as"})
            QVERIFY(QFile::copy(u":/icons/quillbox-16.png"_s,
                                dir + u"16/%1.png"_s.arg(QLatin1String(name))));
        const auto restore =
            qScopeGuard([name = QIcon::themeName()] { QIcon::setThemeName(name); });
        QIcon::setThemeSearchPaths({path(u"icons"_s)});
        for (const QString& theme : {u"quillbox-test"_s, u"quillbox-none"_s}) {
            QIcon::setThemeName(theme);
            auto form = showForm(false);
            QStringList shown;
            for (const char* item : {"FileNewItem", "FileOpenItem", "FileSaveAsItem"}) {
                const QIcon icon = form->findChild<QAction*>(QLatin1String(item))->icon();
                QVERIFY2(!icon.pixmap(16).isNull(), item);
                shown << icon.name();
            }
            QCOMPARE(shown.join(u','), theme == u"quillbox-test"_s
                                           ? u"document-new,document-open,document-save-as"_s
                                           : u",,"_s);
        }
    }

    // Every text of every window shows whole in the platform's fonts, at any scale (this test
    // also runs at QT_SCALE_FACTOR=2).
    void noTextCutOff() {
        auto form = showForm();
        test::trigger(*form, "N8");
        Tfrmsetting1 settings(form.get());
        settings.show();
        // A label's text fits its contents, a button's keeps clear of its edge and of the focus
        // frame inside it.
        QStringList clipped;
        for (const QWidget* window : QApplication::topLevelWidgets())
            for (const QWidget* control :
                 window->isVisible() ? window->findChildren<QWidget*>() : QList<QWidget*>()) {
                const auto* label = qobject_cast<const QLabel*>(control);
                const auto* button = qobject_cast<const QAbstractButton*>(control);
                const QString text = label && !label->wordWrap() ? label->text()
                                     : button                    ? button->text().remove(u'&')
                                                                 : QString();
                const int room = label ? label->contentsRect().width() : control->width() - 8;
                if (control->fontMetrics().horizontalAdvance(text) > room)
                    clipped << control->objectName() + u": "_s + text;
            }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u", "_s)));
    }

    // A script of commands and what they show, on a window open on book.mdb (网址 a, b) beside
    // other.mdb, a text.mdb and an Access file old.mdb: see tests/data/app/commands.txt.
    void commands_data() { test::addTableRows(u"app/commands.txt"_s); }
    void commands() {
        const auto [script] = test::cells<1>();
        const QString dir = m_box->dir.path();
        test::createBookFile(dir, u"other.mdb"_s);
        test::writeBytes(path(u"text.mdb"_s), "x");
        const QByteArray access = test::readBytes(QStringLiteral(QB_JET_DATA "/books.mdb"));
        test::writeBytes(path(u"old.mdb"_s), access);
        const auto restorePath = qScopeGuard([was = qgetenv("PATH")] { qputenv("PATH", was); });
        auto form = showForm();
        for (const char* key : {"a", "b"})
            test::addRecord(form->store().book(BookId::Websites), {QString::fromLatin1(key)});
        test::Driver user(*form);
        auto* pages = form->findChild<QTabWidget*>(u"PageControl1"_s);
        auto& platform = m_box->platform;
        const QHash<QString, std::function<void(const QString&)>> actions = {
            {u"menu"_s, [&](const QString& item) { test::trigger(*form, qPrintable(item)); }},
            {u"click"_s, [&](const QString& button) { test::click(*form, qPrintable(button)); }},
            {u"type"_s,
             [&](const QString& f) {
                 test::type(*form, qPrintable(f.section(u' ', 0, 0)), f.section(u' ', 1));
             }},
            {u"file"_s, [&](const QString& name) { platform.fileAnswers << path(name); }},
            {u"answer"_s,
             [&](const QString& a) { platform.answers << (a == u"yes"_s ? mb::IdYes : mb::IdNo); }},
            {u"tab"_s, [&](const QString& book) { user.showBook(book); }},
            {u"page"_s, [&](const QString& index) { pages->setCurrentIndex(index.toInt()); }},
            {u"later"_s, [&](const QString& name) { form->OpenDatabaseFile(path(name)); }},
            {u"hide"_s, [&](const QString&) { form->hide(); }},
            {u"close"_s, [&](const QString&) { form->close(); }},
            {u"unattended"_s, [&](const QString&) { form->endUnattended(); }},
            {u"ctrl+q"_s,
             [&](const QString&) {
                 QVERIFY(QTest::qWaitForWindowActive(form.get()));
                 QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
             }},
            {u"nopath"_s, [&](const QString&) { qputenv("PATH", QFile::encodeName(dir)); }},
            {u"close-panel"_s,
             [&](const QString&) {
                 for (QWidget* w : QApplication::topLevelWidgets())
                     if (w->objectName() == u"frmdaohang"_s)
                         w->close();
             }},
            {u"end"_s, [&](const QString&) { form.reset(); }},
        };
        const auto observe = [&](const QString& key, const QString& arg) -> QString {
            QStringList requests;
            for (const FileDialogRequest& request : platform.fileRequests)
                requests << request.filter + (request.confirmOverwrite ? u"!"_s : u""_s);
            const auto* report = form ? form->findChild<QDialog*>(u"JetImportReport"_s) : nullptr;
            return key == u"title"_s      ? form->windowTitle()
                   : key == u"rows"_s     ? user.gridRows()
                   : key == u"boxes"_s    ? m_box->boxes()
                   : key == u"records"_s  ? QString::number(records(path(u"book.mdb"_s)))
                   : key == u"menus"_s    ? enabledOf(*form, kMenuItems)
                   : key == u"editing"_s  ? enabledOf(*form, u"LbButton28,LbButton29"_s)
                   : key == u"launched"_s ? platform.launches.join(u'|')
                   : key == u"requests"_s ? requests.join(u',')
                   : key == u"suggested"_s
                       ? QFileInfo(platform.fileRequests.last().initialName).fileName()
                   : key == u"visible"_s ? QString::number(form->isVisible())
                   : key == u"page"_s    ? QString::number(pages->currentIndex())
                   : key == u"email"_s   ? test::fieldText(*form, "DBemail")
                   : key == u"prefs"_s
                       ? QFileInfo(LoadPreferences(m_box->ini()).databasePath).fileName()
                   : key == u"files"_s  ? QDir(dir).entryList(QDir::Files | QDir::Hidden).join(u',')
                   : key == u"report"_s ? QString::number(report && report->isVisible())
                   : key == u"access"_s
                       ? QString::number(test::readBytes(path(u"old.mdb"_s)) == access)
                   : key == u"text"_s ? QStringDecoder("GB18030").decode(test::readBytes(path(arg)))
                                      : u"no such check: "_s + key;
        };
        for (const QString& step : script.split(u"; "_s)) {
            const qsizetype is = step.indexOf(u'='), blank = step.indexOf(u' ');
            if (is < 0 || (blank >= 0 && blank < is)) { // a command
                QVERIFY2(actions.contains(step.section(u' ', 0, 0)), qPrintable(step));
                actions[step.section(u' ', 0, 0)](step.section(u' ', 1));
                continue;
            }
            // A check "key=value" or "key:argument=value"; "key~=part" for a part of it.
            const QString key = step.left(is), expected = step.mid(is + 1).replace(u"<dir>"_s, dir);
            const QString seen = observe(QString(key).remove(u'~').section(u':', 0, 0),
                                         QString(key).remove(u'~').section(u':', 1));
            QVERIFY2(key.endsWith(u'~') ? seen.contains(expected) : seen == expected,
                     qPrintable(key + u" was "_s + seen));
        }
    }

    // Both starts are the real program, started in the books' folder with relative names; the
    // single-instance names are in the test's folder.
    void secondStartFindsTheFirst_data() { test::addTableRows(u"app/second-start.txt"_s); }
    void secondStartFindsTheFirst() {
        const auto [together, firstArgs, secondArgs, openAtEnd, signal] = test::cells<5>();
        test::createBookFile(m_box->dir.path());
        test::createBookFile(m_box->dir.path(), u"other.mdb"_s);
        // A copy of the program, so that its preferences file and its single-instance names
        // are the test's.
        const QString copy = path(u"quillbox"_s),
                      runtime = u"XDG_RUNTIME_DIR="_s + m_box->dir.path();
        QFile::copy(QStringLiteral(QUILLBOX_BINARY), copy);
        const auto remembered = [&] {
            return QFileInfo(LoadPreferences(m_box->ini()).databasePath).fileName();
        };
        QProcess starts[2];
        startProgram(starts[0], copy, firstArgs, runtime);
        if (together.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(programListens(), 20000);
            QTRY_COMPARE(remembered(), firstArgs);
        }
        startProgram(starts[1], copy, secondArgs, runtime);
        QTRY_VERIFY_WITH_TIMEOUT(starts[0].state() != QProcess::Running ||
                                     starts[1].state() != QProcess::Running,
                                 20000);
        QTest::qWait(300);
        const int running = starts[0].state() == QProcess::Running ? 0 : 1;
        QCOMPARE(starts[running].state(), QProcess::Running);
        QVERIFY(!together.isEmpty() || running == 0);
        QVERIFY(programListens());
        QTRY_COMPARE(remembered(), openAtEnd);
        // Logout, shutdown or `kill` end the program in order: the preferences are written.
        QCOMPARE(QFile::exists(m_box->ini()), !openAtEnd.isEmpty());
        QCOMPARE(::kill(pid_t(starts[running].processId()), signal.toInt()), 0);
        QVERIFY(starts[running].waitForFinished(20000));
        for (const QProcess& start : starts)
            QVERIFY(start.exitStatus() == QProcess::NormalExit && start.exitCode() == 0);
        QVERIFY(QFile::exists(m_box->ini()));
    }

    // The running instance is this test's window, so what it opened can be read.
    void laterStartOpensItsFile_data() { test::addTableRows(u"app/later-start.txt"_s); }
    void laterStartOpensItsFile() {
        const auto [argument, book, error, token] = test::cells<4>();
        qunsetenv("XDG_ACTIVATION_TOKEN");
        test::createBookFile(m_box->dir.path(), u"other.mdb"_s);
        test::createBookFile(m_box->dir.path(), u"two\nlines.mdb"_s);
        test::writeBytes(path(u"access.mdb"_s), "\0\1\0\0Standard Jet DB\0"_ba);
        // Both instances find each other in TMPDIR; the other tests keep the usual one.
        const auto restoreTmp = qScopeGuard([tmp = qgetenv("TMPDIR")] { qputenv("TMPDIR", tmp); });
        qputenv("TMPDIR", QFile::encodeName(m_box->dir.path()));
        SingleInstance instance(u"Quillbox"_s);
        QVERIFY(!instance.notifyRunningInstance()); // this test's window is the first start
        auto form = showForm();
        followLaterStarts(instance, *form);
        QVERIFY(instance.listen());
        QSignalSpy activations(&instance, &SingleInstance::activated);
        QProcess second;
        startProgram(second, QStringLiteral(QUILLBOX_BINARY), argument, token);
        QVERIFY(second.waitForFinished(10000) && second.exitCode() == 0);
        QTRY_COMPARE(activations.count(), 1);
        QCOMPARE(activations[0][0].toString(), token.section(u'=', 1));
        QCOMPARE(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"), token.section(u'=', 1));
        QCOMPARE(form->windowTitle(), u"Quillbox--"_s + book);
        QCOMPARE(m_box->boxes(), QString(error).replace(u"<dir>"_s, m_box->dir.path()));
    }

    // The offscreen platform has no system tray, like stock GNOME: there the window must never
    // hide itself, since nothing could bring it back. Whichever way the window comes back from
    // the tray (a double click, 显示主窗体, a second start asking it to show normally), the
    // icon goes.
    void tray() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        auto form = showForm(false);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        for (int way = 0; way < 3; ++way) {
            form->showMinimized();
            QCOMPARE(seen(*form), u"window 1, minimized 1, tray 0"_s);
            form->hide(); // as where there is a tray
            form->trayIcon()->show();
            Q_EMIT form->trayIcon()->activated(QSystemTrayIcon::Context);
            QCOMPARE(seen(*form), u"window 0, minimized 1, tray 1"_s);
            if (way == 0)
                Q_EMIT form->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
            else if (way == 1)
                test::trigger(*form, "N9");
            else
                form->showNormal();
            QCOMPARE(seen(*form), u"window 1, minimized 0, tray 0"_s);
        }
    }

    // The window and the tray show the picture installed for the desktop's launcher.
    void windowAndTrayShowTheInstalledPicture() {
        auto form = showForm(false);
        for (int size : {16, 32, 48, 128}) {
            const QImage picture(u":/icons/quillbox-%1.png"_s.arg(size));
            for (const QIcon& icon : {form->windowIcon(), form->trayIcon()->icon()})
                QCOMPARE(icon.pixmap(QSize(size, size), 1.0)
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied),
                         picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
