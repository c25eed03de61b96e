// The settings window, driven through its buttons, against two systems: one whose settings the
// test makes up, so the window meets every answer a system can give, and this platform's own
// autostart folders, made for each test.
#include "settings/settingswindow.h"
#include "testfiles.h"

#include "platform/scriptedplatform.h"
#include "platform/xdgautostart.h"

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
using qb::Tfrmsetting1;
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
    QStringList browserExtensions() override {
        calls << u"browserExtensions"_s;
        return extensions;
    }
    bool deleteBrowserExtension(const QString& name) override {
        calls << u"deleteBrowserExtension "_s + name;
        return !undeletable.contains(name) && extensions.removeAll(name) > 0;
    }
    QList<qb::LogonProgram> logonPrograms() override {
        calls << u"logonPrograms"_s;
        if (!readError.isEmpty())
            throw std::runtime_error(readError.toStdString());
        return programs;
    }
    bool deleteLogonProgram(const QString& id) override {
        calls << u"deleteLogonProgram "_s + id;
        return !undeletable.contains(id) &&
               programs.removeIf([&](const qb::LogonProgram& p) { return p.id == id; }) > 0;
    }
    void setMenuShowDelay(int ms) override { calls << u"setMenuShowDelay %1"_s.arg(ms); }
    void setBootTimeout(int seconds) override { calls << u"setBootTimeout %1"_s.arg(seconds); }
};

const QStringList kProgramRows = {u"Alpha | C:\\alpha.exe /min"_s,
                                  u"Beta | \"C:\\Program Files\\b.exe\""_s, u"Gamma | gamma.exe"_s,
                                  u"Delta | "_s};
const QStringList kShowSteps = {u"logonPrograms"_s, u"browserExtensions"_s, u"setMenuShowDelay 1"_s,
                                u"setBootTimeout 3000"_s};

// The standard autostart folders under the test's folder. A user entry overrides a system one
// of the same name, and one with Hidden=true hides it; sys/2's c-sys.desktop is overridden by
// sys/1's.
const std::pair<const char*, const char*> kAutostartFiles[] = {
    {"user/autostart/b-user.desktop",
     "[Desktop Entry]\nType=Application\nName=User B\nExec=b --flag\n"},
    {"user/autostart/a-user.desktop",
     "# comment\n[Desktop Entry]\nName[zh_CN]=用户甲\nName = User A\nExec=a\n"},
    {"user/autostart/shared.desktop", "[Desktop Entry]\nName=Shared (user)\nExec=shared --user\n"},
    {"user/autostart/gone.desktop", "[Desktop Entry]\nName=Gone\nHidden=true\n"},
    {"sys/1/autostart/shared.desktop", "[Desktop Entry]\nName=Shared (system)\nExec=shared\n"},
    {"sys/1/autostart/gone.desktop", "[Desktop Entry]\nName=Gone system\nExec=g\n"},
    {"sys/1/autostart/c-sys.desktop",
     "[Desktop Entry]\r\nType=Application\r\nName=System C\r\n"
     "Exec=c\\s--escaped\r\nHidden=false\r\n[Desktop Action x]\r\nName=Not it\r\n"},
    {"sys/1/autostart/noname.desktop", "[Desktop Entry]\nExec=x\n"},
    {"sys/1/autostart/hidden-sys.desktop", "[Desktop Entry]\nName=Hidden\nExec=h\nHidden=true\n"},
    {"sys/1/autostart/notes.txt", "[Desktop Entry]\nName=Not an entry\n"},
    {"sys/2/autostart/c-sys.desktop", "[Desktop Entry]\nName=Overridden\nExec=no\n"},
    {"sys/2/autostart/d-sys.desktop", "[Desktop Entry]\nName=System D\nExec=d\nName=Later\n"},
};
// What the window lists for them, in order.
const QStringList kAutostartRows = {u"用户甲 | a"_s,
                                    u"User B | b --flag"_s,
                                    u"Shared (user) | shared --user"_s,
                                    u"System C | c --escaped"_s,
                                    u"noname.desktop | x"_s,
                                    u"System D | d"_s};

const QString kQuestion = u"真的要删除？|慎重考虑|0x14"_s;

// Data rows, with texts given as UTF-8.
void addTextColumns(std::initializer_list<const char*> names) {
    for (const char* name : names)
        QTest::addColumn<QString>(name);
}
template <typename T> const T& cell(const T& value) {
    return value;
}
QString cell(const char* text) {
    return QString::fromUtf8(text);
}
template <typename... Cells> void addRow(const char* name, Cells... cells) {
    (QTest::newRow(name) << ... << cell(cells));
}
// The names of a comma-separated list.
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
void selectNames(QAbstractItemView* list, const QStringList& names) {
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QModelIndex index = list->model()->index(row, 0);
        if (names.contains(index.data().toString()))
            list->selectionModel()->select(index,
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// Every file under a folder with its contents, to see that nothing there changed.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
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

    std::unique_ptr<Tfrmsetting1> showWindow() {
        auto window = std::make_unique<Tfrmsetting1>();
        window->show();
        return window;
    }
    // Each message box as "text|caption|flags".
    QStringList messages() const {
        QStringList texts;
        for (const auto& message : m_platform->messages)
            texts << u"%1|%2|0x%3"_s.arg(message.text, message.caption,
                                         QString::number(message.flags, 16));
        return texts;
    }
    // Button7 deletes logon programs (lv4), Button5 extensions (lb1).
    void deleteSelected(Tfrmsetting1& window, const QString& button, const QStringList& names,
                        int answer) {
        selectNames(list(window, button == u"Button7" ? "lv4" : "lb1"), names);
        m_platform->answers.enqueue(answer);
        control(window, qPrintable(button))->click();
    }
    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    void useAutostartFolders() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(u"user"_s)));
        qputenv("XDG_CURRENT_DESKTOP", "X-Test:Openbox");
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(path(u"sys/1"_s) + u":relative/ignored:"_s + path(u"sys/2"_s)));
        m_platform->setSystemSettings(std::make_unique<qb::XdgAutostart>());
        m_system = nullptr;
        for (const auto& [file, text] : kAutostartFiles)
            qb::test::writeBytes(path(QString::fromLatin1(file)), text);
    }

private Q_SLOTS:
    void init() {
        m_platform = std::make_unique<qb::ScopedScriptedPlatform>();
        auto system = std::make_unique<FakeSystemSettings>();
        m_system = system.get();
        m_platform->setSystemSettings(std::move(system));
    }
    void cleanup() {
        m_platform.reset();
        m_dir.reset();
    }

    // Every showing reads the lists, applies the tweaks and disables 应用 again; 应用 disables
    // itself and 放弃 closes the window.
    void showingAndClosing() {
        const auto window = showWindow();
        QCOMPARE(m_system->calls, kShowSteps);
        QCOMPARE(rows(list(*window, "lv4")), kProgramRows);
        // The logon list keeps to the bottom of its page.
        const QWidget* page = control<QTabWidget>(*window, "PageControl1")->widget(0);
        QCOMPARE(list(*window, "lv4")->geometry().bottom(), page->height() - 1);
        QCOMPARE(rows(list(*window, "lb1"), 1), m_system->extensions);
        QPushButton* apply = control(*window, "Button1");
        QVERIFY(!apply->isEnabled());
        apply->setEnabled(true);
        apply->click();
        QVERIFY(!apply->isEnabled());

        window->hide();
        apply->setEnabled(true);
        m_system->calls.clear();
        window->show();
        QCOMPARE(m_system->calls, kShowSteps);
        QVERIFY(!apply->isEnabled());
        QVERIFY(m_platform->messages.isEmpty());
        control(*window, "Button2")->click();
        QVERIFY(!window->isVisible());
        QCOMPARE(window->result(), int(QDialog::Rejected));
    }

    // Logon programs go only after a yes to the question, extensions without one; an entry
    // leaves its list only when the system deleted it, and one message names all that stayed.
    void deleteSelected_data() {
        addTextColumns({"button", "answer", "selected", "undeletable", "deleted", "remaining",
                        "failed"}); // "deleted": what the system was asked to delete
        const char* all = "Alpha,Beta,Gamma,Delta";
        addRow("programs, no", "Button7", "no", "Alpha,Gamma", "", "", all, "");
        addRow("programs, yes", "Button7", "yes", "Alpha,Gamma", "", "id0,id2", "Beta,Delta", "");
        addRow("programs, all", "Button7", "yes", all, "", "id0,id1,id2,id3", "", "");
        addRow("programs, nothing selected", "Button7", "yes", "", "", "", all, "");
        addRow("programs, one fails", "Button7", "yes", "Alpha,Beta,Gamma", "id1", "id0,id1,id2",
               "Beta,Delta", "Beta");
        addRow("programs, two fail, one report", "Button7", "yes", "Alpha,Beta,Delta", "id0,id3",
               "id0,id1,id3", "Alpha,Gamma,Delta", "Alpha,Delta");
        const char* extensions = "&Download,E&xport,Zoom";
        addRow("extensions, one fails", "Button5", "yes", extensions, "E&xport", extensions,
               "E&xport", "E&xport");
        addRow("extensions, nothing selected", "Button5", "yes", "", "", "", extensions, "");
    }

    void deleteSelected() {
        QFETCH(QString, button);
        QFETCH(QString, answer);
        QFETCH(QString, selected);
        QFETCH(QString, undeletable);
        QFETCH(QString, deleted);
        QFETCH(QString, remaining);
        QFETCH(QString, failed);
        const bool programs = button == u"Button7";
        m_system->undeletable = items(undeletable);
        const auto window = showWindow();
        m_system->calls.clear();

        deleteSelected(*window, button, items(selected),
                       answer == u"yes" ? qb::mb::IdYes : qb::mb::IdNo);

        QStringList calls;
        for (const QString& id : items(deleted))
            calls << (programs ? u"deleteLogonProgram "_s : u"deleteBrowserExtension "_s) + id;
        QCOMPARE(m_system->calls, calls);
        const QAbstractItemView* shown = list(*window, programs ? "lv4" : "lb1");
        QCOMPARE(rows(shown, 1), items(remaining));
        if (answer == u"no")
            QCOMPARE(shown->selectionModel()->selectedRows().size(), items(selected).size());
        QCOMPARE(messages(), deletionMessages(programs, failed));
    }

    // A logon entry that cannot be read as text ends the refresh with the default error box and
    // the rows shown before stay. A refresh that reads no extensions keeps the entries the list
    // has; the logon list shows what it reads, none included.
    void refresh() {
        const auto window = showWindow();
        m_system->readError = u"注册表值“X”不是文本"_s;
        control(*window, "Button8")->click();
        QCOMPARE(messages(), QStringList{u"注册表值“X”不是文本.|Quillbox|0x10"_s});
        QCOMPARE(rows(list(*window, "lv4")), kProgramRows);
        m_system->readError.clear();
        m_system->programs = {m_system->programs[3], m_system->programs[0]};
        control(*window, "Button8")->click();
        QCOMPARE(rows(list(*window, "lv4")), (QStringList{kProgramRows[3], kProgramRows[0]}));
        m_system->programs.clear();
        control(*window, "Button8")->click();
        QCOMPARE(rows(list(*window, "lv4")), QStringList());

        const QStringList shown = m_system->extensions;
        m_system->extensions.clear();
        control(*window, "Button6")->click();
        QCOMPARE(rows(list(*window, "lb1"), 1), shown);
        m_system->extensions = {u"New"_s};
        control(*window, "Button6")->click();
        QCOMPARE(rows(list(*window, "lb1"), 1), QStringList{u"New"_s});
    }

    void missingFeatures_data() {
        QTest::addColumn<QList<Feature>>("features");
        addTextColumns({"notes", "disabledButtons", "tweaksNote"});
        addRow("everything", kAllFeatures, "", "", "");
        addRow("nothing", QList<Feature>(), "lb1Note,lv4Note,tweaksNote",
               "Button5,Button6,Button7,Button8",
               "此系统没有菜单显示延迟和启动菜单等待时间，打开本窗口时不作更改。");
        addRow("no boot.ini", kAllFeatures.first(3), "tweaksNote", "",
               "此系统没有启动菜单等待时间，打开本窗口时不作更改。");
    }

    void missingFeatures() {
        QFETCH(QList<Feature>, features);
        QFETCH(QString, notes);
        QFETCH(QString, disabledButtons);
        QFETCH(QString, tweaksNote);
        m_system->features = features;
        const auto window = showWindow();

        for (const char* name : {"lb1Note", "lv4Note", "tweaksNote"}) {
            const QLabel* note = control<QLabel>(*window, name);
            QCOMPARE(note && note->isVisible(), items(notes).contains(QLatin1String(name)));
        }
        for (const char* name : {"Button5", "Button6", "Button7", "Button8"})
            QCOMPARE(control(*window, name)->isEnabled(),
                     !items(disabledButtons).contains(QLatin1String(name)));
        if (!tweaksNote.isEmpty())
            QCOMPARE(control<QLabel>(*window, "tweaksNote")->text(), tweaksNote);
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

    // Autostart entries are listed once each, in folder order, by name, else by file name. A
    // system file is never touched: a user entry with Hidden=true, keeping the settings of the
    // entry it hides, hides it instead.
    // "linked": the user's shared.desktop links to the system's, and is replaced, never written
    // through. "unwritable": the user's autostart path is a plain file, so nothing can be
    // written there, not even by root.
    void deleteAutostartEntries_data() {
        addTextColumns({"setup", "selected", "userFiles", "hidingEntry", "hidingText", "failed"});
        addRow("user entry: its file goes", "", "用户甲",
               "b-user.desktop,gone.desktop,shared.desktop", "", "", "");
        addRow("user entry over a system one", "", "Shared (user)",
               "a-user.desktop,b-user.desktop,gone.desktop,shared.desktop", "shared.desktop",
               "[Desktop Entry]\nName=Shared (user)\nExec=shared --user\nHidden=true\n", "");
        addRow("user entry linked to a system one", "linked", "Shared (system)",
               "a-user.desktop,b-user.desktop,gone.desktop,shared.desktop", "shared.desktop",
               "[Desktop Entry]\nName=Shared (system)\nExec=shared\nHidden=true\n", "");
        addRow("system entry", "", "System C",
               "a-user.desktop,b-user.desktop,c-sys.desktop,gone.desktop,shared.desktop",
               "c-sys.desktop",
               "[Desktop Entry]\nType=Application\nName=System C\nExec=c\\s--escaped\n"
               "Hidden=true\n",
               "");
        addRow("several at once", "", "User B,noname.desktop,System D",
               "a-user.desktop,d-sys.desktop,gone.desktop,noname.desktop,shared.desktop",
               "noname.desktop", "[Desktop Entry]\nExec=x\nHidden=true\n", "");
        addRow("unwritable user folder", "unwritable", "System C,Gone system", "", "", "",
               "System C,Gone system");
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
        const auto window = showWindow();
        QStringList remaining = rows(list(*window, "lv4"));

        deleteSelected(*window, u"Button7"_s, items(selected), qb::mb::IdYes);

        remaining.removeIf([&](const QString& row) {
            const QString name = row.section(u" | "_s, 0, 0);
            return items(selected).contains(name) && !items(failed).contains(name);
        });
        QCOMPARE(rows(list(*window, "lv4")), remaining);
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

    // Only what the session starts on this desktop is listed, by its Simplified Chinese name
    // where it has one. "desktop": XDG_CURRENT_DESKTOP; "shown": the name listed, if any.
    void startedAutostartEntries_data() {
        addTextColumns({"keys", "desktop", "shown"});
        addRow("plain", "", "", "Entry");
        addRow("disabled", "X-GNOME-Autostart-enabled=false", "", "");
        addRow("enabled", "X-GNOME-Autostart-enabled=true", "", "Entry");
        addRow("only in others", "OnlyShowIn=GNOME;KDE;", "Openbox", "");
        addRow("only in one of ours", "OnlyShowIn=GNOME;Openbox", "X-Test:Openbox", "Entry");
        addRow("only in some, desktop unknown", "OnlyShowIn=Openbox;", "", "");
        addRow("not in one of ours", "NotShowIn=KDE;Openbox;", "X-Test:Openbox", "");
        addRow("not in others", "NotShowIn=KDE;", "Openbox", "Entry");
        addRow("TryExec missing", "TryExec=quillbox-test-no-such-program", "", "");
        addRow("TryExec path missing", "TryExec=/nonexistent/e", "", "");
        addRow("TryExec not executable", "TryExec=/etc/passwd", "", "");
        addRow("TryExec found", "TryExec=sh", "", "Entry");
        addRow("TryExec path found", "TryExec=/bin/sh", "", "Entry");
        addRow("Chinese name", "Name[zh]=输入\nName[zh_CN]=输入法", "", "输入法");
        addRow("Chinese language name", "Name[de]=Eingabe\nName[zh]=输入", "", "输入");
    }
    void startedAutostartEntries() {
        QFETCH(QString, keys);
        QFETCH(QString, desktop);
        QFETCH(QString, shown);
        useAutostartFolders();
        qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());
        qb::test::writeBytes(path(u"user/autostart/e.desktop"_s),
                             "[Desktop Entry]\nName=Entry\nExec=e\n" + keys.toUtf8() + '\n');
        const auto window = showWindow();
        QStringList expected = kAutostartRows;
        if (!shown.isEmpty())
            expected.insert(2, shown + u" | e"_s);
        QCOMPARE(rows(list(*window, "lv4")), expected);
        QCOMPARE(control<QLabel>(*window, "Label2")->text(), u"以下是登录时启动的项目"_s);
    }

    // Deleting an entry the desktop session itself starts in its own phases asks again, by the
    // entry's name; a no keeps that entry and deletes the others chosen.
    void deleteSessionEntry_data() {
        addTextColumns({"phase", "answer", "remaining"});
        addRow("session, yes", "Initialization", "yes", "");
        addRow("session, no", "Initialization", "no", "AT-SPI D-Bus Bus");
        addRow("window manager, no", "WindowManager", "no", "AT-SPI D-Bus Bus");
        addRow("applications", "Applications", "", "");
    }
    void deleteSessionEntry() {
        QFETCH(QString, phase);
        QFETCH(QString, answer);
        QFETCH(QString, remaining);
        useAutostartFolders();
        qb::test::writeBytes(path(u"sys/1/autostart/at-spi-dbus-bus.desktop"_s),
                             "[Desktop Entry]\nName=AT-SPI D-Bus Bus\nExec=at-spi\n"
                             "X-GNOME-Autostart-Phase=" +
                                 phase.toUtf8() + '\n');
        const auto window = showWindow();
        selectNames(list(*window, "lv4"), {u"AT-SPI D-Bus Bus"_s, u"User B"_s});
        m_platform->answers.enqueue(qb::mb::IdYes);
        if (!answer.isEmpty())
            m_platform->answers.enqueue(answer == u"yes" ? qb::mb::IdYes : qb::mb::IdNo);
        control(*window, "Button7")->click();
        QStringList expected{kQuestion};
        if (!answer.isEmpty())
            expected << u"“AT-SPI D-Bus Bus”是桌面会话需要的项目，删除后桌面可能无法正常工作。"
                        u"真的要删除？|慎重考虑|0x14"_s;
        QCOMPARE(messages(), expected);
        QStringList names;
        for (const QString& row : rows(list(*window, "lv4"), 1))
            if (row == u"AT-SPI D-Bus Bus" || row == u"User B")
                names << row;
        QCOMPARE(names, items(remaining));
    }

    void brokenAutostartEntry_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe[Desk\x00top\n=\n\x80\x81", 17);
        QTest::newRow("no group") << "Name=Outside\nExec=outside\n"_ba;
        QTest::newRow("other group only") << "[Other]\nName=Other\nExec=other\n"_ba;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no value separator") << "[Desktop Entry]\nName\nExec\n=\n"_ba;
    }

    // A file that is not a desktop entry is listed by its file name and can be removed; a
    // folder is no entry.
    void brokenAutostartEntry() {
        QFETCH(QByteArray, bytes);
        useAutostartFolders();
        qb::test::writeBytes(path(u"user/autostart/broken.desktop"_s), bytes);
        QVERIFY(QDir().mkpath(path(u"user/autostart/folder.desktop"_s)));
        const auto window = showWindow();
        QStringList expected = kAutostartRows;
        expected.insert(2, u"broken.desktop | "_s);
        QCOMPARE(rows(list(*window, "lv4")), expected);

        deleteSelected(*window, u"Button7"_s, {u"broken.desktop"_s}, qb::mb::IdYes);
        QCOMPARE(rows(list(*window, "lv4")), kAutostartRows);
        QVERIFY(!QFile::exists(path(u"user/autostart/broken.desktop"_s)));
        QCOMPARE(messages(), QStringList{kQuestion});
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
