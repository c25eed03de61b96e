// The settings window, driven through its buttons, against two systems: one whose settings the
// test makes up, so the window meets every answer a system can give, and this platform's own
// autostart folders, made for each test from tests/data/settings.
#include "settings/settingswindow.h"
#include "tables.h"
#include "testfiles.h"
#include "windowdriver.h"

#include "platform/xdgautostart.h"

#include <QtTest>
#include <QtWidgets>

#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace qb::test;
using Feature = qb::SystemSettings::Feature;

namespace {

// Answers from lists the test fills and logs every call.
class FakeSystemSettings : public qb::SystemSettings {
public:
    QString features = u"1111"_s; // one digit a feature, in their order
    QStringList extensions = {u"&Download"_s, u"E&xport"_s, u"Zoom"_s};
    QList<qb::LogonProgram> programs = {{u"id0"_s, u"Alpha"_s, u"C:\\alpha.exe /min"_s},
                                        {u"id1"_s, u"Beta"_s, u"\"C:\\Program Files\\b.exe\""_s},
                                        {u"id2"_s, u"Gamma"_s, u"gamma.exe"_s},
                                        {u"id3"_s, u"Delta"_s, QString()}};
    QStringList undeletable; // extension names and program ids whose deletion fails
    QString readError;       // when set, reading the logon programs throws it
    QStringList calls;

    bool has(Feature feature) const override { return features[int(feature)] == u'1'; }
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

const QString kProgramRows =
    u"Alpha | C:\\alpha.exe /min,Beta | \"C:\\Program Files\\b.exe\",Gamma | gamma.exe,Delta | "_s;

template <typename Control = QPushButton>
Control* control(const QWidget& window, const char* name) {
    return window.findChild<Control*>(QString::fromLatin1(name));
}

// Each row as the user reads it: its columns joined by " | ", the rows by ",".
QString rows(const QAbstractItemView* list, int columns = 2) {
    const QAbstractItemModel* model = list->model();
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < columns; ++column)
            cells << model->index(row, column).data().toString();
        texts << cells.join(u" | "_s);
    }
    return texts.join(u',');
}

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<Sandbox> m_box;
    FakeSystemSettings* m_system = nullptr; // unused once the autostart folders are
    std::unique_ptr<qb::Tfrmsetting1> m_window;

    qb::Tfrmsetting1& showWindow() {
        m_window = std::make_unique<qb::Tfrmsetting1>();
        m_window->show();
        return *m_window;
    }
    QString path(const QString& relative) const { return m_box->path(relative); }
    QAbstractItemView* list(const char* name) const {
        return control<QAbstractItemView>(*m_window, name);
    }
    // Selects the named rows and clicks the button, its answers scripted first.
    void clickOnSelected(const char* button, const QString& names, const QString& answers) {
        auto* view = list(qstrcmp(button, "Button5") == 0 ? "lb1" : "lv4");
        for (int row = 0; row < view->model()->rowCount(); ++row)
            if (items(names).contains(view->model()->index(row, 0).data().toString()))
                view->selectionModel()->select(view->model()->index(row, 0),
                                               QItemSelectionModel::Select |
                                                   QItemSelectionModel::Rows);
        for (const QString& answer : items(answers))
            m_box->platform.answers << (answer == u"yes" ? qb::mb::IdYes : qb::mb::IdNo);
        control(*m_window, button)->click();
    }

    void useAutostartFolders(const QByteArray& desktop = "X-Test:Openbox") {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(u"user"_s)));
        qputenv("XDG_CURRENT_DESKTOP", desktop);
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(path(u"sys/1"_s) + u":relative/ignored:"_s + path(u"sys/2"_s)));
        m_box->platform.setSystemSettings(std::make_unique<qb::XdgAutostart>());
        for (const auto& file : readTable(u"settings/autostart-folders.txt"_s))
            writeBytes(path(file.name), bytesOf(file.cells[0]));
    }

private Q_SLOTS:
    void init() {
        m_box = std::make_unique<Sandbox>();
        auto system = std::make_unique<FakeSystemSettings>();
        m_system = system.get();
        m_box->platform.setSystemSettings(std::move(system));
    }
    void cleanup() { m_window.reset(), m_box.reset(); }

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
        QCOMPARE(m_box->boxes(), u"[Quillbox 0x10] 注册表值“X”不是文本."_s);
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
        QCOMPARE(rows(list("lv4")), kProgramRows);
        const auto* lv4 = control<QWidget>(window, "lv4");
        QCOMPARE(lv4->palette().color(QPalette::Inactive, QPalette::Highlight),
                 QColor(0x30, 0x50, 0xa0));
        QCOMPARE(lv4->geometry().bottom(), lv4->parentWidget()->height() - 1);
        m_system->readError = u"坏"_s;
        control(window, "Button8")->click();
        QCOMPARE(rows(list("lv4")), kProgramRows);
        m_system->readError.clear();
        m_system->programs.clear();
        control(window, "Button8")->click();
        QCOMPARE(rows(list("lv4")), QString());
        m_system->extensions.clear();
        control(window, "Button6")->click();
        QCOMPARE(rows(list("lb1"), 1), u"&Download,E&xport,Zoom"_s);
        m_system->extensions = {u"New"_s};
        control(window, "Button6")->click();
        QCOMPARE(rows(list("lb1"), 1), u"New"_s);
        control(window, "Button2")->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
    }

    void deleteSelected_data() { addTableRows(u"settings/delete-selected.txt"_s); }
    void deleteSelected() {
        const auto [button, answer, selected, undeletable, deleted, remaining, shown] = cells<7>();
        m_system->undeletable = items(undeletable);
        showWindow();
        m_system->calls.clear();
        clickOnSelected(qPrintable(button), selected, answer);
        QCOMPARE(m_system->calls.join(u','), deleted);
        const auto* view = list(button == u"Button5" ? "lb1" : "lv4");
        QCOMPARE(rows(view, 1), remaining);
        if (answer == u"no") // the choice stays
            QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
        QCOMPARE(m_box->boxes(), shown);
    }

    void missingFeatures_data() { addTableRows(u"settings/missing-features.txt"_s); }
    void missingFeatures() {
        const auto [features, disabled, tweaksNote] = cells<3>();
        if (features == u"autostart")
            useAutostartFolders();
        else
            m_system->features = features;
        auto& window = showWindow();
        QStringList off;
        for (const QString& name :
             items(u"lb1Note,lv4Note,tweaksNote,Button5,Button6,Button7,Button8"_s)) {
            const auto* control = window.findChild<QWidget*>(name);
            if (control && (name.endsWith(u"Note") ? control->isVisible() : !control->isEnabled()))
                off << name;
        }
        QCOMPARE(off.join(u','), disabled);
        if (!tweaksNote.isEmpty())
            QCOMPARE(control<QLabel>(window, "tweaksNote")->text(), tweaksNote);
    }

    void autostartFolders() {
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
        QCOMPARE(qb::XdgAutostart::userFolder(), QDir::homePath() + u"/.config/autostart"_s);
        QCOMPARE(qb::XdgAutostart::systemFolders(), QStringList{u"/etc/xdg/autostart"_s});
    }

    void autostartEntries_data() { addTableRows(u"settings/autostart.txt"_s); }
    void autostartEntries() {
        const auto [setup, desktop, listed, selected, answers, rowsAfter, userFiles, hidingEntry,
                    hidingText, shown] = cells<10>();
        useAutostartFolders(desktop.toUtf8());
        const QString userFolder = path(u"user/autostart/"_s);
        QVERIFY(QDir().mkpath(userFolder + u"folder.desktop"_s));
        if (setup == u"linked") {
            QVERIFY(QFile::remove(userFolder + u"shared.desktop"_s));
            QVERIFY(QFile::link(path(u"sys/1/autostart/shared.desktop"_s),
                                userFolder + u"shared.desktop"_s));
        } else if (setup == u"unwritable") {
            QVERIFY(QDir(userFolder).removeRecursively());
            writeBytes(path(u"user/autostart"_s), "not a folder");
        } else if (setup.startsWith(u"phase=")) {
            writeBytes(path(u"sys/1/autostart/at-spi.desktop"_s),
                       "[Desktop Entry]\nName=AT-SPI\nExec=at-spi\nX-GNOME-Autostart-Phase=" +
                           setup.mid(6).toUtf8() + '\n');
        } else if (setup.startsWith(u"e=")) {
            writeBytes(userFolder + u"e.desktop"_s, bytesOf(setup.mid(2)));
        }
        showWindow();
        QCOMPARE(rows(list("lv4")), listed);
        QCOMPARE(control<QLabel>(*m_window, "Label2")->text(), u"以下是登录时启动的项目"_s);
        clickOnSelected("Button7", selected, answers);
        QCOMPARE(rows(list("lv4"), 1), rowsAfter);
        QCOMPARE(m_box->boxes(), shown);
        QCOMPARE(QDir(userFolder).entryList(QDir::Files).join(u','), userFiles);
        for (const auto& file : readTable(u"settings/autostart-folders.txt"_s))
            if (file.name.startsWith(u"sys")) // the system's files stay as they were
                QCOMPARE(readBytes(path(file.name)), bytesOf(file.cells[0]));
        if (setup == u"unwritable")
            QCOMPARE(readBytes(path(u"user/autostart"_s)), "not a folder"_ba);
        if (hidingEntry.isEmpty())
            return;
        QVERIFY(!QFileInfo(userFolder + hidingEntry).isSymLink());
        // Blank lines carry nothing.
        QCOMPARE(readBytes(userFolder + hidingEntry).replace("\n\n", "\n"), hidingText.toUtf8());
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
