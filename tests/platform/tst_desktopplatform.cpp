#include "platform/desktopplatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace qb;
using namespace Qt::StringLiterals;

class TestDesktopPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What opening a target gives the desktop; a folder that exists opens as a file.
    void urlsForTargets_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("url");
        // Target and url, one pair a line.
        const QStringList rows =
            u"www.example.com>http://www.example.com\nmailto:a@b.cn>mailto:a@b.cn\n"
            "file:///etc/passwd>file:///etc/passwd\n  www.example.com  >http://www.example.com\n"
            "\thttps://x.cn/a b >https://x.cn/a b\na.cn/$(rm -rf ~);`x`>http://a.cn/$(rm -rf "
            "~);`x`\n"
            "/tmp>file:///tmp"_s.split(u'\n');
        for (const QString& row : rows)
            QTest::newRow(qPrintable(row)) << row.section(u'>', 0, 0) << row.section(u'>', 1);
    }
    void urlsForTargets() {
        QFETCH(QString, target);
        QFETCH(QString, url);
        QCOMPARE(desktopUrlFor(target), url);
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
