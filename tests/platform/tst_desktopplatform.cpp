#include "platform/desktopplatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace qb;

class TestDesktopPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void urlsForTargets_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("url");
        QTest::newRow("bare host")
            << QStringLiteral("www.example.com") << QStringLiteral("http://www.example.com");
        QTest::newRow("with scheme")
            << QStringLiteral("https://x.cn/a?b=1") << QStringLiteral("https://x.cn/a?b=1");
        QTest::newRow("mail") << QStringLiteral("mailto:a@b.cn") << QStringLiteral("mailto:a@b.cn");
        QTest::newRow("file scheme kept")
            << QStringLiteral("file:///etc/passwd") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("blanks around a bare host")
            << QStringLiteral("  www.example.com  ") << QStringLiteral("http://www.example.com");
        QTest::newRow("blanks around a url")
            << QStringLiteral("\thttps://x.cn/a b ") << QStringLiteral("https://x.cn/a b");
        QTest::newRow("shell characters stay text")
            << QStringLiteral("a.cn/$(rm -rf ~);`x`")
            << QStringLiteral("http://a.cn/$(rm -rf ~);`x`");
    }
    void urlsForTargets() {
        QFETCH(QString, target);
        QFETCH(QString, url);
        QCOMPARE(desktopUrlFor(target), url);
    }

    void existingFolderOpensAsFile() {
        QTemporaryDir dir;
        QCOMPARE(desktopUrlFor(dir.path()), QStringLiteral("file://") + dir.path());
    }

    void nameFilters() {
        QCOMPARE(qtNameFilter(QStringLiteral("ACESS数据库文件|*.mdb")),
                 QStringLiteral("ACESS数据库文件 (*.mdb)"));
        QCOMPARE(qtNameFilter(QStringLiteral("文本文件|*.txt|名片|*.vcf;*.vcard")),
                 QStringLiteral("文本文件 (*.txt);;名片 (*.vcf *.vcard)"));
    }

    void messageBoxButtons_data() {
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("defaultAnswer");
        QTest::addColumn<int>("icon");
        QTest::newRow("delete question") << 0x114u << 2 << mb::IdNo << int(QMessageBox::Critical);
        QTest::newRow("settings question") << 0x14u << 2 << mb::IdYes << int(QMessageBox::Critical);
        QTest::newRow("not found") << 0x30u << 1 << mb::IdOk << int(QMessageBox::Warning);
        QTest::newRow("empty value") << 0x0u << 1 << mb::IdOk << int(QMessageBox::NoIcon);
    }
    void messageBoxButtons() {
        QFETCH(unsigned, flags);
        QFETCH(int, buttons);
        QFETCH(int, defaultAnswer);
        QFETCH(int, icon);
        DesktopPlatform desktop;
        int seenButtons = -1;
        int seenIcon = -1;
        // Answers the box with its default button, as Enter would.
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenButtons = int(box->buttons().size());
            seenIcon = int(box->icon());
            box->defaultButton()->click();
        });
        QCOMPARE(desktop.messageBox(QStringLiteral("文字"), QStringLiteral("标题"), flags),
                 defaultAnswer);
        QCOMPARE(seenButtons, buttons);
        QCOMPARE(seenIcon, icon);
    }
};

QTEST_MAIN(TestDesktopPlatform)
#include "tst_desktopplatform.moc"
