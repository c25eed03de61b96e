// The settings window, driven through its buttons, against two systems: one whose settings the
// test makes up, so the window meets every answer a system can give, and this platform's own
// autostart folders, made for each test from tests/data/settings.
#include "settings/settingswindow.h"
#include "tables.h"
#include "testfiles.h"

#include "platform/scriptedplatform.h"
#include "platform/xdgautostart.h"

#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;
using Feature = qb::SystemSettings::Feature;
using qb::test::readBytes;

namespace {

const QList<Feature> kAllFeatures = {Feature::BrowserExtensions, Feature::LogonPrograms,
                                     Feature::MenuShowDelay, Feature::BootTimeout};

// Answers from lists the test fills and logs every call.
class FakeSystemSettings : public qb::SystemSettings {
public:
    QList<Feature> features = kAllFeatures;
    QStringList extensions = {u"&Download"_s, u"E&xport"_s, u"Zoom"_s};
    QList<qb::LogonProgram> programs = {{u"id0"_s, u"Alpha"_s, u"C:\\alpha.exe /min"_s},
                                        {u"id1"_s, u"Beta"_s, u"\"C:\\Program Files\\b.exe\""_s},
                                        {u"id2"_s, u"Gamma"_s, u"gamma.exe"_s},
                                        {u"id3"_s, u"Delta"_s, QString()}};
    QStringList undeletable; // extension names and program ids whose deletion fails
    QString readError;       // when set, reading the logon programs throws it
    QStringList calls;

    bool has(Feature feature) const override { return features.contains(feature); }
    QStringList browserExtensions() override { return calls << u"extensions"_s, extensions; }
    bool deleteBrowserExtension(const QString& name) override {
        calls << name;
        return !undeletable.contains(name) && extensions.removeAll(name) > 0;
    }
    QList<qb::LogonProgram> logonPrograms() override {
        calls << u"logonPrograms"_s;
        return readError.isEmpty() ? programs : throw std::runtime_error(readError.toStdString());
    }
    bool deleteLogonProgram(const QString& id) override {
        calls << id;
        return !undeletable.contains(id) &&
               programs.removeIf([&](const qb::LogonProgram& p) { return p.id == id; }) > 0;
    }
    void setMenuShowDelay(int ms) override { calls << u"setMenuShowDelay %1"_s.arg(ms); }
    void setBootTimeout(int seconds) override { calls << u"setBootTimeout %1"_s.arg(seconds); }
};

const QStringList kProgramRows = {u"Alpha | C:\\alpha.exe /min"_s,
                                  u"Beta | \"C:\\Program Files\\b.exe\""_s, u"Gamma | gamma.exe"_s,
                                  u"Delta | "_s};
// What the window lists for the autostart folders, in order.
const QStringList kAutostartRows = {u"用户甲 | a"_s,
                                    u"User B | b --flag"_s,
                                    u"Shared (user) | shared --user"_s,
                                    u"System C | c --escaped"_s,
                                    u"noname.desktop | x"_s,
                                    u"System D | d"_s};
const QString kQuestion = u"真的要删除？|慎重考虑|0x14"_s;

QStringList items(const QString& commaList) {
    return commaList.split(u',', Qt::SkipEmptyParts);
}
// The message boxes a deletion shows: the question, when asked, then one report of the
// entries that could not be deleted, if any.
QStringList deletionMessages(bool asked, const QString& failed) {
    QStringList messages = asked ? QStringList{kQuestion} : QStringList();
    if (!failed.isEmpty())
        messages << u"以下项目未能删除：\n%1|Quillbox|0x10"_s.arg(items(failed).join(u'\n'));
    return messages;
}

template <typename Control = QPushButton>
Control* control(const QWidget& window, const char* name) {
    return window.findChild<Control*>(QString::fromLatin1(name));
}
QAbstractItemView* list(const QWidget& window, const char* name) {
    return control<QAbstractItemView>(window, name);
}

// Each row as the user reads it: its columns joined by " | ".
QStringList rows(const QAbstractItemView* list, int columns = 2) {
    QStringList texts;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < columns; ++column)
            cells << list->model()->index(row, column).data().toString();
        texts << cells.join(u" | "_s);
    }
    return texts;
}

// Every file under a folder with its contents, to see that nothing there changed.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        files.insert(path, readBytes(path));
    }
    return files;
}

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<qb::ScopedScriptedPlatform> m_platform;
    FakeSystemSettings* m_system = nullptr; // null once the autostart folders are used
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<qb::Tfrmsetting1> m_window;

    qb::Tfrmsetting1& showWindow() {
        m_window = std::make_unique<qb::Tfrmsetting1>();
        m_window->show();
        return *m_window;
    }
    QAbstractItemView* lv4() const { return list(*m_window, "lv4"); }
    // Each message box as "text|caption|flags".
    QStringList messages() const {
        QStringList texts;
        for (const auto& message : m_platform->messages)
            texts << u"%1|%2|0x%3"_s.arg(message.text, message.caption,
                                         QString::number(message.flags, 16));
        return texts;
    }
    // Selects the named rows and clicks the button, its answers scripted first.
    void clickOnSelected(const QString& button, const QStringList& names,
                         const QList<int>& answers) {
        QAbstractItemView* view = list(*m_window, button == u"Button5" ? "lb1" : "lv4");
        for (int row = 0; row < view->model()->rowCount(); ++row)
            if (names.contains(view->model()->index(row, 0).data().toString()))
                view->selectionModel()->select(view->model()->index(row, 0),
                                               QItemSelectionModel::Select |
                                                   QItemSelectionModel::Rows);
        for (int answer : answers)
            m_platform->answers.enqueue(answer);
        control(*m_window, qPrintable(button))->click();
    }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    void useAutostartFolders(const QByteArray& desktop = "X-Test:Openbox") {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(u"user"_s)));
        qputenv("XDG_CURRENT_DESKTOP", desktop);
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(path(u"sys/1"_s) + u":relative/ignored:"_s + path(u"sys/2"_s)));
        m_platform->setSystemSettings(std::make_unique<qb::XdgAutostart>());
        m_system = nullptr;
        for (const auto& file : qb::test::readTable(u"settings/autostart-folders.txt"_s))
            qb::test::writeBytes(path(file.name), qb::test::bytesOf(file.cells[0]));
    }

private Q_SLOTS:
    void init() {
        m_platform = std::make_unique<qb::ScopedScriptedPlatform>();
        auto system = std::make_unique<FakeSystemSettings>();
        m_system = system.get();
        m_platform->setSystemSettings(std::move(system));
    }
    void cleanup() {
        m_window.reset();
        m_platform.reset();
        m_dir.reset();
    }

    // Every showing reads the lists, applies the tweaks and disables 应用 again; 应用 disables
    // itself and 放弃 closes the window. A logon entry that cannot be read as text ends the
    // showing or a refresh with the default error box and the rows shown before stay. A refresh
    // that reads no extensions keeps the entries the list has.
    void showingRefreshingClosing() {
        QPalette look = QApplication::palette(); // a theme that greys an inactive selection
        look.setColor(QPalette::Active, QPalette::Highlight, QColor(0x30, 0x50, 0xa0));
        look.setColor(QPalette::Inactive, QPalette::Highlight, Qt::gray);
        QApplication::setPalette(look);
        m_system->readError = u"注册表值“X”不是文本"_s;
        auto& window = showWindow();
        QCOMPARE(messages(), QStringList{u"注册表值“X”不是文本.|Quillbox|0x10"_s});
        QPushButton* apply = control(window, "Button1");
        apply->setEnabled(true);
        apply->click();
        QVERIFY(!apply->isEnabled());
        m_system->readError.clear();
        m_system->calls.clear();
        apply->setEnabled(true);
        window.hide();
        window.show();
        QCOMPARE(m_system->calls.join(u','),
                 u"logonPrograms,extensions,setMenuShowDelay 1,setBootTimeout 3000"_s);
        QVERIFY(!apply->isEnabled());
        QCOMPARE(rows(lv4()), kProgramRows);
        QCOMPARE(lv4()->palette().color(QPalette::Inactive, QPalette::Highlight),
                 QColor(0x30, 0x50, 0xa0));
        const QWidget* page = control<QTabWidget>(window, "PageControl1")->widget(0);
        QCOMPARE(lv4()->geometry().bottom(), page->height() - 1);
        m_system->readError = u"坏"_s;
        control(window, "Button8")->click();
        QCOMPARE(rows(lv4()), kProgramRows);
        m_system->readError.clear();
        m_system->programs.clear();
        control(window, "Button8")->click();
        QCOMPARE(rows(lv4()), QStringList());
        m_system->extensions.clear();
        control(window, "Button6")->click();
        QCOMPARE(rows(list(window, "lb1"), 1).join(u','), u"&Download,E&xport,Zoom"_s);
        m_system->extensions = {u"New"_s};
        control(window, "Button6")->click();
        QCOMPARE(rows(list(window, "lb1"), 1), QStringList{u"New"_s});
        control(window, "Button2")->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
    }

    void deleteSelected_data() {
        qb::test::addTableRows(
            u"settings/delete-selected.txt"_s,
            {"button", "answer", "selected", "undeletable", "deleted", "remaining", "failed"});
    }
    void deleteSelected() {
        QFETCH(QString, button);
        QFETCH(QString, answer);
        QFETCH(QString, selected);
        QFETCH(QString, undeletable);
        QFETCH(QString, deleted);
        QFETCH(QString, remaining);
        QFETCH(QString, failed);
        m_system->undeletable = items(undeletable);
        showWindow();
        m_system->calls.clear();
        clickOnSelected(button, items(selected), {answer == u"yes" ? qb::mb::IdYes : qb::mb::IdNo});
        QCOMPARE(m_system->calls, items(deleted));
        const QAbstractItemView* shown = list(*m_window, button == u"Button5" ? "lb1" : "lv4");
        QCOMPARE(rows(shown, 1), items(remaining));
        if (answer == u"no")
            QCOMPARE(shown->selectionModel()->selectedRows().size(), items(selected).size());
        QCOMPARE(messages(), deletionMessages(button == u"Button7", failed));
    }

    void missingFeatures_data() {
        QTest::addColumn<QList<Feature>>("features");
        QTest::addColumn<QString>("disabled"); // notes shown and buttons disabled
        QTest::addColumn<QString>("tweaksNote");
        QTest::newRow("everything") << kAllFeatures << QString() << QString();
        QTest::newRow("nothing")
            << QList<Feature>() << u"lb1Note,lv4Note,tweaksNote,Button5,Button6,Button7,Button8"_s
            << u"此系统没有菜单显示延迟和启动菜单等待时间，打开本窗口时不作更改。"_s;
        QTest::newRow("no boot.ini") << kAllFeatures.first(3) << u"tweaksNote"_s
                                     << u"此系统没有启动菜单等待时间，打开本窗口时不作更改。"_s;
    }
    void missingFeatures() {
        QFETCH(QList<Feature>, features);
        QFETCH(QString, disabled);
        QFETCH(QString, tweaksNote);
        m_system->features = features;
        auto& window = showWindow();
        QStringList off;
        for (const char* name : {"lb1Note", "lv4Note", "tweaksNote"}) {
            const QLabel* note = control<QLabel>(window, name);
            if (note && note->isVisible())
                off << QLatin1String(name);
        }
        for (const char* name : {"Button5", "Button6", "Button7", "Button8"})
            if (!control(window, name)->isEnabled())
                off << QLatin1String(name);
        QCOMPARE(off, items(disabled));
        if (!tweaksNote.isEmpty())
            QCOMPARE(control<QLabel>(window, "tweaksNote")->text(), tweaksNote);
    }

    // This system has logon programs only; the window says so (see missingFeatures).
    void autostartSystem() {
        const qb::XdgAutostart autostart;
        for (Feature feature : kAllFeatures)
            QCOMPARE(autostart.has(feature), feature == Feature::LogonPrograms);
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
        QCOMPARE(qb::XdgAutostart::userFolder(), QDir::homePath() + u"/.config/autostart"_s);
        QCOMPARE(qb::XdgAutostart::systemFolders(), QStringList{u"/etc/xdg/autostart"_s});
    }

    void deleteAutostartEntries_data() {
        qb::test::addTableRows(
            u"settings/delete-autostart.txt"_s,
            {"setup", "selected", "userFiles", "hidingEntry", "hidingText", "failed"});
    }
    void deleteAutostartEntries() {
        QFETCH(QString, setup);
        QFETCH(QString, selected);
        QFETCH(QString, userFiles);
        QFETCH(QString, hidingEntry);
        QFETCH(QString, hidingText);
        QFETCH(QString, failed);
        useAutostartFolders();
        const QString userFolder = path(u"user/autostart/"_s);
        if (setup == u"linked") {
            QVERIFY(QFile::remove(userFolder + u"shared.desktop"_s));
            QVERIFY(QFile::link(path(u"sys/1/autostart/shared.desktop"_s),
                                userFolder + u"shared.desktop"_s));
        } else if (setup == u"unwritable") {
            QVERIFY(QDir(userFolder).removeRecursively());
            qb::test::writeBytes(path(u"user/autostart"_s), "not a folder");
        }
        const auto systemFiles = snapshot(path(u"sys"_s));
        QStringList remaining = rows(list(showWindow(), "lv4"));
        clickOnSelected(u"Button7"_s, items(selected), {qb::mb::IdYes});
        remaining.removeIf([&](const QString& row) {
            const QString name = row.section(u" | "_s, 0, 0);
            return items(selected).contains(name) && !items(failed).contains(name);
        });
        QCOMPARE(rows(lv4()), remaining);
        QCOMPARE(messages(), deletionMessages(true, failed));
        QCOMPARE(QDir(userFolder).entryList(QDir::Files), items(userFiles));
        QCOMPARE(snapshot(path(u"sys"_s)), systemFiles);
        if (setup == u"unwritable")
            QCOMPARE(readBytes(path(u"user/autostart"_s)), "not a folder"_ba);
        if (hidingEntry.isEmpty())
            return;
        QVERIFY(!QFileInfo(userFolder + hidingEntry).isSymLink());
        // Blank lines carry nothing.
        QCOMPARE(readBytes(userFolder + hidingEntry).replace("\n\n", "\n"), hidingText.toUtf8());
    }

    // Any entry listed, a broken one included, can be removed; a folder is no entry.
    void listedAutostartEntries_data() {
        qb::test::addTableRows(u"settings/listed-autostart.txt"_s, {"bytes", "desktop", "shown"});
    }
    void listedAutostartEntries() {
        QFETCH(QString, bytes);
        QFETCH(QString, desktop);
        QFETCH(QString, shown);
        useAutostartFolders(desktop.toUtf8());
        qb::test::writeBytes(path(u"user/autostart/e.desktop"_s), qb::test::bytesOf(bytes));
        QVERIFY(QDir().mkpath(path(u"user/autostart/folder.desktop"_s)));
        QStringList expected = kAutostartRows;
        if (!shown.isEmpty())
            expected.insert(2, shown);
        QCOMPARE(rows(list(showWindow(), "lv4")), expected);
        QCOMPARE(control<QLabel>(*m_window, "Label2")->text(), u"以下是登录时启动的项目"_s);
        clickOnSelected(u"Button7"_s, {shown.section(u" | "_s, 0, 0)}, {qb::mb::IdYes});
        QCOMPARE(rows(lv4()), kAutostartRows);
        QCOMPARE(QFile::exists(path(u"user/autostart/e.desktop"_s)), shown.isEmpty());
    }

    // Deleting an entry the desktop session itself starts in its own phases asks again, by the
    // entry's name; a no keeps that entry and deletes the others chosen.
    void deleteSessionEntry_data() {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<int>("answer"); // to the second question, when asked
        QTest::addColumn<bool>("kept");
        QTest::newRow("session, yes") << u"Initialization"_s << int(qb::mb::IdYes) << false;
        QTest::newRow("session, no") << u"Initialization"_s << int(qb::mb::IdNo) << true;
        QTest::newRow("window manager, no") << u"WindowManager"_s << int(qb::mb::IdNo) << true;
        QTest::newRow("applications") << u"Applications"_s << 0 << false;
    }
    void deleteSessionEntry() {
        QFETCH(QString, phase);
        QFETCH(int, answer);
        QFETCH(bool, kept);
        useAutostartFolders();
        qb::test::writeBytes(path(u"sys/1/autostart/at-spi.desktop"_s),
                             "[Desktop Entry]\nName=AT-SPI\nExec=at-spi\nX-GNOME-Autostart-Phase=" +
                                 phase.toUtf8() + '\n');
        showWindow();
        clickOnSelected(u"Button7"_s, {u"AT-SPI"_s, u"User B"_s},
                        answer ? QList<int>{qb::mb::IdYes, answer} : QList<int>{qb::mb::IdYes});
        QStringList expected{kQuestion};
        if (answer)
            expected << u"“AT-SPI”是桌面会话需要的项目，删除后桌面可能无法正常工作。"
                        u"真的要删除？|慎重考虑|0x14"_s;
        QCOMPARE(messages(), expected);
        QCOMPARE(rows(lv4(), 1).join(u','),
                 kept ? u"用户甲,Shared (user),AT-SPI,System C,noname.desktop,System D"_s
                      : u"用户甲,Shared (user),System C,noname.desktop,System D"_s);
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
