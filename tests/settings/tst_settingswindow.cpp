// The settings window's own logic against a system whose settings the test makes up, so the
// callers of the Windows registry routines are exercised here.
#include "settings/settingswindow.h"
#include "settingsprobe.h"

#include "platform/scriptedplatform.h"
#include "platform/systemsettings.h"

#include <QHeaderView>
#include <QTabWidget>
#include <QTest>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace settingsprobe;
using Feature = qb::SystemSettings::Feature;

namespace {

const QList<Feature> kAllFeatures = {Feature::BrowserExtensions, Feature::LogonPrograms,
                                     Feature::MenuShowDelay, Feature::BootTimeout};

// Answers from lists the test fills and logs every call.
class FakeSystemSettings : public qb::SystemSettings {
public:
    QList<Feature> features = kAllFeatures;
    QStringList extensions;
    QList<qb::LogonProgram> programs;
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
    void setMenuShowDelay(int milliseconds) override {
        calls << u"setMenuShowDelay %1"_s.arg(milliseconds);
    }
    void setBootTimeout(int seconds) override { calls << u"setBootTimeout %1"_s.arg(seconds); }
};

const QList<qb::LogonProgram> kPrograms = {
    {u"id0"_s, u"Alpha"_s, u"C:\\alpha.exe /min"_s},
    {u"id1"_s, u"Beta"_s, u"\"C:\\Program Files\\beta.exe\""_s},
    {u"id2"_s, u"Gamma"_s, u"gamma.exe"_s},
    {u"id3"_s, u"Delta"_s, QString()},
};

const QStringList kProgramRows = {
    u"Alpha | C:\\alpha.exe /min"_s,
    u"Beta | \"C:\\Program Files\\beta.exe\""_s,
    u"Gamma | gamma.exe"_s,
    u"Delta | "_s,
};

const QStringList kShowSteps = {u"logonPrograms"_s, u"browserExtensions"_s, u"setMenuShowDelay 1"_s,
                                u"setBootTimeout 3000"_s};

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<qb::ScopedScriptedPlatform> m_platform;
    FakeSystemSettings* m_system = nullptr;

    std::unique_ptr<Tfrmsetting1> showWindow() {
        auto window = std::make_unique<Tfrmsetting1>();
        window->show();
        return window;
    }

private Q_SLOTS:
    void init() {
        m_platform = std::make_unique<qb::ScopedScriptedPlatform>();
        auto system = std::make_unique<FakeSystemSettings>();
        m_system = system.get();
        m_system->extensions = {u"&Download with X"_s, u"E&xport to Y"_s, u"Zoom"_s};
        m_system->programs = kPrograms;
        m_platform->setSystemSettings(std::move(system));
    }

    void cleanup() { m_platform.reset(); }

    void face() {
        const auto window = showWindow();
        QCOMPARE(window->windowTitle(), u"设置"_s);
        QCOMPARE(window->size(), QSize(449, 342));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(window->font().family(), u"宋体"_s);
        QCOMPARE(window->font().pointSize(), 9);
        const auto* pages = control<QTabWidget>(*window, "PageControl1");
        QCOMPARE(pages->count(), 1);
        QCOMPARE(pages->tabText(0), u"选项1"_s);
        QCOMPARE(control<QLabel>(*window, "Label2")->text(), u"以下是WINDOWS启动项目"_s);
        const QStringList captions{u"应用"_s, u"放弃"_s,     u"删除选的"_s,
                                   u"刷新"_s, u"删除选的"_s, u"刷新"_s};
        const char* const names[] = {"Button1", "Button2", "Button5",
                                     "Button6", "Button7", "Button8"};
        for (int i = 0; i < captions.size(); ++i)
            QCOMPARE(button(*window, names[i])->text(), captions[i]);
        const QTreeWidget* logon = logonList(*window);
        QCOMPARE(logon->headerItem()->text(0), u"启动项目名"_s);
        QCOMPARE(logon->headerItem()->text(1), u"路径"_s);
        QCOMPARE(logon->accessibleName(), u"以下是WINDOWS启动项目"_s);
        QVERIFY(!extensionList(*window)->accessibleName().isEmpty());
        // The logon list keeps to the bottom of its page.
        const QWidget* page = pages->widget(0);
        QCOMPARE(logon->geometry().bottom(), page->height() - 1);
        QCOMPARE(logon->width(), page->width());
    }

    void everyShowingRunsTheShowSteps() {
        const auto window = showWindow();
        QCOMPARE(m_system->calls, kShowSteps);
        QVERIFY(!button(*window, "Button1")->isEnabled());
        QCOMPARE(rows(logonList(*window)), kProgramRows);
        QCOMPARE(texts(extensionList(*window)), m_system->extensions);

        window->hide();
        button(*window, "Button1")->setEnabled(true);
        m_system->calls.clear();
        window->show();
        QCOMPARE(m_system->calls, kShowSteps);
        QVERIFY(!button(*window, "Button1")->isEnabled());
        QVERIFY(m_platform->messages.isEmpty());
    }

    void applyAndCancel() {
        const auto window = showWindow();
        QPushButton* apply = button(*window, "Button1");
        apply->setEnabled(true);
        apply->click();
        QVERIFY(!apply->isEnabled());
        QVERIFY(window->isVisible());
        button(*window, "Button2")->click();
        QVERIFY(!window->isVisible());
        QCOMPARE(window->result(), int(QDialog::Rejected));
    }

    void deleteLogonPrograms_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("undeletable");
        QTest::addColumn<QStringList>("deleted");
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<QString>("failureReport");

        const QStringList none;
        QTest::newRow("no") << qb::mb::IdNo << QStringList{u"Alpha"_s, u"Gamma"_s} << none << none
                            << QStringList{u"Alpha"_s, u"Beta"_s, u"Gamma"_s, u"Delta"_s}
                            << QString();
        QTest::newRow("yes") << qb::mb::IdYes << QStringList{u"Alpha"_s, u"Gamma"_s} << none
                             << QStringList{u"id0"_s, u"id2"_s}
                             << QStringList{u"Beta"_s, u"Delta"_s} << QString();
        QTest::newRow("yes, all") << qb::mb::IdYes
                                  << QStringList{u"Alpha"_s, u"Beta"_s, u"Gamma"_s, u"Delta"_s}
                                  << none << QStringList{u"id0"_s, u"id1"_s, u"id2"_s, u"id3"_s}
                                  << none << QString();
        QTest::newRow("yes, nothing selected")
            << qb::mb::IdYes << none << none << none
            << QStringList{u"Alpha"_s, u"Beta"_s, u"Gamma"_s, u"Delta"_s} << QString();
        QTest::newRow("one fails")
            << qb::mb::IdYes << QStringList{u"Alpha"_s, u"Beta"_s, u"Gamma"_s}
            << QStringList{u"id1"_s} << QStringList{u"id0"_s, u"id1"_s, u"id2"_s}
            << QStringList{u"Beta"_s, u"Delta"_s} << u"以下项目未能删除：\nBeta"_s;
        QTest::newRow("two fail, one report")
            << qb::mb::IdYes << QStringList{u"Alpha"_s, u"Beta"_s, u"Delta"_s}
            << QStringList{u"id0"_s, u"id3"_s} << QStringList{u"id0"_s, u"id1"_s, u"id3"_s}
            << QStringList{u"Alpha"_s, u"Gamma"_s, u"Delta"_s}
            << u"以下项目未能删除：\nAlpha\nDelta"_s;
    }

    void deleteLogonPrograms() {
        QFETCH(int, answer);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, undeletable);
        QFETCH(QStringList, deleted);
        QFETCH(QStringList, remaining);
        QFETCH(QString, failureReport);
        m_system->undeletable = undeletable;
        const auto window = showWindow();
        QTreeWidget* list = logonList(*window);
        selectNames(list, selected);
        m_system->calls.clear();

        m_platform->answers.enqueue(answer);
        button(*window, "Button7")->click();

        QStringList expectedCalls;
        for (const QString& id : deleted)
            expectedCalls << u"deleteLogonProgram "_s + id;
        QCOMPARE(m_system->calls, expectedCalls);
        QStringList names;
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            names << list->topLevelItem(row)->text(0);
        QCOMPARE(names, remaining);
        if (answer == qb::mb::IdNo)
            QCOMPARE(selectedNames(list), selected);
        const auto& messages = m_platform->messages;
        QCOMPARE(messages.size(), failureReport.isEmpty() ? 1 : 2);
        QCOMPARE(messages[0].text, u"真的要删除？"_s);
        QCOMPARE(messages[0].caption, u"慎重考虑"_s);
        QCOMPARE(messages[0].flags, 0x14u);
        if (!failureReport.isEmpty()) {
            QCOMPARE(messages[1].text, failureReport);
            QCOMPARE(messages[1].caption, u"Quillbox"_s);
            QCOMPARE(messages[1].flags, 0x10u);
        }
    }

    // Extensions are deleted without a question; only the deleted ones leave the list.
    void deleteExtensions() {
        m_system->undeletable = {u"E&xport to Y"_s};
        const auto window = showWindow();
        QListWidget* list = extensionList(*window);
        list->selectAll();
        m_system->calls.clear();

        button(*window, "Button5")->click();

        QCOMPARE(m_system->calls, (QStringList{u"deleteBrowserExtension &Download with X"_s,
                                               u"deleteBrowserExtension E&xport to Y"_s,
                                               u"deleteBrowserExtension Zoom"_s}));
        QCOMPARE(texts(list), QStringList{u"E&xport to Y"_s});
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(m_platform->messages[0].text, u"以下项目未能删除：\nE&xport to Y"_s);
        QCOMPARE(m_platform->messages[0].caption, u"Quillbox"_s);
    }

    void deleteExtensionsWithNothingSelected() {
        const auto window = showWindow();
        m_system->calls.clear();
        button(*window, "Button5")->click();
        QVERIFY(m_system->calls.isEmpty());
        QCOMPARE(texts(extensionList(*window)).size(), 3);
        QVERIFY(m_platform->messages.isEmpty());
    }

    // A refresh that reads no extensions keeps the entries the list has.
    void refreshExtensions() {
        const auto window = showWindow();
        const QStringList shown = m_system->extensions;
        m_system->extensions.clear();
        button(*window, "Button6")->click();
        QCOMPARE(texts(extensionList(*window)), shown);

        m_system->extensions = {u"New"_s};
        button(*window, "Button6")->click();
        QCOMPARE(texts(extensionList(*window)), QStringList{u"New"_s});
    }

    void refreshLogonPrograms() {
        const auto window = showWindow();
        m_system->programs = {kPrograms[3], kPrograms[0]};
        button(*window, "Button8")->click();
        QCOMPARE(rows(logonList(*window)), (QStringList{kProgramRows[3], kProgramRows[0]}));
        m_system->programs.clear();
        button(*window, "Button8")->click();
        QCOMPARE(logonList(*window)->topLevelItemCount(), 0);
    }

    // A logon entry that cannot be read as text ends the refresh with the default error box;
    // the rows shown before stay.
    void readErrorReachesTheErrorBox() {
        const auto window = showWindow();
        m_system->readError = u"注册表值“X”不是文本"_s;
        button(*window, "Button8")->click();
        QCOMPARE(m_platform->messages.size(), 1);
        QCOMPARE(m_platform->messages[0].text, u"注册表值“X”不是文本."_s);
        QCOMPARE(m_platform->messages[0].caption, u"Quillbox"_s);
        QCOMPARE(m_platform->messages[0].flags, 0x10u);
        QCOMPARE(rows(logonList(*window)), kProgramRows);
    }

    void missingFeatures_data() {
        QTest::addColumn<QList<Feature>>("features");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<QStringList>("disabledButtons");
        QTest::addColumn<QString>("tweaksNote");

        QTest::newRow("everything") << kAllFeatures << QStringList() << QStringList() << QString();
        QTest::newRow("nothing")
            << QList<Feature>() << QStringList{u"lb1Note"_s, u"lv4Note"_s, u"tweaksNote"_s}
            << QStringList{u"Button5"_s, u"Button6"_s, u"Button7"_s, u"Button8"_s}
            << u"此系统没有菜单显示延迟和启动菜单等待时间，打开本窗口时不作更改。"_s;
        QTest::newRow("no boot.ini")
            << QList<Feature>{Feature::BrowserExtensions, Feature::LogonPrograms,
                              Feature::MenuShowDelay}
            << QStringList{u"tweaksNote"_s} << QStringList()
            << u"此系统没有启动菜单等待时间，打开本窗口时不作更改。"_s;
    }

    void missingFeatures() {
        QFETCH(QList<Feature>, features);
        QFETCH(QStringList, notes);
        QFETCH(QStringList, disabledButtons);
        QFETCH(QString, tweaksNote);
        m_system->features = features;
        const auto window = showWindow();

        for (const char* name : {"lb1Note", "lv4Note", "tweaksNote"}) {
            const QLabel* note = control<QLabel>(*window, name);
            QCOMPARE(note != nullptr, notes.contains(QString::fromLatin1(name)));
            if (note)
                QVERIFY(note->isVisible());
        }
        for (const char* name : {"Button5", "Button6", "Button7", "Button8"}) {
            QCOMPARE(button(*window, name)->isEnabled(),
                     !disabledButtons.contains(QString::fromLatin1(name)));
        }
        if (!tweaksNote.isEmpty())
            QCOMPARE(control<QLabel>(*window, "tweaksNote")->text(), tweaksNote);
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
