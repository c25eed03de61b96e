#include "store/profilefile.h"
#include "tables.h"
#include "testfiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using qb::ProfileFile;

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void init() {
        m_path = m_dir.filePath(u"prefs.ini"_s);
        QFile::remove(m_path);
    }

    void readString_data() {
        qb::test::addTableRows(u"store/profile-read.txt"_s, {"text", "section", "key", "value"});
    }
    void readString() {
        QFETCH(QString, text);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        qb::test::writeBytes(m_path, qb::test::gb18030(text));
        QCOMPARE(ProfileFile(m_path).readString(section, key, u"<default>"_s), value);
    }

    void readInt_data() { qb::test::addTableRows(u"store/profile-int.txt"_s, {"text", "value"}); }
    void readInt() {
        QFETCH(QString, text);
        QFETCH(QString, value);
        qb::test::writeBytes(m_path, qb::test::gb18030(u"[s]\r\nk="_s + text + u"\r\n"_s));
        const ProfileFile file(m_path);
        QCOMPARE(file.readInt(u"s"_s, u"K"_s, -1), value.toInt());
        QCOMPARE(file.readInt(u"s"_s, u"missing"_s, -1), -1);
    }

    void writeAndSave_data() {
        qb::test::addTableRows(u"store/profile-write.txt"_s,
                               {"before", "section", "key", "value", "after"});
    }
    void writeAndSave() {
        QFETCH(QString, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, after);
        if (!before.isNull())
            qb::test::writeBytes(m_path, qb::test::bytesOf(before));
        ProfileFile file(m_path);
        file.writeString(section, key, value);
        file.save();
        QCOMPARE(qb::test::readBytes(m_path), qb::test::bytesOf(after));
    }

    void sectionKeys() {
        qb::test::writeBytes(m_path,
                             qb::test::gb18030(u"a=0\r\n[s]\r\n B =1\r\nnot a key\r\n名=2"
                                               "\r\nb=3\r\n[t]\r\nc=4\r\n[S]\r\nd=5\r\n"_s));
        const ProfileFile file(m_path);
        QCOMPARE(file.sectionKeys(u"S"_s), (QStringList{u"B"_s, u"名"_s, u"b"_s}));
        QCOMPARE(file.sectionKeys(u"none"_s), QStringList());
    }

    // Bytes that are no GB18030 text and no lines of the format load as far as they can and
    // survive a rewrite with every line ended by CR LF.
    void brokenFile() {
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        QRandomGenerator(20240305).fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                             bytes.size() / 4);
        bytes.replace('\r', ' ');
        qb::test::writeBytes(m_path, bytes + "\n[zz]\nk = \x81\x20value\n");
        ProfileFile file(m_path);
        QVERIFY(file.readString(u"zz"_s, u"k"_s, QString()).endsWith(u"value"_s));
        file.save();
        QCOMPARE(qb::test::readBytes(m_path),
                 bytes.replace('\n', "\r\n") + "\r\n[zz]\r\nk = \x81\x20value\r\n");
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
