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

    // What the user sees, after the window has done the work it queued for later.
    QString seen() const {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        QStringList parts;
        if (m_form->isVisible())
            parts << QStringLiteral("window");
        if (m_form->isMinimized())
            parts << QStringLiteral("minimized");
        if (m_form->trayIcon()->isVisible())
            parts << QStringLiteral("tray");
        return parts.join(u',');
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_form = std::make_unique<TSDIAppForm>(m_dir->filePath(QStringLiteral("quillbox.ini")));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    void cleanup() { m_form.reset(), m_platform.reset(); }

    void withoutTrayMinimizeKeepsTheWindow() {
        if (QSystemTrayIcon::isSystemTrayAvailable())
            QSKIP("this desktop has a system tray");
        for (int round = 0; round < 2; ++round) {
            m_form->showMinimized();
            QCOMPARE(seen(), QStringLiteral("window,minimized"));
            m_form->showNormal();
            QCOMPARE(seen(), QStringLiteral("window"));
        }
    }

    // Whichever way the window comes back from the tray, the icon goes.
    void windowComesBackFromTheTray_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("double click") << 0;
        QTest::newRow("显示主窗体") << 1;
        QTest::newRow("second start") << 2;
    }
    void windowComesBackFromTheTray() {
        QFETCH(int, way);
        m_form->hide();
        m_form->setWindowState(Qt::WindowMinimized);
        m_form->trayIcon()->show();
        Q_EMIT m_form->trayIcon()->activated(QSystemTrayIcon::Context);
        QCOMPARE(seen(), QStringLiteral("minimized,tray"));
        if (way == 0)
            Q_EMIT m_form->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
        else if (way == 1)
            m_form->findChild<QAction*>(QStringLiteral("N9"))->trigger();
        else
            m_form->showNormal(); // what a second start asks of the running window
        QCOMPARE(seen(), QStringLiteral("window"));
    }

    // The window and the tray show the picture installed for the desktop's launcher.
    void windowAndTrayShowTheInstalledPicture() {
        for (int size : {16, 32, 48, 128}) {
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
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
