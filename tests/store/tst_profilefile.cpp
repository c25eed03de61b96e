#include "books.h"
#include "store/profilefile.h"
#include "tables.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using qb::ProfileFile;
using qb::test::cell;

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void init() {
        m_path = m_dir.filePath(u"prefs.ini"_s);
        QFile::remove(m_path);
    }

    void read_data() {
        qb::test::addTableRows(u"store/profile-read.txt"_s, {"text", "section", "key", "value"});
    }
    void read() {
        const QString section = cell("section"), key = cell("key"), value = cell("value");
        qb::test::writeBytes(m_path, qb::test::gb18030(cell("text")));
        const ProfileFile file(m_path);
        if (key == u"*"_s)
            QCOMPARE(file.sectionKeys(section).join(u','), value);
        else if (key.startsWith(u'#'))
            QCOMPARE(file.readInt(section, key.mid(1), -1), value.toInt());
        else
            QCOMPARE(file.readString(section, key, u"<default>"_s), value);
    }

    void writeAndSave_data() {
        qb::test::addTableRows(u"store/profile-write.txt"_s,
                               {"before", "section", "key", "value", "after"});
    }
    void writeAndSave() {
        if (!cell("before").isNull())
            qb::test::writeBytes(m_path, qb::test::bytesOf(cell("before")));
        ProfileFile file(m_path);
        file.writeString(cell("section"), cell("key"), cell("value"));
        file.save();
        QCOMPARE(qb::test::readBytes(m_path), qb::test::bytesOf(cell("after")));
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
