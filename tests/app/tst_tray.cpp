#include "app/sdiappform.h"
#include "platform/scriptedplatform.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;

// The tray icon and minimizing. The offscreen platform has no system tray, like stock GNOME:
// there the window must never hide itself, since nothing could bring it back.
class TestTray : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<TSDIAppForm> m_form;

    // Lets the window react to a state change, including work it queued for later.
    static void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_form = std::make_unique<TSDIAppForm>(m_dir->filePath(QStringLiteral("quillbox.ini")));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    void cleanup() {
        m_form.reset();
        m_platform.reset();
        m_dir.reset();
    }

    void withoutTrayMinimizeKeepsTheWindow() {
        if (QSystemTrayIcon::isSystemTrayAvailable())
            QSKIP("this desktop has a system tray");
        QVERIFY(!m_form->trayIcon()->isVisible());
        for (int round = 0; round < 2; ++round) {
            m_form->showMinimized();
            settle();
            QVERIFY(m_form->isMinimized());
            QVERIFY2(m_form->isVisible(), "minimized without a tray, the window must stay");
            QVERIFY(!m_form->trayIcon()->isVisible());
            m_form->showNormal();
            settle();
            QVERIFY(m_form->isVisible());
            QVERIFY(!m_form->isMinimized());
        }
    }

    // Whichever way the window comes back from the tray, the icon goes.
    void windowComesBackFromTheTray_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("double click") << QStringLiteral("double click");
        QTest::newRow("显示主窗体") << QStringLiteral("N9");
        QTest::newRow("second start") << QStringLiteral("second start");
    }
    void windowComesBackFromTheTray() {
        QFETCH(QString, way);
        m_form->hide();
        m_form->setWindowState(Qt::WindowMinimized);
        m_form->trayIcon()->show();
        Q_EMIT m_form->trayIcon()->activated(QSystemTrayIcon::Context);
        QVERIFY(!m_form->isVisible());
        if (way == QStringLiteral("double click"))
            Q_EMIT m_form->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
        else if (way == QStringLiteral("N9"))
            m_form->findChild<QAction*>(QStringLiteral("N9"))->trigger();
        else
            m_form->showNormal(); // what a second start asks of the running window
        settle();
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->isMinimized());
        QVERIFY(!m_form->trayIcon()->isVisible());
    }

    // The window and the tray show the picture installed for the desktop's launcher.
    void windowAndTrayShowTheInstalledPicture_data() {
        QTest::addColumn<int>("size");
        for (int size : {16, 32, 48, 128})
            QTest::addRow("%d", size) << size;
    }
    void windowAndTrayShowTheInstalledPicture() {
        QFETCH(int, size);
        const QImage picture(QStringLiteral(":/icons/quillbox-%1.png").arg(size));
        QCOMPARE(picture.size(), QSize(size, size));
        const auto shown = [size](const QIcon& icon) {
            return icon.pixmap(QSize(size, size), 1.0)
                .toImage()
                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        };
        const QImage expected = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(shown(m_form->windowIcon()), expected);
        QCOMPARE(shown(m_form->trayIcon()->icon()), expected);
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
