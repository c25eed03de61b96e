// The settings window on this platform: the logon programs are the autostart entries of
// folders made for each test.
#include "settings/settingswindow.h"
#include "settingsprobe.h"
#include "testfiles.h"

#include "platform/scriptedplatform.h"
#include "platform/xdgautostart.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace settingsprobe;

namespace {

// Every file under a folder with its contents, to see that nothing there changed.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, qb::test::readBytes(path));
    }
    return files;
}

QStringList fileNames(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// What the window lists for the standard folders, in order.
const QStringList kAllRows = {
    u"User A | a"_s,
    u"User B | b --flag"_s,
    u"Shared (user) | shared --user"_s,
    u"System C | c --escaped"_s,
    u"noname.desktop | x"_s,
    u"System D | d"_s,
};

} // namespace

class TestSettingsAutostart : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<qb::ScopedScriptedPlatform> m_platform;
    QString m_user;
    QString m_system1;
    QString m_system2;

    QString systemRoot() const { return m_dir->filePath(u"sys"_s); }

    // A user entry overrides a system one of the same name, and one with Hidden=true hides
    // it; the second system folder's c-sys.desktop is overridden by the first's.
    void writeStandardEntries() {
        qb::test::writeBytes(m_user + u"/b-user.desktop"_s,
                             "[Desktop Entry]\nType=Application\nName=User B\nExec=b --flag\n");
        qb::test::writeBytes(
            m_user + u"/a-user.desktop"_s,
            "# comment\n[Desktop Entry]\nName[zh_CN]=用户甲\nName = User A\nExec=a\n");
        qb::test::writeBytes(m_user + u"/shared.desktop"_s,
                             "[Desktop Entry]\nName=Shared (user)\nExec=shared --user\n");
        qb::test::writeBytes(m_user + u"/gone.desktop"_s,
                             "[Desktop Entry]\nName=Gone\nHidden=true\n");
        qb::test::writeBytes(m_system1 + u"/shared.desktop"_s,
                             "[Desktop Entry]\nName=Shared (system)\nExec=shared\n");
        qb::test::writeBytes(m_system1 + u"/gone.desktop"_s,
                             "[Desktop Entry]\nName=Gone system\nExec=g\n");
        qb::test::writeBytes(
            m_system1 + u"/c-sys.desktop"_s,
            "[Desktop Entry]\r\nType=Application\r\nName=System C\r\nExec=c\\s--escaped\r\n"
            "[Desktop Action x]\r\nName=Not the name\r\n");
        qb::test::writeBytes(m_system1 + u"/noname.desktop"_s, "[Desktop Entry]\nExec=x\n");
        qb::test::writeBytes(m_system1 + u"/hidden-sys.desktop"_s,
                             "[Desktop Entry]\nName=Hidden system\nExec=h\nHidden=true\n");
        qb::test::writeBytes(m_system1 + u"/notes.txt"_s, "[Desktop Entry]\nName=Not an entry\n");
        qb::test::writeBytes(m_system2 + u"/c-sys.desktop"_s,
                             "[Desktop Entry]\nName=Overridden\nExec=no\n");
        qb::test::writeBytes(m_system2 + u"/d-sys.desktop"_s,
                             "[Desktop Entry]\nName=System D\nExec=d\n");
    }

    // A new window, shown: its show steps have run.
    std::unique_ptr<Tfrmsetting1> showWindow() {
        auto window = std::make_unique<Tfrmsetting1>();
        window->show();
        return window;
    }

    void deleteSelected(Tfrmsetting1& window, const QStringList& names, int answer) {
        selectNames(logonList(window), names);
        m_platform->answers.enqueue(answer);
        button(window, "Button7")->click();
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        const QString configHome = m_dir->filePath(u"config"_s);
        m_user = configHome + u"/autostart"_s;
        m_system1 = systemRoot() + u"/one/autostart"_s;
        m_system2 = systemRoot() + u"/two/autostart"_s;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(systemRoot() + u"/one:relative/ignored:"_s +
                                                     systemRoot() + u"/two"_s));
        m_platform = std::make_unique<qb::ScopedScriptedPlatform>();
        m_platform->setSystemSettings(std::make_unique<qb::XdgAutostart>());
        writeStandardEntries();
    }

    void cleanup() {
        m_platform.reset();
        m_dir.reset();
    }

    void listsEntriesInOrder() {
        const auto window = showWindow();
        QCOMPARE(rows(logonList(*window)), kAllRows);
        QVERIFY(m_platform->messages.isEmpty());
    }

    void defaultFolders() {
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
        QCOMPARE(qb::XdgAutostart::userFolder(), QDir::homePath() + u"/.config/autostart"_s);
        QCOMPARE(qb::XdgAutostart::systemFolders(), QStringList{u"/etc/xdg/autostart"_s});
    }

    void deletesWithYes_data() {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("remainingRows");
        QTest::addColumn<QStringList>("userFiles");
        QTest::addColumn<QString>("hiddenOverride");

        QTest::newRow("user entry: its file goes")
            << QStringList{u"User A"_s} << kAllRows.mid(1)
            << QStringList{u"b-user.desktop"_s, u"gone.desktop"_s, u"shared.desktop"_s}
            << QString();
        QStringList rows = kAllRows;
        rows.removeAt(2);
        QTest::newRow("user entry over a system one: hidden")
            << QStringList{u"Shared (user)"_s} << rows
            << QStringList{u"a-user.desktop"_s, u"b-user.desktop"_s, u"gone.desktop"_s,
                           u"shared.desktop"_s}
            << u"shared.desktop"_s;
        rows = kAllRows;
        rows.removeAt(3);
        QTest::newRow("system entry: a user entry hides it")
            << QStringList{u"System C"_s} << rows
            << QStringList{u"a-user.desktop"_s, u"b-user.desktop"_s, u"c-sys.desktop"_s,
                           u"gone.desktop"_s, u"shared.desktop"_s}
            << u"c-sys.desktop"_s;
        QTest::newRow("several at once")
            << QStringList{u"User B"_s, u"noname.desktop"_s, u"System D"_s}
            << QStringList{kAllRows[0], kAllRows[2], kAllRows[3]}
            << QStringList{u"a-user.desktop"_s, u"d-sys.desktop"_s, u"gone.desktop"_s,
                           u"noname.desktop"_s, u"shared.desktop"_s}
            << u"noname.desktop"_s;
    }

    void deletesWithYes() {
        QFETCH(QStringList, selected);
        QFETCH(QStringList, remainingRows);
        QFETCH(QStringList, userFiles);
        QFETCH(QString, hiddenOverride);
        const auto systemFiles = snapshot(systemRoot());
        const auto window = showWindow();

        deleteSelected(*window, selected, qb::mb::IdYes);

        QCOMPARE(rows(logonList(*window)), remainingRows);
        QCOMPARE(m_platform->messages.size(), 1); // the question, no failure
        QCOMPARE(fileNames(m_user), userFiles);
        QCOMPARE(snapshot(systemRoot()), systemFiles);
        if (!hiddenOverride.isEmpty()) {
            const QByteArray text = qb::test::readBytes(m_user + u'/' + hiddenOverride);
            QVERIFY2(text.startsWith("[Desktop Entry]\n"), text.constData());
            QVERIFY2(text.endsWith("\nHidden=true\n"), text.constData());
        }
        // The entries stay gone for the desktop and the next showing.
        window->hide();
        window->show();
        QCOMPARE(rows(logonList(*window)), remainingRows);
    }

    void overrideKeepsTheHiddenEntrysSettings() {
        const auto window = showWindow();
        deleteSelected(*window, {u"System C"_s}, qb::mb::IdYes);
        QCOMPARE(qb::test::readBytes(m_user + u"/c-sys.desktop"_s),
                 "[Desktop Entry]\nType=Application\nName=System C\nExec=c\\s--escaped\n"
                 "Hidden=true\n");
    }

    void noDeletesNothing() {
        const auto allFiles = snapshot(m_dir->path());
        const auto window = showWindow();
        const QStringList selected{u"User A"_s, u"System C"_s};

        deleteSelected(*window, selected, qb::mb::IdNo);

        QCOMPARE(rows(logonList(*window)), kAllRows);
        QCOMPARE(selectedNames(logonList(*window)), selected);
        QCOMPARE(snapshot(m_dir->path()), allFiles);
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(m_platform->messages[0].text, u"真的要删除？"_s);
        QCOMPARE(m_platform->messages[0].caption, u"慎重考虑"_s);
        QCOMPARE(m_platform->messages[0].flags, 0x14u);
    }

    void brokenEntry_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe[Desk\x00top\n=\n\x80\x81", 17);
        QTest::newRow("no group") << QByteArray("Name=Outside\nExec=outside\n");
        QTest::newRow("other group only") << QByteArray("[Other]\nName=Other\nExec=other\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no value separator") << QByteArray("[Desktop Entry]\nName\nExec\n=\n");
    }

    // A file that is not a desktop entry is listed by its file name and can be removed.
    void brokenEntry() {
        QFETCH(QByteArray, bytes);
        qb::test::writeBytes(m_user + u"/broken.desktop"_s, bytes);
        QVERIFY(QDir().mkpath(m_user + u"/folder.desktop"_s));
        const auto window = showWindow();

        QStringList expected = kAllRows;
        expected.insert(2, u"broken.desktop | "_s);
        QCOMPARE(rows(logonList(*window)), expected);

        deleteSelected(*window, {u"broken.desktop"_s}, qb::mb::IdYes);
        QCOMPARE(rows(logonList(*window)), kAllRows);
        QVERIFY(!QFile::exists(m_user + u"/broken.desktop"_s));
        QCOMPARE(m_platform->messages.size(), 1);
    }

    // The user's autostart path is a plain file, so nothing can be written there, not even by
    // root: the rows stay and one message names them.
    void unwritableUserFolder() {
        QVERIFY(QDir(m_user).removeRecursively());
        qb::test::writeBytes(m_user, "not a folder");
        const auto systemFiles = snapshot(systemRoot());
        const auto window = showWindow();
        const QStringList allRows = rows(logonList(*window));
        QCOMPARE(allRows, (QStringList{kAllRows[3], u"Gone system | g"_s, kAllRows[4],
                                       u"Shared (system) | shared"_s, kAllRows[5]}));

        deleteSelected(*window, {u"System C"_s, u"System D"_s}, qb::mb::IdYes);

        QCOMPARE(rows(logonList(*window)), allRows);
        QCOMPARE(m_platform->messages.size(), 2);
        const auto& failure = m_platform->messages[1];
        QCOMPARE(failure.caption, u"Quillbox"_s);
        QCOMPARE(failure.flags, 0x10u);
        QVERIFY2(failure.text.contains(u"System C\nSystem D"_s), qPrintable(failure.text));
        QCOMPARE(snapshot(systemRoot()), systemFiles);
        QCOMPARE(qb::test::readBytes(m_user), QByteArray("not a folder"));
    }

    // A user entry that links to a system file is replaced, never written through.
    void linkedUserEntry() {
        QVERIFY(QFile::remove(m_user + u"/shared.desktop"_s));
        QVERIFY(QFile::link(m_system1 + u"/shared.desktop"_s, m_user + u"/shared.desktop"_s));
        const auto systemFiles = snapshot(systemRoot());
        const auto window = showWindow();

        deleteSelected(*window, {u"Shared (system)"_s}, qb::mb::IdYes);

        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(snapshot(systemRoot()), systemFiles);
        QVERIFY(!QFileInfo(m_user + u"/shared.desktop"_s).isSymLink());
        QVERIFY(qb::test::readBytes(m_user + u"/shared.desktop"_s).endsWith("Hidden=true\n"));
    }

    void everyShowingRefreshesAndDisablesApply() {
        const auto window = showWindow();
        QPushButton* apply = button(*window, "Button1");
        QVERIFY(!apply->isEnabled());

        window->hide();
        apply->setEnabled(true);
        qb::test::writeBytes(m_user + u"/0-new.desktop"_s, "[Desktop Entry]\nName=New\nExec=new\n");
        window->show();
        QVERIFY(!apply->isEnabled());
        QCOMPARE(rows(logonList(*window)).first(), u"New | new"_s);
    }

    void saysWhatThisSystemLacks() {
        const auto window = showWindow();
        const QLabel* extensionsNote = control<QLabel>(*window, "lb1Note");
        QVERIFY(extensionsNote);
        QCOMPARE(extensionsNote->text(), u"此系统没有浏览器右键菜单扩展"_s);
        QVERIFY(extensionsNote->isVisible());
        const QLabel* tweaksNote = control<QLabel>(*window, "tweaksNote");
        QVERIFY(tweaksNote);
        QVERIFY(tweaksNote->text().contains(u"菜单显示延迟和启动菜单等待时间"_s));
        QVERIFY(!control<QLabel>(*window, "lv4Note"));
        QVERIFY(!button(*window, "Button5")->isEnabled());
        QVERIFY(!button(*window, "Button6")->isEnabled());
        QVERIFY(button(*window, "Button7")->isEnabled());
        QVERIFY(button(*window, "Button8")->isEnabled());
    }
};

QTEST_MAIN(TestSettingsAutostart)
#include "tst_settingsautostart.moc"
