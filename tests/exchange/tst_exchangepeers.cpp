#include "books.h"
#include "exchange/exchangecommands.h"
#include "platform/scriptedplatform.h"
#include "testfiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;
using namespace Qt::StringLiterals;

namespace {

const QString kPython = u"/usr/bin/python3"_s;

struct Run {
    int exitCode = -1;
    QByteArray out;
};

// Runs a program to its end with the given input; a program that hangs fails the test.
Run run(const QString& program, const QStringList& args, const QByteArray& input = {},
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput()};
}

// Reads every card of the file with vobject and prints what it understood.
const char kVobjectRead[] = R"(
import sys, vobject
for card in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()):
    c = card.contents
    v = lambda k: c[k][0].value if k in c else ''
    sys.stdout.buffer.write(('¦'.join([card.fn.value, v('note'), '/'.join(v('org')),
        v('x-quillbox-speciality'), '/'.join(a.value.street for a in c.get('adr', [])),
        '/'.join(sorted(t.value for t in c.get('tel', [])))]) + '¶').encode())
)";

const char kVobjectWrite[] = R"(
import sys, vobject
card = vobject.vCard()
card.add('fn').value = '王 小明'
card.add('n').value = vobject.vcard.Name(family='王', given='小明')
email = card.add('email'); email.value = 'xm@work.example'; email.type_param = 'WORK'
tel = card.add('tel'); tel.value = '139 0000'; tel.type_param = 'CELL'
card.add('note').value = '一, 二; 三\\ 四\n第二行 😀'
card.add('org').value = ['公司, 总部', '部门']
adr = card.add('adr'); adr.value = vobject.vcard.Address(street='长安街 1 号', city='北京', country='中国'); adr.type_param = 'HOME'
card.add('bday').value = '1985-03-04'
open(sys.argv[1], 'w', encoding='utf-8', newline='').write(card.serialize())
)";

} // namespace

class TestExchangePeers : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedScriptedPlatform> m_platform;
    std::unique_ptr<RecordStore> m_store;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    BookDataset& book(BookId id) { return m_store->book(id); }
    // The values of the named columns, joined by "¦".
    static QString values(const BookDataset& book, int row, const QString& columns) {
        QStringList values;
        for (const QString& column : columns.split(u'¦'))
            values << book.rowValueText(row, book.columnIndex(column));
        return values.join(u'¦');
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<ScopedScriptedPlatform>();
        m_store = std::make_unique<RecordStore>();
        m_store->openDatabase(test::createBookFile(m_dir->path()));
    }
    void cleanup() {
        m_store.reset();
        m_platform.reset();
        m_dir.reset();
    }

    // vobject reads every card we write, and what it writes comes in.
    void vobjectBothWays() {
        if (!QFile::exists(kPython) || run(kPython, {u"-c"_s, u"import vobject"_s}).exitCode)
            QSKIP("python3-vobject is not installed (scripts/install-deps.sh installs it)");
        test::addRecord(book(BookId::Contacts),
                        (u"张伟¦¦¦¦¦¦138¦¦"_s + QString(40, u'书') +
                         u"¦¦¦北京¦朝阳路 1 号; 2 单元¦010-1¦¦¦甲乙, 有限公司¦研发;一部¦¦¦¦¦¦¦"
                         "多行\n备注 😀 \\ 反斜杠"_s)
                            .split(u'¦'));
        test::addRecord(book(BookId::Contacts), {u"李四"_s});
        QVERIFY(writeBookFile(book(BookId::Contacts), ExchangeFormat::VCard, path(u"c.vcf"_s)));
        const Run read = run(kPython, {u"-c"_s, QString::fromUtf8(kVobjectRead), path(u"c.vcf"_s)});
        QCOMPARE(QString::fromUtf8(read.out),
                 u"张伟¦多行\n备注 😀 \\ 反斜杠¦甲乙, 有限公司/研发;一部¦"_s + QString(40, u'书') +
                     u"¦朝阳路 1 号; 2 单元¦010-1/138¶李四¦¦¦¦¦¶"_s);

        QCOMPARE(
            run(kPython, {u"-c"_s, QString::fromUtf8(kVobjectWrite), path(u"v.vcf"_s)}).exitCode,
            0);
        auto copy = std::make_unique<RecordStore>();
        copy->openDatabase(test::createBookFile(m_dir->path(), u"copy.mdb"_s));
        QCOMPARE(readBookFile(copy->book(BookId::Contacts), ExchangeFormat::VCard, path(u"v.vcf"_s),
                              nullptr)
                     .added,
                 1);
        QCOMPARE(values(copy->book(BookId::Contacts), 0,
                        u"姓名¦公司邮箱¦手机¦备注¦单位¦部门¦家庭地址¦市¦国家¦生日"_s),
                 u"王 小明¦xm@work.example¦139 0000¦一, 二; 三\\ 四\n第二行 😀¦公司, 总部¦部门¦"
                 "长安街 1 号¦北京¦中国¦1985/3/4"_s);
    }

    // khard keeps one card per file: it lists ours, and what it writes comes in.
    void khardBothWays() {
        if (QStandardPaths::findExecutable(u"khard"_s).isEmpty())
            QSKIP("khard is not installed (scripts/install-deps.sh installs it)");
        QVERIFY(QDir().mkpath(path(u"book"_s)));
        test::writeBytes(path(u"khard.conf"_s),
                         "[addressbooks]\n[[main]]\npath = " + path(u"book"_s).toUtf8() +
                             "\n[general]\ndefault_action = list\neditor = true\n"
                             "merge_editor = true\n");
        const QStringList config{u"-c"_s, path(u"khard.conf"_s)};
        test::addRecord(book(BookId::Contacts),
                        {u"张伟"_s, u"zw@example.com"_s, {}, {}, u"1990-05-17"_s});
        QVERIFY(writeBookFile(book(BookId::Contacts), ExchangeFormat::VCard, path(u"book/zw.vcf"_s),
                              true));
        const Run shown =
            run(u"khard"_s, config + QStringList{u"show"_s, u"--format"_s, u"yaml"_s, u"张伟"_s});
        QCOMPARE(shown.exitCode, 0);
        QVERIFY2(shown.out.contains("Formatted name: 张伟") &&
                     shown.out.contains("zw@example.com") &&
                     shown.out.contains("Birthday: '1990-05-17'"),
                 shown.out.constData());

        test::writeBytes(path(u"li.yaml"_s),
                         "Formatted name: 李雷\nLast name: 李\nFirst name: 雷\n"
                         "Organisation: 甲乙公司\nPhone:\n    cell: '139'\n"
                         "    work: '010-5'\nEmail:\n    work: li@work.example\n"
                         "Note: 第一行\n");
        QCOMPARE(run(u"khard"_s, config + QStringList{u"new"_s, u"-a"_s, u"main"_s, u"-i"_s,
                                                      path(u"li.yaml"_s)})
                     .exitCode,
                 0);
        QCOMPARE(run(u"khard"_s, config + QStringList{u"show"_s, u"--format"_s, u"vcard"_s, u"-o"_s,
                                                      path(u"li.vcf"_s), u"李雷"_s})
                     .exitCode,
                 0);
        QCOMPARE(
            readBookFile(book(BookId::Contacts), ExchangeFormat::VCard, path(u"li.vcf"_s), nullptr)
                .added,
            1);
        QCOMPARE(values(book(BookId::Contacts), 1, u"姓名¦单位¦手机¦公司电话¦公司邮箱¦备注"_s),
                 u"李雷¦甲乙公司¦139¦010-5¦li@work.example¦第一行"_s); // 张 before 李
    }

    // buku imports our bookmark file, and its export comes back in.
    void bukuBothWays() {
        if (QStandardPaths::findExecutable(u"buku"_s).isEmpty())
            QSKIP("buku is not installed (scripts/install-deps.sh installs it)");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, path(u"data"_s));
        QVERIFY(QDir().mkpath(path(u"data"_s)));
        test::addRecord(book(BookId::Websites),
                        {u"新浪 & <b>"_s, u"http://sina.example/?a=1&b=2"_s, u"user"_s, u"说明"_s});
        test::addRecord(book(BookId::Websites), {u"百度"_s, u"https://baidu.example/"_s});
        QVERIFY(
            writeBookFile(book(BookId::Websites), ExchangeFormat::Bookmarks, path(u"w.html"_s)));
        // --nostdin: buku otherwise takes its standard input as more arguments.
        QCOMPARE(run(u"buku"_s,
                     {u"--nostdin"_s, u"--nc"_s, u"--tacit"_s, u"-i"_s, path(u"w.html"_s)}, {}, env)
                     .exitCode,
                 0);
        const Run listed = run(u"buku"_s, {u"--nostdin"_s, u"--nc"_s, u"-p"_s, u"-j"_s}, {}, env);
        QStringList marks;
        for (const QJsonValue mark : QJsonDocument::fromJson(listed.out).array())
            for (const char* key : {"title", "uri", "description"})
                marks << mark.toObject()[QLatin1String(key)].toString();
        QCOMPARE(marks.join(u'¦'), u"新浪 & <b>¦http://sina.example/?a=1&b=2¦注册名：user\n说明¦"
                                   "百度¦https://baidu.example/¦"_s);

        QCOMPARE(run(u"buku"_s,
                     {u"--nostdin"_s, u"--nc"_s, u"--tacit"_s, u"-e"_s, path(u"buku.html"_s)}, {},
                     env)
                     .exitCode,
                 0);
        auto copy = std::make_unique<RecordStore>();
        copy->openDatabase(test::createBookFile(m_dir->path(), u"copy.mdb"_s));
        QCOMPARE(readBookFile(copy->book(BookId::Websites), ExchangeFormat::Bookmarks,
                              path(u"buku.html"_s), nullptr)
                     .added,
                 2);
        QCOMPARE(
            values(copy->book(BookId::Websites), 0, u"网址名称¦网址¦注册名¦备注"_s) + u'¶' +
                values(copy->book(BookId::Websites), 1, u"网址名称¦网址¦注册名¦备注"_s),
            u"新浪 & <b>¦http://sina.example/?a=1&b=2¦user¦说明¶百度¦https://baidu.example/¦¦"_s);
    }
};

QTEST_GUILESS_MAIN(TestExchangePeers)
#include "tst_exchangepeers.moc"
