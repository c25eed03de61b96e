#include "app/sdiappform.h"
#include "platform/scriptedplatform.h"
#include "store/preferences.h"
#include "store/testbooks.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QLocale>
#include <QProcess>
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
        // Not opened again at the next start without the user's say.
        QCOMPARE(form->currentDatabasePath(), QString());
        QCOMPARE(LoadPreferences(ini()).databasePath, QString());
        form.reset();
        QFile again(file);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), bytes);
        QCOMPARE(LoadPreferences(ini()).databasePath, QString());
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
        QCOMPARE(LoadPreferences(ini()).databasePath, m_dir->filePath(created));
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
        QCOMPARE(LoadPreferences(ini()).databasePath, other);
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
        // Remembered at once, not only when the window goes.
        QCOMPARE(LoadPreferences(ini()).databasePath, copy);
        // Onto an existing file: refused and reported, nothing replaced.
        m_platform->fileAnswers.enqueue(file);
        action(form.get(), "FileSaveAsItem")->trigger();
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(form->currentDatabasePath(), copy);
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

    void secondStartFindsTheFirst() {
        const QString binary = QStringLiteral(QUILLBOX_BINARY);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->path());
        env.insert(QStringLiteral("TMPDIR"), m_dir->path());
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(binary, {});
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
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(binary, {});
        QVERIFY(second.waitForFinished(10000));
        const int code = second.exitCode();
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(code, 0);
        first.kill();
        first.waitForFinished();
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
