#include "platform/desktopplatform.h"
#include "tables.h"

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
    void urlsForTargets_data() { test::addTableRows(u"platform/urls.txt"_s, {"target", "url"}); }
    void urlsForTargets() {
        QFETCH(QString, target);
        QFETCH(QString, url);
        QCOMPARE(desktopUrlFor(target), url);
    }

    void nameFilter() {
        QCOMPARE(qtNameFilter(u"文本文件|*.txt|名片|*.vcf;*.vcard"_s),
                 u"文本文件 (*.txt);;名片 (*.vcf *.vcard)"_s);
    }

    // The buttons, the answer Enter gives and the icon of a box for its flags.
    void messageBoxButtons_data() {
        test::addTableRows(u"platform/message-boxes.txt"_s, {"flags", "shown"});
    }
    void messageBoxButtons() {
        QFETCH(QString, flags);
        QFETCH(QString, shown);
        DesktopPlatform desktop;
        QString seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            seen = u"%1 buttons, icon %2, "_s.arg(box->buttons().size()).arg(int(box->icon()));
            box->defaultButton()->click();
        });
        const int answer = desktop.messageBox(u"文字"_s, u"标题"_s, flags.toUInt(nullptr, 16));
        QCOMPARE(seen + u"answer %1"_s.arg(answer), shown);
    }
};

QTEST_MAIN(TestDesktopPlatform)
#include "tst_desktopplatform.moc"
