#include "navpanel/nodedata.h"
#include "testfiles.h"

#include <QStringEncoder>
#include <QTest>

using namespace qb;

class TestNodeData : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void trimmedValue_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("padding of a fixed-width column")
            << QStringLiteral("王伟      ") << QStringLiteral("王伟");
        QTest::newRow("tabs and line breaks at both ends")
            << QStringLiteral("\t\r\nhttp://a.cn/ \r\n") << QStringLiteral("http://a.cn/");
        QTest::newRow("control characters count as blanks")
            << QStringLiteral("\x01x\x1f") << QStringLiteral("x");
        QTest::newRow("inner blanks stay") << QStringLiteral(" a b ") << QStringLiteral("a b");
        QTest::newRow("ideographic space is no blank")
            << QStringLiteral("\u3000名\u3000") << QStringLiteral("\u3000名\u3000");
        QTest::newRow("only blanks") << QStringLiteral("  \t ") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void trimmedValue() {
        QFETCH(QString, value);
        QFETCH(QString, trimmed);
        QCOMPARE(qb::trimmedValue(value), trimmed);
    }

    void cutToAnsiBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cut");
        const QString han = QStringLiteral("汉");
        const QString ascii255 = QString(255, u'a');
        QTest::newRow("255 ASCII bytes stay") << ascii255 << ascii255;
        QTest::newRow("256 ASCII bytes lose one") << ascii255 + u'b' << ascii255;
        QTest::newRow("a two-byte character across the limit goes whole")
            << han.repeated(200) << han.repeated(127);
        QTest::newRow("two-byte characters ending on the limit")
            << u'a' + han.repeated(200) << u'a' + han.repeated(127);
        // U+0100 is no GBK character: GB18030 gives it four bytes.
        QTest::newRow("a four-byte character across the limit goes whole")
            << QStringLiteral("ab") + QString(70, QChar(0x100))
            << QStringLiteral("ab") + QString(63, QChar(0x100));
        // Outside the BMP: a surrogate pair, four bytes, never split in two.
        const QString smile = QStringLiteral("\U0001F600");
        QTest::newRow("a surrogate pair across the limit goes whole")
            << QStringLiteral("abc") + smile.repeated(70)
            << QStringLiteral("abc") + smile.repeated(63);
        QTest::newRow("short Chinese text stays") << han.repeated(127) << han.repeated(127);
    }
    void cutToAnsiBytes() {
        QFETCH(QString, text);
        QFETCH(QString, cut);
        const QString result = qb::cutToAnsiBytes(text, 255);
        QCOMPARE(result, cut);
        QVERIFY(qb::test::gb18030(result).size() <= 255);
    }

    void nodeValueTrimsBeforeCutting() {
        // Blanks at the ends do not use up the 255 bytes.
        const QString url = QStringLiteral("http://") + QString(248, u'x');
        QCOMPARE(nodeValue(QString(20, u' ') + url + QStringLiteral("   ")), url);
    }
};

QTEST_GUILESS_MAIN(TestNodeData)
#include "tst_nodedata.moc"
