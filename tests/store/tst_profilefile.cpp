#include "store/profilefile.h"
#include "testfiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using qb::ProfileFile;

namespace {

// What a rewrite without changes gives: every line as it was, ended by CR LF.
QByteArray withCrLfLines(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.back().isEmpty())
        lines.removeLast();
    QByteArray out;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        out += line + "\r\n";
    }
    return out;
}

// A file whose section "s" holds the one key "k".
QString oneKey(const QString& value) {
    return u"[s]\r\nk="_s + value + u"\r\n"_s;
}

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    void writeText(const QString& text) { qb::test::writeBytes(m_path, qb::test::gb18030(text)); }

private Q_SLOTS:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(u"prefs.ini"_s);
        QFile::remove(m_path);
    }

    void readString_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QString dflt = u"<default>"_s;
        const QString s = u"s"_s;
        const QString k = u"k"_s;
        QTest::newRow("case-blind names")
            << u"[LastPath]\r\nPathMdb=x\r\n"_s << u"lastpath"_s << u"PATHMDB"_s << u"x"_s;
        QTest::newRow("blanks around name and value")
            << u"[s]\r\n \t k \t=  v  v \t\r\n"_s << u" s "_s << k << u"v  v"_s;
        QTest::newRow("double quotes") << oneKey(u"\" v \""_s) << s << k << u" v "_s;
        QTest::newRow("single quotes") << oneKey(u" 'v' "_s) << s << k << u"v"_s;
        QTest::newRow("one pair only") << oneKey(u"\"\"v\"\""_s) << s << k << u"\"v\""_s;
        QTest::newRow("unmatched quotes") << oneKey(u"\"v'"_s) << s << k << u"\"v'"_s;
        QTest::newRow("lone quote") << oneKey(u"\""_s) << s << k << u"\""_s;
        QTest::newRow("empty value") << oneKey(QString()) << s << k << QString();
        QTest::newRow("equals in value") << oneKey(u"a=b"_s) << s << k << u"a=b"_s;
        QTest::newRow("missing key") << oneKey(u"v"_s) << s << u"j"_s << dflt;
        QTest::newRow("missing section") << oneKey(u"v"_s) << u"t"_s << k << dflt;
        QTest::newRow("empty file") << QString() << s << k << dflt;
        QTest::newRow("first key wins") << u"[s]\r\nk=1\r\nK=2\r\n"_s << s << k << u"1"_s;
        QTest::newRow("first section wins")
            << u"[s]\r\nk=1\r\n[S]\r\nj=2\r\n"_s << s << u"j"_s << dflt;
        QTest::newRow("key before any section") << u"k=v\r\n[s]\r\n"_s << s << k << dflt;
        QTest::newRow("unknown lines skipped")
            << u"[s]\r\nnonsense\r\n[broken\r\n=x\r\n;note\r\nk=v\r\n"_s << s << k << u"v"_s;
        QTest::newRow("Chinese names and value")
            << u"[查找]\r\n名字 = 张三 李四\r\n"_s << u"查找"_s << u"名字"_s << u"张三 李四"_s;
        QTest::newRow("']' and '[' as second byte of a character")
            << u"[乚]\r\n乕=匽]\r\n"_s << u"乚"_s << u"乕"_s << u"匽]"_s;
        QTest::newRow("ideographic space is not a blank")
            << oneKey(u"\u3000v\u3000"_s) << s << k << u"\u3000v\u3000"_s;

        // Values are cut to 2047 bytes, never inside a character.
        const QString a2047(2047, u'a');
        QTest::newRow("2048 ASCII bytes") << oneKey(a2047 + u'a') << s << k << a2047;
        QTest::newRow("quotes removed before the cut")
            << oneKey(u'"' + a2047 + u'"') << s << k << a2047;
        QTest::newRow("two-byte characters, 2048 bytes")
            << oneKey(QString(1024, u'你')) << s << k << QString(1023, u'你');
        QTest::newRow("two-byte characters, exactly 2047 bytes")
            << oneKey(u'a' + QString(1024, u'你')) << s << k << u'a' + QString(1023, u'你');
        const QString emoji = u"😀"_s;
        QTest::newRow("four-byte characters")
            << oneKey(emoji.repeated(600)) << s << k << emoji.repeated(511);
        QTest::newRow("four-byte characters after three bytes")
            << oneKey(u"abc"_s + emoji.repeated(600)) << s << k << u"abc"_s + emoji.repeated(511);
    }

    void readString() {
        QFETCH(QString, text);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeText(text);
        QCOMPARE(ProfileFile(m_path).readString(section, key, u"<default>"_s), expected);
    }

    void readInt_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("expected");

        QTest::newRow("decimal") << u"42"_s << 42;
        QTest::newRow("negative") << u"-7"_s << -7;
        QTest::newRow("blanks and quotes") << u" \"9\" "_s << 9;
        QTest::newRow("hex") << u"0x1F"_s << 31;
        QTest::newRow("hex upper") << u"0X1f"_s << 31;
        QTest::newRow("largest hex") << u"0x7FFFFFFF"_s << 2147483647;
        QTest::newRow("hex too large") << u"0x80000000"_s << -1;
        QTest::newRow("prefix alone") << u"0x"_s << -1;
        QTest::newRow("signed hex") << u"0x-5"_s << -1;
        QTest::newRow("hex twice") << u"0x0x5"_s << -1;
        QTest::newRow("bad hex digit") << u"0x1G"_s << -1;
        QTest::newRow("trailing letters") << u"12abc"_s << -1;
        QTest::newRow("inner blank") << u"1 2"_s << -1;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("too large") << u"99999999999"_s << -1;
        QTest::newRow("full-width digits") << u"１２"_s << -1;
    }

    void readInt() {
        QFETCH(QString, value);
        QFETCH(int, expected);
        writeText(oneKey(value));
        const ProfileFile file(m_path);
        QCOMPARE(file.readInt(u"s"_s, u"K"_s, -1), expected);
        QCOMPARE(file.readInt(u"s"_s, u"missing"_s, -1), -1);
    }

    void sectionKeys() {
        writeText(
            u"a=0\r\n[s]\r\n B =1\r\nnot a key\r\n名=2\r\nb=3\r\n[t]\r\nc=4\r\n[S]\r\nd=5\r\n"_s);
        const ProfileFile file(m_path);
        QCOMPARE(file.sectionKeys(u"S"_s), (QStringList{u"B"_s, u"名"_s, u"b"_s}));
        QCOMPARE(file.sectionKeys(u"none"_s), QStringList());
    }

    // Initial file (null: no file), one write, the exact bytes saved.
    void writeAndSave_data() {
        QTest::addColumn<QByteArray>("initial");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("new file") << QByteArray() << u"a"_s << u"x"_s << u"1"_s
                                  << "[a]\r\nx=1\r\n"_ba;
        QTest::newRow("update keeps the stored spelling")
            << "[A]\r\n  Key = old\r\nz=1\r\n"_ba << u"a"_s << u"KEY"_s << u"new"_s
            << "[A]\r\n  Key =new\r\nz=1\r\n"_ba;
        QTest::newRow("new key at the end of its section")
            << "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"_ba << u"A"_s << u"z"_s << u"3"_s
            << "[a]\r\nx=1\r\nz=3\r\n[b]\r\ny=2\r\n"_ba;
        QTest::newRow("new section at the end") << "[a]\r\nx=1\r\n"_ba << u"b"_s << u"y"_s << u"2"_s
                                                << "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"_ba;
        QTest::newRow("first of a repeated section")
            << "[a]\r\nx=1\r\n[A]\r\nx=2\r\n"_ba << u"a"_s << u"x"_s << u"3"_s
            << "[a]\r\nx=3\r\n[A]\r\nx=2\r\n"_ba;
        QTest::newRow("unknown lines kept byte for byte")
            << ";note\r\n\xff\x81 junk\r\n[a]\r\n\r\n[broken\r\nx=1\r\n\x80\r\n"_ba << u"a"_s
            << u"x"_s << u"2"_s
            << ";note\r\n\xff\x81 junk\r\n[a]\r\n\r\n[broken\r\nx=2\r\n\x80\r\n"_ba;
        QTest::newRow("LF lines become CR LF")
            << "[a]\nx=1\ny=2"_ba << u"a"_s << u"x"_s << u"1"_s << "[a]\r\nx=1\r\ny=2\r\n"_ba;
        QTest::newRow("line breaks in a value become blanks")
            << QByteArray() << u"a"_s << u"x"_s << u"1\r\n[a]\nx=2"_s
            << "[a]\r\nx=1  [a] x=2\r\n"_ba;
        QTest::newRow("GBK characters keep their GBK bytes")
            << QByteArray() << u"查找"_s << u"名"_s << u"你好"_s
            << "[\xb2\xe9\xd5\xd2]\r\n\xc3\xfb=\xc4\xe3\xba\xc3\r\n"_ba;
    }

    void writeAndSave() {
        QFETCH(QByteArray, initial);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, expected);
        if (!initial.isNull())
            qb::test::writeBytes(m_path, initial);
        ProfileFile file(m_path);
        file.writeString(section, key, value);
        file.save();
        QCOMPARE(qb::test::readBytes(m_path), expected);
    }

    // Bytes that are no GB18030 text and no lines of the format load as far as they can and
    // survive a rewrite.
    void brokenFile() {
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20240305);
        random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        bytes += "\n[zz]\nk = \x81\x20value\n";
        qb::test::writeBytes(m_path, bytes);

        ProfileFile file(m_path);
        QVERIFY(file.readString(u"zz"_s, u"k"_s, QString()).endsWith(u"value"_s));
        file.save();
        QCOMPARE(qb::test::readBytes(m_path), withCrLfLines(bytes));
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
