#include "exchange/exchangecommands.h"
#include "openbooks.h"
#include "testfiles.h"

#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kPython = u"/usr/bin/python3"_s;

// Reads every card of the first file with vobject and writes what it understood to the second.
const char kVobjectRead[] = R"(
import sys, vobject
out = open(sys.argv[2], 'w', encoding='utf-8', newline='')
for card in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()):
    c = card.contents; v = lambda k: c[k][0].value if k in c else ''
    out.write('¦'.join([card.fn.value, v('note'), '/'.join(v('org')), v('x-quillbox-speciality'),
        '/'.join(a.value.street for a in c.get('adr', [])),
        '/'.join(sorted(t.value for t in c.get('tel', [])))]) + '¶')
)";

const char kVobjectWrite[] = R"(
import sys, vobject
c = vobject.vCard(); c.add('fn').value = '王 小明'; c.add('bday').value = '1985-03-04'
c.add('n').value = vobject.vcard.Name(family='王', given='小明'); c.add('org').value = ['公司, 总部', '部门']
e = c.add('email'); e.value = 'xm@work.example'; e.type_param = 'WORK'
t = c.add('tel'); t.value = '139 0000'; t.type_param = 'CELL'; c.add('note').value = '一, 二; 三\\ 四\n第二行 😀'
a = c.add('adr'); a.value = vobject.vcard.Address(street='长安街 1 号', city='北京', country='中国'); a.type_param = 'HOME'
open(sys.argv[1], 'w', encoding='utf-8', newline='').write(c.serialize())
)";

} // namespace

class TestExchangePeers : public QObject {
    Q_OBJECT

    std::optional<test::OpenBooks> m_b;

    QString path(const QString& name) const { return m_b->dir.filePath(name); }
    // Runs a program to its end, with our environment and no input: true when it succeeds.
    static bool runs(const QString& program, const QStringList& args) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(program, args);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0; // one that hangs is killed as the process goes
    }
    // The named columns of the records a new book gets from the file.
    QString readIntoNewBook(BookId id, ExchangeFormat format, const QString& file,
                            const QString& columns) {
        RecordStore copy;
        copy.openDatabase(test::createBookFile(m_b->dir.path(), u"copy.mdb"_s));
        readBookFile(copy.book(id), format, path(file), nullptr);
        return test::shown(copy.book(id), columns);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() { m_b.emplace(); }
    void cleanup() { m_b.reset(); }

    // vobject reads every card we write, and what it writes comes in.
    void vobjectBothWays() {
        if (!runs(kPython, {u"-c"_s, u"import vobject"_s}))
            QSKIP("python3-vobject is not installed (scripts/install-deps.sh installs it)");
        test::addRecord(m_b->contacts(),
                        (u"张伟¦¦¦¦¦¦138¦¦"_s + QString(40, u'书') +
                         u"¦¦¦北京¦朝阳路 1 号; 2 单元¦010-1¦¦¦甲乙, 有限公司¦研发;一部¦¦¦¦¦¦¦"
                         "多行\n备注 😀 \\ 反斜杠"_s)
                            .split(u'¦'));
        test::addRecord(m_b->contacts(), {u"李四"_s});
        QVERIFY(writeBookFile(m_b->contacts(), ExchangeFormat::VCard, path(u"c.vcf"_s)));
        QVERIFY(runs(kPython, {u"-c"_s, QString::fromUtf8(kVobjectRead), path(u"c.vcf"_s),
                               path(u"c.txt"_s)}));
        QCOMPARE(QString::fromUtf8(test::readBytes(path(u"c.txt"_s))),
                 u"张伟¦多行\n备注 😀 \\ 反斜杠¦甲乙, 有限公司/研发;一部¦"_s + QString(40, u'书') +
                     u"¦朝阳路 1 号; 2 单元¦010-1/138¶李四¦¦¦¦¦¶"_s);
        QVERIFY(runs(kPython, {u"-c"_s, QString::fromUtf8(kVobjectWrite), path(u"v.vcf"_s)}));
        QCOMPARE(readIntoNewBook(BookId::Contacts, ExchangeFormat::VCard, u"v.vcf"_s,
                                 u"姓名¦公司邮箱¦手机¦备注¦单位¦部门¦家庭地址¦市¦国家¦生日"_s),
                 u"王 小明¦xm@work.example¦139 0000¦一, 二; 三\\ 四\n第二行 😀¦公司, 总部¦部门¦"
                 "长安街 1 号¦北京¦中国¦1985/3/4"_s);
    }

    // khard keeps one card per file: it reads ours, and what it writes comes in.
    void khardBothWays() {
        if (QStandardPaths::findExecutable(u"khard"_s).isEmpty())
            QSKIP("khard is not installed (scripts/install-deps.sh installs it)");
        QVERIFY(QDir().mkpath(path(u"book"_s)));
        test::writeBytes(
            path(u"khard.conf"_s),
            "[addressbooks]\n[[main]]\npath = " + path(u"book"_s).toUtf8() +
                "\n[general]\ndefault_action = list\neditor = true\nmerge_editor = true\n");
        const QStringList khard{u"-c"_s, path(u"khard.conf"_s)};
        test::addRecord(m_b->contacts(), {u"张伟"_s, u"zw@example.com"_s, {}, {}, u"1990-05-17"_s});
        QVERIFY(
            writeBookFile(m_b->contacts(), ExchangeFormat::VCard, path(u"book/zw.vcf"_s), true));
        QVERIFY(runs(u"khard"_s, khard + QStringList{u"show"_s, u"--format"_s, u"yaml"_s, u"-o"_s,
                                                     path(u"zw.yaml"_s), u"张伟"_s}));
        const QByteArray shown = test::readBytes(path(u"zw.yaml"_s));
        QVERIFY2(shown.contains("Formatted name: 张伟") && shown.contains("zw@example.com") &&
                     shown.contains("Birthday: '1990-05-17'"),
                 shown.constData());
        test::writeBytes(
            path(u"li.yaml"_s),
            "Formatted name: 李雷\nLast name: 李\nFirst name: 雷\nOrganisation: 甲乙公司\n"
            "Phone:\n    cell: '139'\n    work: '010-5'\nEmail:\n    work: li@work.example\n"
            "Note: 第一行\n");
        QVERIFY(runs(u"khard"_s, khard + QStringList{u"new"_s, u"-a"_s, u"main"_s, u"-i"_s,
                                                     path(u"li.yaml"_s)}));
        QVERIFY(runs(u"khard"_s, khard + QStringList{u"show"_s, u"--format"_s, u"vcard"_s, u"-o"_s,
                                                     path(u"li.vcf"_s), u"李雷"_s}));
        QCOMPARE(readIntoNewBook(BookId::Contacts, ExchangeFormat::VCard, u"li.vcf"_s,
                                 u"姓名¦单位¦手机¦公司电话¦公司邮箱¦备注"_s),
                 u"李雷¦甲乙公司¦139¦010-5¦li@work.example¦第一行"_s);
    }

    // buku reads our bookmark file, and its export comes back in as we wrote it.
    void bukuBothWays() {
        if (QStandardPaths::findExecutable(u"buku"_s).isEmpty())
            QSKIP("buku is not installed (scripts/install-deps.sh installs it)");
        qputenv("XDG_DATA_HOME", path(u"data"_s).toUtf8()); // where buku keeps its database
        QVERIFY(QDir().mkpath(path(u"data"_s)));
        test::addRecord(m_b->websites(),
                        {u"新浪 & <b>"_s, u"http://sina.example/?a=1&b=2"_s, u"user"_s, u"说明"_s});
        test::addRecord(m_b->websites(), {u"百度"_s, u"https://baidu.example/"_s});
        QVERIFY(writeBookFile(m_b->websites(), ExchangeFormat::Bookmarks, path(u"w.html"_s)));
        // --nostdin: buku otherwise takes its standard input as more arguments.
        const QStringList buku{u"--nostdin"_s, u"--nc"_s, u"--tacit"_s};
        QVERIFY(runs(u"buku"_s, buku + QStringList{u"-i"_s, path(u"w.html"_s)}));
        QVERIFY(runs(u"buku"_s, buku + QStringList{u"-e"_s, path(u"buku.html"_s)}));
        QCOMPARE(
            readIntoNewBook(BookId::Websites, ExchangeFormat::Bookmarks, u"buku.html"_s,
                            u"网址名称¦网址¦注册名¦备注"_s),
            u"新浪 & <b>¦http://sina.example/?a=1&b=2¦user¦说明¶百度¦https://baidu.example/¦¦"_s);
    }
};

QTEST_GUILESS_MAIN(TestExchangePeers)
#include "tst_exchangepeers.moc"
